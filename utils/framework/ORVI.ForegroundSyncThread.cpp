#include "utils/framework/ORVI.ForegroundSyncThread.h"

#include "utils/values/ORVI.LoadCounter.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace orvi {

void ORVIFinaliseForegroundSync();

namespace {

std::atomic<TORVITickSource> g_fnTickSource{nullptr};

// How far a lies after b on the wrapping tick count (negative: before).
std::int32_t TickDiff(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b);
}

// The shared worker and the decision to retire it change together under one lock, so that a caller
// holding it either sees a worker that will run what it queues, or none.
struct TSharedWorker {
    std::mutex m;
    TORVIForegroundSyncThread* pWorker = nullptr;
    bool blFinalised = false;
    std::vector<std::shared_ptr<rtl::TEvent>> ended; // of every worker made here and maybe still running
};

TSharedWorker& Shared() {
    static TSharedWorker* shared = new TSharedWorker; // used by workers that may end during exit
    return *shared;
}

int g_nLoadCount = 0;
TORVILoadCounter g_loadCounter(g_nLoadCount, nullptr, ORVIFinaliseForegroundSync);

// Passes now running their callbacks on the main thread. A pass asked for from inside a callback (a
// callback that pumps the main thread) leaves the calls to the next full pass: they may be the first of
// several for one tick, which must run together, newest first.
std::atomic<int> g_nPassesRunning{0};

struct TPassScope {
    TPassScope() { g_nPassesRunning.fetch_add(1, std::memory_order_relaxed); }
    ~TPassScope() { g_nPassesRunning.fetch_sub(1, std::memory_order_relaxed); }
    TPassScope(const TPassScope&) = delete;
    TPassScope& operator=(const TPassScope&) = delete;
};

} // namespace

std::uint32_t ORVIForegroundTickCount() {
    const TORVITickSource fn = g_fnTickSource.load(std::memory_order_acquire);
    return fn ? fn() : rtl::GetTickCount();
}

void ORVISetForegroundTickSource(TORVITickSource fnSource) {
    g_fnTickSource.store(fnSource, std::memory_order_release);
}

// TORVIDeferredCallback

TORVIDeferredCallback::TORVIDeferredCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                             std::uint32_t dwWaitFor)
    : _fnCallback(fnCallback), _pPayload(pPayload), _dwTickTime(ORVIForegroundTickCount() + dwWaitFor) {}

void TORVIDeferredCallback::CallIt() {
    if (_fnCallback.Assigned())
        _fnCallback(_pPayload);
}

// TORVIForegroundSyncThread

TORVIForegroundSyncThread::TORVIForegroundSyncThread()
    : rtl::TThread(true), _dwLastSleep(ORVIForegroundTickCount()) {
    FreeOnTerminate = true;
}

TORVIForegroundSyncThread::~TORVIForegroundSyncThread() {
    {
        rtl::TMonitorScope guard(this);
        _pDeferred.clear();
    }
    std::lock_guard lock(Shared().m);
    if (Shared().pWorker == this)
        Shared().pWorker = nullptr;
}

void TORVIForegroundSyncThread::_Insert(TEntry entry) {
    // Before the first entry not due earlier: the newest of equal ticks runs first.
    const std::uint32_t due = entry->TickTime();
    auto it = std::find_if(_pDeferred.begin(), _pDeferred.end(),
                           [due](const TEntry& e) { return TickDiff(e->TickTime(), due) >= 0; });
    _pDeferred.insert(it, std::move(entry));
}

void TORVIForegroundSyncThread::QueueSyncCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                                  std::uint32_t dwMilliseconds) {
    _Queue(fnCallback, pPayload, dwMilliseconds);
    Poke();
}

void TORVIForegroundSyncThread::_Queue(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                       std::uint32_t dwMilliseconds) {
    TEntry entry(rtl::Create<TORVIDeferredCallback>(fnCallback, pPayload, dwMilliseconds));
    rtl::TMonitorScope guard(this);
    _Insert(std::move(entry));
}

void TORVIForegroundSyncThread::CancelSyncCallback(const rtl::TNotifyEvent& fnCallback,
                                                   rtl::TObject* pPayload, std::uint32_t) {
    std::vector<TEntry> removed; // freed after the lock is released
    {
        rtl::TMonitorScope guard(this);
        for (auto it = _pDeferred.begin(); it != _pDeferred.end();) {
            if ((*it)->Payload() == pPayload && (*it)->Callback() == fnCallback) {
                removed.push_back(std::move(*it));
                it = _pDeferred.erase(it);
            } else {
                ++it;
            }
        }
    }
    Poke();
}

void TORVIForegroundSyncThread::Poke() {
    _pEvent.SetEvent();
}

void TORVIForegroundSyncThread::_TakeDue(std::vector<TEntry>& batch, bool blSkipKeepAlive) {
    const std::uint32_t now = ORVIForegroundTickCount();
    rtl::TMonitorScope guard(this);
    auto it = _pDeferred.begin();
    while (it != _pDeferred.end() && TickDiff(now, (*it)->TickTime()) >= 0) {
        if (blSkipKeepAlive && (*it)->Callback().Object() == this) {
            ++it;
            continue;
        }
        batch.push_back(std::move(*it));
        it = _pDeferred.erase(it);
    }
}

void TORVIForegroundSyncThread::RunCallbacks() {
    std::vector<TEntry> batch; // frees every entry it took, whatever a callback throws
    _TakeDue(batch, false);
    TPassScope pass;
    for (TEntry& entry : batch)
        entry->CallIt();
}

void TORVIForegroundSyncThread::_RunDueFromMainThread() {
    // The shared worker stays alive while it is the shared one and the shared lock is held; the entries
    // taken are this pass's alone. Keep-alive entries call the worker itself, which may retire once the
    // lock is released, so they are left to its own pass. Inside a running pass nothing is taken: the
    // worker, poked here, runs the calls once that pass has returned.
    std::vector<TEntry> batch;
    TORVIForegroundSyncThread* worker;
    {
        TSharedWorker& s = Shared();
        std::lock_guard lock(s.m);
        worker = s.pWorker;
        if (!worker || s.blFinalised)
            return;
        if (g_nPassesRunning.load(std::memory_order_relaxed) > 0) {
            worker->Poke();
            return;
        }
        worker->_TakeDue(batch, true);
    }
    try {
        TPassScope pass;
        for (TEntry& entry : batch)
            entry->CallIt();
    } catch (...) {
        // As in the worker's own pass, a callback that raises ends the worker (what it still holds goes
        // to a successor), and the exception stops there rather than in the main thread's loop.
        TSharedWorker& s = Shared();
        std::lock_guard lock(s.m);
        if (s.pWorker == worker)
            worker->Terminate();
    }
}

int TORVIForegroundSyncThread::QueuedCount() {
    rtl::TMonitorScope guard(this);
    return static_cast<int>(_pDeferred.size());
}

std::uint32_t TORVIForegroundSyncThread::_GetMaxIdle() {
    return _dwMaxIdle.load();
}

void TORVIForegroundSyncThread::_SetMaxIdle(std::uint32_t value) {
    if (_dwMaxIdle.exchange(value) != value)
        Poke();
}

void TORVIForegroundSyncThread::TerminatedSet() {
    rtl::TThread::TerminatedSet();
    Poke();
}

void TORVIForegroundSyncThread::Execute() {
    rtl::TThread::NameThreadForDebugging(u"TORVIForegroundSyncThread");
    try {
        while (!Terminated()) {
            std::uint32_t wait;
            {
                rtl::TMonitorScope guard(this);
                const std::uint32_t now = ORVIForegroundTickCount();
                const std::uint32_t maxIdle = std::max<std::uint32_t>(MaxIdle(), 1);
                if (_pDeferred.empty()) {
                    wait = maxIdle;
                } else {
                    // A deadline already passed means now, not 49 days from now.
                    const std::int32_t left = TickDiff(_pDeferred.front()->TickTime(), now);
                    wait = left <= 0 ? 0 : std::min(static_cast<std::uint32_t>(left), maxIdle);
                }
                if (wait > 0)
                    _dwLastSleep = now;
            }
            if (wait > 0 && _pEvent.WaitFor(wait) != rtl::TWaitResult::wrSignaled)
                _Retire();
            if (Terminated())
                break;
            bool blDue;
            {
                // Reset under the lock that insertions take: a poke for anything this check missed comes
                // after.
                rtl::TMonitorScope guard(this);
                blDue = !_pDeferred.empty() &&
                        TickDiff(ORVIForegroundTickCount(), _pDeferred.front()->TickTime()) >= 0;
                _pEvent.ResetEvent();
            }
            if (blDue)
                Synchronize([this] { RunCallbacks(); });
        }
    } catch (...) {
        _HandOver();
        throw; // ends the worker; the exception is its FatalException
    }
    _HandOver();
}

void TORVIForegroundSyncThread::_Retire() {
    TSharedWorker& s = Shared();
    std::lock_guard lock(s.m);
    rtl::TMonitorScope guard(this);
    if (!_pDeferred.empty())
        return; // queued to while the wait timed out
    if (s.pWorker == this)
        s.pWorker = nullptr;
    Terminate();
}

void TORVIForegroundSyncThread::_HandOver() {
    // The shared worker ends (a callback raised, or somebody terminated it) with calls still queued:
    // a successor runs them, so nothing queued to the shared worker is lost.
    TSharedWorker& s = Shared();
    std::lock_guard lock(s.m);
    if (s.pWorker != this)
        return;
    s.pWorker = nullptr;
    if (s.blFinalised)
        return;
    std::deque<TEntry> pending;
    {
        rtl::TMonitorScope guard(this);
        for (TEntry& entry : _pDeferred) {
            if (entry->Callback().Object() != this) // keep-alive calls belong to this worker alone
                pending.push_back(std::move(entry));
        }
        _pDeferred.clear();
    }
    if (pending.empty())
        return;
    auto* successor = rtl::Create<TORVIForegroundSyncThread>();
    successor->_pDeferred = std::move(pending);
    s.pWorker = successor;
    s.ended.push_back(successor->EndedEvent());
    successor->Start();
}

void TORVIForegroundSyncThread::_KeepAlive() {
    {
        rtl::TMonitorScope guard(this);
        // Called with the shared lock held, which _Retire takes too, so the margin cannot turn into a
        // retirement before the keep-alive is queued. It is signed: an idle wait that has run out leaves
        // a negative margin (the worker is about to retire), never a very large one. With entries
        // queued the worker retires a full idle period after the queue empties at the earliest (even
        // when a cancellation empties it now).
        const std::uint32_t now = ORVIForegroundTickCount();
        const std::int64_t maxIdle = MaxIdle();
        const std::int64_t margin =
            _pDeferred.empty() ? maxIdle - static_cast<std::int64_t>(now - _dwLastSleep) : maxIdle;
        if (margin >= 1000)
            return;
        _pDeferred.push_back(TEntry(rtl::Create<TORVIDeferredCallback>(
            rtl::TNotifyEvent(this, &TORVIForegroundSyncThread::_NoOp), this, 1000)));
    }
    Poke();
}

void TORVIForegroundSyncThread::_NoOp(rtl::TObject*) {}

namespace {

// The shared worker, made when there is none. Call with the shared lock held.
TORVIForegroundSyncThread* SharedWorker(TSharedWorker& s) {
    if (!s.pWorker) {
        std::erase_if(s.ended, [](const std::shared_ptr<rtl::TEvent>& e) {
            return e->WaitFor(0) == rtl::TWaitResult::wrSignaled;
        });
        auto* worker = rtl::Create<TORVIForegroundSyncThread>();
        s.ended.push_back(worker->EndedEvent());
        s.pWorker = worker;
        worker->Start();
    }
    return s.pWorker;
}

} // namespace

TORVIForegroundSyncThread* ForegroundSync() {
    TSharedWorker& s = Shared();
    std::lock_guard lock(s.m);
    if (s.blFinalised)
        return nullptr;
    TORVIForegroundSyncThread* worker = SharedWorker(s);
    worker->_KeepAlive();
    return worker;
}

void ORVIQueueForegroundCallback(const rtl::TNotifyEvent& fnCallback, rtl::TObject* pPayload,
                                 std::uint32_t dwMilliseconds) {
    bool blRunNow;
    {
        TSharedWorker& s = Shared();
        std::lock_guard lock(s.m); // the worker cannot retire until the call is queued
        if (s.blFinalised)
            return;
        TORVIForegroundSyncThread* worker = SharedWorker(s);
        worker->_KeepAlive();
        blRunNow = dwMilliseconds == 0 && !rtl::IsMainThread();
        // A call due at once from another thread goes straight to the main thread, which runs what is
        // due (or pokes the worker when it cannot): waking the worker as well would only make the two
        // threads compete for the processor and the queue. Any other call wakes the worker.
        if (blRunNow)
            worker->_Queue(fnCallback, pPayload, dwMilliseconds);
        else
            worker->QueueSyncCallback(fnCallback, pPayload, dwMilliseconds);
    }
    // Whichever pass takes an entry runs it; the other finds it gone. On the main thread itself the call
    // waits for the worker's next pass.
    if (blRunNow) {
        void (*fnRunDue)() = &TORVIForegroundSyncThread::_RunDueFromMainThread;
        rtl::TThread::Queue([fnRunDue] { fnRunDue(); });
    }
}

void ORVIFinaliseForegroundSync() {
    // Queued calls are dropped uncalled; the workers are told to end and waited for (at most a second),
    // so that none runs on in code that is being unloaded.
    TSharedWorker& s = Shared();
    std::vector<std::shared_ptr<rtl::TEvent>> ended;
    {
        std::lock_guard lock(s.m);
        s.blFinalised = true;
        if (TORVIForegroundSyncThread* worker = s.pWorker) {
            s.pWorker = nullptr;
            {
                rtl::TMonitorScope guard(worker);
                worker->_pDeferred.clear();
            }
            worker->Terminate();
        }
        ended.swap(s.ended);
    }
    const std::uint64_t deadline = rtl::GetTickCount64() + 1000;
    for (const std::shared_ptr<rtl::TEvent>& e : ended) {
        while (e->WaitFor(0) != rtl::TWaitResult::wrSignaled && rtl::GetTickCount64() < deadline) {
            if (!rtl::IsMainThread()) {
                e->WaitFor(5);
                continue;
            }
            try {
                rtl::CheckSynchronize(5); // a worker may be waiting for the main thread
            } catch (...) {
            }
        }
    }
}

} // namespace orvi
