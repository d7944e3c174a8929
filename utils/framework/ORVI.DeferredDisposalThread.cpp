#include "utils/framework/ORVI.DeferredDisposalThread.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace orvi {

namespace {

constexpr std::uint32_t kMinWait = 20; // the shortest pass, and the retry when the lock is busy

} // namespace

// Holds the monitor of whatever is the lock object once it is taken: the lock object changes only
// under its own monitor, so two holders of this lock always hold the same monitor.
class TORVIDeferredDisposalThread::TQueueLock {
public:
    /// Waits for the monitor.
    explicit TQueueLock(TORVIDeferredDisposalThread* worker) {
        for (;;) {
            _pObject = worker->_CurrentLockObject();
            rtl::TMonitor::Enter(_pObject);
            if (_pObject == worker->_CurrentLockObject())
                return;
            rtl::TMonitor::Exit(_pObject);
        }
    }
    /// Takes the monitor only when it is free; Held() tells.
    TQueueLock(TORVIDeferredDisposalThread* worker, bool) {
        _pObject = worker->_CurrentLockObject();
        if (!rtl::TMonitor::TryEnter(_pObject, 0)) {
            _pObject = nullptr;
        } else if (_pObject != worker->_CurrentLockObject()) {
            rtl::TMonitor::Exit(_pObject);
            _pObject = nullptr;
        }
    }
    ~TQueueLock() {
        if (_pObject)
            rtl::TMonitor::Exit(_pObject);
    }
    TQueueLock(const TQueueLock&) = delete;
    TQueueLock& operator=(const TQueueLock&) = delete;
    bool Held() const noexcept { return _pObject != nullptr; }

private:
    rtl::TObject* _pObject;
};

TORVIDeferredDisposalThread::TORVIDeferredDisposalThread(bool createSuspended)
    : rtl::TThread(createSuspended) {}

TORVIDeferredDisposalThread::~TORVIDeferredDisposalThread() {
    // The thread was stopped before any destructor ran (rtl::TThread::BeforeDestruction).
    _FreeAll();
}

rtl::TObject* TORVIDeferredDisposalThread::_CurrentLockObject() {
    rtl::TObject* lockObject = _pLockObject.load(std::memory_order_acquire);
    return lockObject ? lockObject : this;
}

void TORVIDeferredDisposalThread::Execute() {
    rtl::TThread::NameThreadForDebugging(u"TORVIDeferredDisposalThread");
    try {
        while (!Terminated()) {
            // An idle time of 0 means the shortest wait, not a poll.
            std::uint32_t wait = std::max<std::uint32_t>(MaxIdle(), 1);
            if (!SuspendDisposals()) {
                TQueueLock lock(this, true);
                if (lock.Held()) {
                    const std::uint64_t now = rtl::GetTickCount64();
                    while (!_pQueue.empty() && _pQueue.begin()->first <= now)
                        _DisposeByIndex(0);
                    if (!_pQueue.empty())
                        wait = static_cast<std::uint32_t>(
                            std::min<std::uint64_t>(_pQueue.begin()->first - now, wait));
                    wait = std::max(wait, kMinWait);
                } else {
                    wait = kMinWait;
                }
            }
            // The queue is read again after the reset, so a poke lost to it asks for nothing missed.
            const rtl::TWaitResult result = _pEvent.WaitFor(wait);
            _pEvent.ResetEvent();
            if (result == rtl::TWaitResult::wrAbandoned || result == rtl::TWaitResult::wrError)
                Terminate();
        }
    } catch (...) {
        _FreeAll(); // a disposal callback raised: the worker ends, and nothing queued outlives it
        throw;
    }
    _FreeAll();
}

void TORVIDeferredDisposalThread::_FreeAll() {
    // Freed objects may queue or cancel others on this worker: repeat until nothing is left.
    for (;;) {
        std::vector<rtl::TObject*> objects;
        {
            TQueueLock lock(this);
            _dctObjectDisposal.Clear();
            objects.reserve(_pQueue.size());
            for (const auto& [due, object] : _pQueue)
                objects.push_back(object);
            _pQueue.clear();
            _pIndex.clear();
        }
        if (objects.empty())
            return;
        for (auto it = objects.rbegin(); it != objects.rend(); ++it)
            rtl::Free(*it);
    }
}

void TORVIDeferredDisposalThread::_DisposeByIndex(int i) {
    if (i < 0 || i >= static_cast<int>(_pQueue.size()))
        return;
    auto entry = std::next(_pQueue.begin(), i);
    rtl::TObject* object = entry->second;
    _pQueue.erase(entry);
    _pIndex.erase(object);
    rtl::TNotifyEvent fnDisposal;
    if (_dctObjectDisposal.TryGetValue(object, fnDisposal)) {
        _dctObjectDisposal.Remove(object);
        if (fnDisposal.Assigned()) {
            fnDisposal(object);
            return;
        }
    }
    rtl::Free(object);
}

TORVIDeferredDisposalThread::TQueue::iterator
TORVIDeferredDisposalThread::_FindInsertPosition(std::uint64_t dwDue) {
    return _pQueue.lower_bound(dwDue);
}

bool TORVIDeferredDisposalThread::_Unqueue(rtl::TObject* pObject) {
    auto found = _pIndex.find(pObject);
    if (found == _pIndex.end())
        return false;
    _pQueue.erase(found->second);
    _pIndex.erase(found);
    return true;
}

void TORVIDeferredDisposalThread::_Enqueue(rtl::TObject* pObject, std::uint32_t dwTickCount) {
    const std::uint64_t due = rtl::GetTickCount64() + dwTickCount;
    auto entry = _pQueue.emplace_hint(_FindInsertPosition(due), due, pObject);
    _pIndex[pObject] = entry;
    if (entry == _pQueue.begin())
        Poke(); // the earliest now: the worker may be waiting for a later one
}

void TORVIDeferredDisposalThread::DisposeAfterDelay(rtl::TObject* pObject, std::uint32_t dwTickCount) {
    if (!pObject)
        return;
    TQueueLock lock(this);
    if (_Unqueue(pObject))
        _dctObjectDisposal.Remove(pObject);
    _Enqueue(pObject, dwTickCount);
}

void TORVIDeferredDisposalThread::DisposeAfterDelayWithCallback(rtl::TObject* pObject,
                                                                std::uint32_t dwTickCount,
                                                                const rtl::TNotifyEvent& fnDisposal) {
    if (!pObject)
        return;
    if (!fnDisposal.Assigned()) {
        DisposeAfterDelay(pObject, dwTickCount);
        return;
    }
    TQueueLock lock(this);
    // Refused while it waits with a callback; an object waiting without one moves, keeping this callback.
    _dctObjectDisposal.Add(pObject, fnDisposal);
    _Unqueue(pObject);
    _Enqueue(pObject, dwTickCount);
}

void TORVIDeferredDisposalThread::CancelDisposal(rtl::TObject* pObject) {
    TQueueLock lock(this);
    if (_Unqueue(pObject))
        _dctObjectDisposal.Remove(pObject);
}

void TORVIDeferredDisposalThread::SetMaxDelay(std::uint32_t dwTickcount) {
    bool blFirstChanged = false;
    {
        TQueueLock lock(this);
        if (_pQueue.empty())
            return;
        const std::uint64_t limit = rtl::GetTickCount64() + dwTickcount;
        auto later = _pQueue.upper_bound(limit);
        blFirstChanged = later == _pQueue.begin();
        // Each moves to the limit, after those already due by then, keeping its order among the moved.
        while (later != _pQueue.end()) {
            auto node = _pQueue.extract(later++);
            node.key() = limit;
            auto entry = _pQueue.insert(later, std::move(node));
            _pIndex[entry->second] = entry;
        }
    }
    if (blFirstChanged)
        Poke();
}

void TORVIDeferredDisposalThread::Poke() {
    _pEvent.SetEvent();
}

void TORVIDeferredDisposalThread::TerminatedSet() {
    rtl::TThread::TerminatedSet();
    Poke();
}

int TORVIDeferredDisposalThread::QueuedCount() {
    TQueueLock lock(this);
    return static_cast<int>(_pQueue.size());
}

rtl::TEvent* TORVIDeferredDisposalThread::_GetEvent() {
    return &_pEvent;
}

rtl::TObject* TORVIDeferredDisposalThread::_GetLockObject() {
    return _CurrentLockObject();
}

void TORVIDeferredDisposalThread::_SetLockObject(rtl::TObject* value) {
    TQueueLock lock(this);
    _pLockObject.store(value == this ? nullptr : value, std::memory_order_release);
}

std::uint32_t TORVIDeferredDisposalThread::_GetMaxIdle() {
    return _dwMaxIdle.load();
}

void TORVIDeferredDisposalThread::_SetMaxIdle(std::uint32_t value) {
    if (_dwMaxIdle.exchange(value) != value)
        Poke();
}

bool TORVIDeferredDisposalThread::_GetSuspendDisposals() {
    return _blSuspended.load();
}

void TORVIDeferredDisposalThread::_SetSuspendDisposals(bool value) {
    TQueueLock lock(this);
    if (_blSuspended.exchange(value) != value && !value)
        Poke();
}

} // namespace orvi
