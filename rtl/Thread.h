#pragma once
// TThread with synchronised calls onto the main thread, and the tick count.
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "SyncObjs.h"
#include "UnicodeString.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace rtl {

/// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's. Monotonic: a change
/// of the wall clock moves neither count.
RTL_API std::uint32_t GetTickCount();
RTL_API std::uint64_t GetTickCount64();
RTL_API void Sleep(std::uint32_t milliseconds);

/// The thread that loaded the runtime (normally main()'s), unless SetMainThread named another.
RTL_API std::thread::id MainThreadId();
RTL_API bool IsMainThread();
/// Marks the calling thread as the main thread (call once at start-up, before workers start).
RTL_API void SetMainThread();

/// Runs the calls queued by Synchronize and Queue; call on the main thread (EThreadError
/// elsewhere). Waits up to timeoutMs for a first call to arrive. Returns true when anything ran.
/// An exception thrown by a queued (not synchronised) call leaves here; later calls stay queued.
RTL_API bool CheckSynchronize(std::uint32_t timeoutMs = 0);
/// Called (from any thread) whenever a call is queued, so that the main thread's event loop can
/// wake up and run CheckSynchronize. Null restores none.
RTL_API void SetWakeMainThread(void (*hook)());

class RTL_API TThread : public TObject {
public:
    /// The thread does not run until Start (createSuspended), or starts right after construction
    /// when made through rtl::Create.
    explicit TThread(bool createSuspended = true);
    /// Waits for a thread that is still running, which only one destroyed without Free can be (see
    /// BeforeDestruction); its derived part is gone by then, so free threads through Free.
    ~TThread() override;
    void AfterConstruction() override;
    /// Terminates a running thread and waits for it before any destructor runs, so that Execute never
    /// sees the members of a derived class destroyed under it.
    void BeforeDestruction() override;

    /// Starts a suspended thread; EThreadError when it was started before. A FreeOnTerminate thread
    /// may be gone as soon as this returns.
    void Start();
    /// Sets the termination flag, then calls TerminatedSet; Execute is expected to look at Terminated
    /// and end. A FreeOnTerminate thread frees itself only after a Terminate under way has returned.
    void Terminate();
    bool Terminated() const noexcept { return _blTerminated; }
    bool Finished() const noexcept { return _blFinished; }
    /// Waits for Execute to end; returns ReturnValue. On the main thread, runs synchronised calls
    /// meanwhile. EThreadError for a FreeOnTerminate thread, an unstarted one, or from itself.
    int WaitFor();
    bool FreeOnTerminate = false;
    int ReturnValue = 0;

    /// Runs method on the main thread and waits for it; runs it at once when called on the main
    /// thread. An exception thrown by method is rethrown in the caller.
    static void Synchronize(const std::function<void()>& method);
    /// Queues method for the main thread and returns at once; on the main thread it runs at once.
    static void Queue(std::function<void()> method);
    /// The exception that ended Execute, if any.
    std::exception_ptr FatalException() const noexcept { return _pFatalException; }
    /// Signalled once the thread has left Execute and, for a FreeOnTerminate thread, its own Free; it
    /// outlives the thread object, so that whoever must outlast the thread can wait for it.
    std::shared_ptr<TEvent> EndedEvent() const noexcept { return _pEnded; }

    /// Names the calling thread for debuggers and the system's thread lists (cut to the system's limit,
    /// 15 bytes on Linux).
    static void NameThreadForDebugging(const UnicodeString& name);
    /// The calling thread's name as the system keeps it (empty when unknown).
    static UnicodeString ThreadNameForDebugging();

protected:
    virtual void Execute() = 0;
    /// Called by Terminate right after the flag is set (on the terminating thread): wake Execute here.
    virtual void TerminatedSet() {}

private:
    void Run();
    void _Join();
    std::thread _thread;
    std::atomic<bool> _blTerminated{false};
    std::atomic<bool> _blFinished{false};
    bool _blStarted = false;
    bool _blCreateSuspended;
    std::exception_ptr _pFatalException;
    std::shared_ptr<TEvent> _pEnded = std::make_shared<TEvent>(true, false);
    std::recursive_mutex _mTerminate; // held by Terminate while it sets the flag and calls TerminatedSet
};

} // namespace rtl
