#pragma once
// Callbacks run on the main thread (the one that calls rtl::CheckSynchronize) after a delay, through one
// shared worker thread per process that starts on demand and retires when idle.
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/SyncObjs.h"
#include "rtl/Thread.h"
#include "utils/UtilsApi.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace orvi {

/// A millisecond tick count that wraps at 2^32.
using TORVITickSource = std::uint32_t (*)();
/// The tick count that due ticks are measured on: rtl::GetTickCount unless replaced.
UTILS_API std::uint32_t ORVIForegroundTickCount();
/// Replaces the tick source (null restores rtl::GetTickCount); set it while no worker runs.
UTILS_API void ORVISetForegroundTickSource(TORVITickSource fnSource);

/// One queued call: fnCallback(pPayload), due dwWaitFor milliseconds after it was made. The queue keeps
/// neither the callback's object nor the payload alive: whoever queues a call keeps both alive until
/// it has run or is cancelled (CancelSyncCallback).
class UTILS_API TORVIDeferredCallback : public rtl::TObject {
public:
    TORVIDeferredCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                          std::uint32_t dwWaitFor);
    /// Calls the callback with the payload as Sender, when the callback is assigned.
    void CallIt();
    const rtl::TNotifyEvent& Callback() const noexcept { return _fnCallback; }
    rtl::TObject* Payload() const noexcept { return _pPayload; }
    /// The tick count at which the call falls due.
    std::uint32_t TickTime() const noexcept { return _dwTickTime; }

private:
    rtl::TNotifyEvent _fnCallback;
    rtl::TObject* _pPayload;
    std::uint32_t _dwTickTime;
};

/// The worker that hands due callbacks to the main thread, all due ones in one synchronised call.
/// Created suspended and free-on-terminate; it retires (terminates) after MaxIdle milliseconds without
/// anything queued, and then frees itself: a pointer to it is good only while the caller knows it runs
/// (ForegroundSync promises a second); EndedEvent, kept as a shared pointer, tells when it has ended. Its queue is guarded by its own monitor, never held while callbacks run.
class UTILS_API TORVIForegroundSyncThread : public rtl::TThread {
public:
    TORVIForegroundSyncThread();

    /// Removes every queued entry with this callback (code and object) and payload; dwMilliseconds is
    /// not used.
    virtual void CancelSyncCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                    std::uint32_t dwMilliseconds = 0);
    /// Wakes the worker.
    virtual void Poke();
    /// Queues fnCallback(pPayload) to run on the main thread dwMilliseconds from now; it goes before
    /// queued entries due at the same tick.
    virtual void QueueSyncCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                   std::uint32_t dwMilliseconds);
    /// Runs every due entry, in queue order (on the main thread; the worker calls it through Synchronize).
    /// An exception from a callback ends the pass; the entries it took are freed all the same.
    virtual void RunCallbacks();

    std::uint32_t MaxIdle() { return _GetMaxIdle(); }
    void SetMaxIdle(std::uint32_t value) { _SetMaxIdle(value); }
    /// Number of queued entries.
    int QueuedCount();

protected:
    ~TORVIForegroundSyncThread() override;
    void Execute() override;
    void TerminatedSet() override;
    virtual std::uint32_t _GetMaxIdle();
    virtual void _SetMaxIdle(std::uint32_t value);

private:
    friend TORVIForegroundSyncThread* ForegroundSync();
    friend void ORVIQueueForegroundCallback(const rtl::TNotifyEvent&, rtl::TObject*, std::uint32_t);
    friend void ORVIFinaliseForegroundSync();
    struct TFree {
        void operator()(TORVIDeferredCallback* p) const { rtl::Free(p); }
    };
    using TEntry = std::unique_ptr<TORVIDeferredCallback, TFree>;

    void _Insert(TEntry entry);
    /// Queues without waking the worker.
    void _Queue(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload, std::uint32_t dwMilliseconds);
    /// Moves the due entries from the front into batch.
    void _TakeDue(std::vector<TEntry>& batch, bool blSkipKeepAlive);
    static void _RunDueFromMainThread();
    void _KeepAlive();
    void _Retire();
    void _HandOver();
    void _NoOp(rtl::TObject* Sender);

    std::deque<TEntry> _pDeferred; // ascending due ticks, but for keep-alive entries (see _KeepAlive)
    rtl::TEvent _pEvent{true, false};
    std::uint32_t _dwLastSleep;
    std::atomic<std::uint32_t> _dwMaxIdle{10000};
};

/// The shared worker, made (and started) when there is none and kept from retiring for at least
/// another second: the pointer may be used for that long without a pin (a callback that raises ends
/// the worker sooner). Null once the library is being unloaded.
UTILS_API TORVIForegroundSyncThread* ForegroundSync();
/// Queues fnCallback(pPayload) on the shared worker, dwMilliseconds from now. A worker that is
/// retiring is never chosen: the call lands on a worker that will run it. Ignored once the library
/// is being unloaded.
UTILS_API void ORVIQueueForegroundCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                           std::uint32_t dwMilliseconds);

} // namespace orvi
