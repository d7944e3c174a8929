#pragma once
// A worker thread that frees objects (or hands them to a disposal callback) once their delay has passed.
#include "rtl/Generics.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/SyncObjs.h"
#include "rtl/Thread.h"
#include "utils/UtilsApi.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <unordered_map>

namespace orvi {

/// Frees queued objects on its own thread when they fall due, or calls the disposal callback registered
/// for one instead. Made and owned by its user (rtl::Create starts it; rtl::Free stops it and frees what
/// is still queued, without callbacks). The queue is guarded by the monitor of LockObject (the worker
/// itself unless set), which the worker only tries to take, retrying every 20 ms: whoever holds that
/// monitor keeps disposals from running. Objects are freed, and callbacks run, while it is held.
/// A queued object belongs to the worker until it is disposed of or cancelled: nobody else may free it
/// meanwhile. A disposal callback's object must outlive the registration (cancel the disposal first).
/// A lock object must outlive its use: set another one (or nil) before freeing it.
class UTILS_API TORVIDeferredDisposalThread : public rtl::TThread {
public:
    explicit TORVIDeferredDisposalThread(bool createSuspended = false);

    /// Takes pObject out of the queue, alive and no longer owned, and drops its disposal callback.
    virtual void CancelDisposal(rtl::TObject* pObject);
    /// Frees pObject dwTickCount milliseconds from now; an object already queued moves to the new time
    /// (and loses its disposal callback). Nil is ignored.
    virtual void DisposeAfterDelay(rtl::TObject* pObject, std::uint32_t dwTickCount);
    /// As DisposeAfterDelay, but fnDisposal(pObject) disposes of it instead (when assigned).
    /// EDuplicateKey when the object already waits with a callback.
    virtual void DisposeAfterDelayWithCallback(rtl::TObject* pObject, std::uint32_t dwTickCount,
                                               const rtl::TNotifyEvent& fnDisposal);
    /// Wakes the worker.
    virtual void Poke();
    /// Brings every due time later than dwTickcount milliseconds from now down to then.
    virtual void SetMaxDelay(std::uint32_t dwTickcount);

    /// The wake-up event.
    rtl::TEvent* Event() { return _GetEvent(); }
    rtl::TObject* LockObject() { return _GetLockObject(); }
    /// Nil makes the worker its own lock object again. Waits for the current lock object's monitor.
    void SetLockObject(rtl::TObject* value) { _SetLockObject(value); }
    std::uint32_t MaxIdle() { return _GetMaxIdle(); }
    void SetMaxIdle(std::uint32_t value) { _SetMaxIdle(value); }
    /// While true nothing is freed; the worker wakes every MaxIdle milliseconds. False wakes it at once.
    bool SuspendDisposals() { return _GetSuspendDisposals(); }
    void SetSuspendDisposals(bool value) { _SetSuspendDisposals(value); }
    /// Number of queued objects.
    int QueuedCount();

protected:
    ~TORVIDeferredDisposalThread() override;
    void Execute() override;
    void TerminatedSet() override;

    /// Due times on the monotonic millisecond clock, earliest first; equal times keep the newest first.
    using TQueue = std::multimap<std::uint64_t, rtl::TObject*>;
    /// Takes entry i (in due order) out and frees it or hands it to its callback. Call with the lock held.
    virtual void _DisposeByIndex(int i);
    /// Where an entry due at dwDue goes: before the first entry due at the same time or later.
    virtual TQueue::iterator _FindInsertPosition(std::uint64_t dwDue);
    virtual rtl::TEvent* _GetEvent();
    virtual rtl::TObject* _GetLockObject();
    virtual std::uint32_t _GetMaxIdle();
    virtual bool _GetSuspendDisposals();
    virtual void _SetLockObject(rtl::TObject* value);
    virtual void _SetMaxIdle(std::uint32_t value);
    virtual void _SetSuspendDisposals(bool value);

private:
    class TQueueLock;
    rtl::TObject* _CurrentLockObject();
    void _Enqueue(rtl::TObject* pObject, std::uint32_t dwTickCount);
    bool _Unqueue(rtl::TObject* pObject);
    void _FreeAll();

    // An ordered map instead of two parallel arrays: insertion and removal stay logarithmic with
    // hundreds of thousands queued, where shifting arrays would cost a copy of the whole queue each.
    TQueue _pQueue;
    std::unordered_map<rtl::TObject*, TQueue::iterator> _pIndex; // queued object -> its entry
    rtl::TDictionary<rtl::TObject*, rtl::TNotifyEvent> _dctObjectDisposal;
    std::atomic<rtl::TObject*> _pLockObject{nullptr};
    rtl::TEvent _pEvent{true, false};
    std::atomic<std::uint32_t> _dwMaxIdle{10000};
    std::atomic<bool> _blSuspended{false};
};

} // namespace orvi
