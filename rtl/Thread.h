#pragma once
// TThread with synchronised calls onto the main thread, and the tick count.
#include "ObjectHooks.h"
#include "RtlApi.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace rtl {

/// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's.
RTL_API std::uint32_t GetTickCount();
RTL_API std::uint64_t GetTickCount64();
RTL_API void Sleep(std::uint32_t milliseconds);

/// The thread that first called MainThreadId() or CheckSynchronize (normally main()).
RTL_API std::thread::id MainThreadId();
RTL_API bool IsMainThread();
/// Marks the calling thread as the main thread (call once at start-up, before workers start).
RTL_API void SetMainThread();

/// Runs the calls queued by Synchronize and Queue; call on the main thread. Waits up to timeoutMs
/// for a first call to arrive. Returns true when anything ran.
RTL_API bool CheckSynchronize(std::uint32_t timeoutMs = 0);
/// Called (from any thread) whenever a call is queued, so that the main thread's event loop can
/// wake up and run CheckSynchronize. Null restores none.
RTL_API void SetWakeMainThread(void (*hook)());

class RTL_API TThread : public TObject {
public:
    /// The thread does not run until Start (createSuspended) or at once otherwise.
    explicit TThread(bool createSuspended = true);
    ~TThread() override;

    void Start();
    /// Sets the termination flag; Execute is expected to look at Terminated and end.
    void Terminate() { _blTerminated = true; }
    bool Terminated() const noexcept { return _blTerminated; }
    bool Finished() const noexcept { return _blFinished; }
    /// Waits for Execute to end; returns ReturnValue. Not for a FreeOnTerminate thread.
    int WaitFor();
    bool FreeOnTerminate = false;
    int ReturnValue = 0;

    /// Runs method on the main thread and waits for it; runs it at once when called on the main
    /// thread. An exception thrown by method is rethrown in the caller.
    static void Synchronize(const std::function<void()>& method);
    /// Queues method for the main thread and returns at once.
    static void Queue(std::function<void()> method);

protected:
    virtual void Execute() = 0;

private:
    void Run();
    std::thread _thread;
    std::atomic<bool> _blTerminated{false};
    std::atomic<bool> _blFinished{false};
    bool _blStarted = false;
};

} // namespace rtl
