#include "rtl/SyncObjs.h"

#include "rtl/Exceptions.h"
#include "rtl/ObjectHooks.h"

#include <chrono>
#include <memory>
#include <thread>
#include <unordered_map>
#ifdef _WIN32
#include <windows.h>
#endif

namespace rtl {

namespace {

// One entry per object whose monitor is held or awaited; removed when nobody needs it.
struct MonitorEntry {
    std::thread::id owner;
    std::uint32_t depth = 0;
    std::uint32_t waiters = 0;
    std::condition_variable released;
};

struct MonitorTable {
    std::mutex m;
    std::unordered_map<const void*, std::unique_ptr<MonitorEntry>> entries;
};

MonitorTable& Monitors() {
    static MonitorTable* table = new MonitorTable; // never destroyed: monitors may be used during exit
    return *table;
}

bool EnterUntil(const void* obj, const std::chrono::steady_clock::time_point* deadline) {
    MonitorTable& t = Monitors();
    std::unique_lock lock(t.m);
    std::unique_ptr<MonitorEntry>& slot = t.entries[obj];
    if (!slot) {
        slot = std::make_unique<MonitorEntry>();
    }
    MonitorEntry* e = slot.get(); // stable: the entry stays while it has waiters
    const std::thread::id self = std::this_thread::get_id();
    if (e->depth > 0 && e->owner != self) {
        ++e->waiters;
        auto free = [e] { return e->depth == 0; };
        bool got = true;
        if (deadline) {
            got = e->released.wait_until(lock, *deadline, free);
        } else {
            e->released.wait(lock, free);
        }
        --e->waiters;
        if (!got) {
            return false;
        }
    }
    e->owner = self;
    ++e->depth;
    return true;
}

} // namespace

void TMonitor::Enter(const void* obj) {
    EnterUntil(obj, nullptr);
}

bool TMonitor::TryEnter(const void* obj, std::uint32_t timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return EnterUntil(obj, &deadline);
}

void TMonitor::Exit(const void* obj) {
    MonitorTable& t = Monitors();
    std::lock_guard lock(t.m);
    auto it = t.entries.find(obj);
    if (it == t.entries.end() || it->second->depth == 0 || it->second->owner != std::this_thread::get_id()) {
        throw EThreadError(u"Object lock not owned");
    }
    MonitorEntry& e = *it->second;
    if (--e.depth > 0) {
        return;
    }
    e.owner = std::thread::id();
    if (e.waiters > 0) {
        e.released.notify_one();
    } else {
        t.entries.erase(it);
    }
}

// Sleeping on the state word: the system's own wait on an address. Windows gets WaitOnAddress
// rather than std::atomic::wait, whose pooled form in the MinGW runtime can lose a wake-up (a
// sleeper then never takes the lock again).
void TReentrantLock::_WaitAndTake() noexcept {
    // Whoever takes the lock from here leaves it marked contended: other sleepers may remain, and
    // a spare wake-up costs less than a lost one.
    while (_nState.exchange(kContended, std::memory_order_acquire) != kFree) {
#ifdef _WIN32
        static_assert(sizeof(_nState) == sizeof(std::uint32_t), "the state word is waited on as 32 bits");
        std::uint32_t contended = kContended;
        WaitOnAddress(&_nState, &contended, sizeof contended, INFINITE);
#else
        _nState.wait(kContended, std::memory_order_relaxed);
#endif
    }
}

void TReentrantLock::_WakeOne() noexcept {
#ifdef _WIN32
    WakeByAddressSingle(&_nState);
#else
    _nState.notify_one();
#endif
}

bool TReentrantLock::TryEnter(std::uint32_t timeoutMs) {
    const std::thread::id self = std::this_thread::get_id();
    if (_owner.load(std::memory_order_relaxed) != self) {
        // Polled rather than a timed wait: timed waits are rare here (callers retry on their own).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::uint32_t state = kFree;
            if (_nState.compare_exchange_strong(state, kHeld, std::memory_order_acquire, std::memory_order_relaxed))
                break;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        _owner.store(self, std::memory_order_relaxed);
    }
    ++_nDepth;
    return true;
}

void TReentrantLock::ThrowNotOwned() {
    throw EThreadError(u"Object lock not owned");
}

TReentrantLock& TMonitor::Make(const TObject* obj) {
    auto& slot = const_cast<TObject*>(obj)->_pMonitor;
    TReentrantLock* lock = nullptr;
    auto* fresh = new TReentrantLock;
    if (slot.compare_exchange_strong(lock, fresh, std::memory_order_acq_rel))
        lock = fresh;
    else
        delete fresh; // another thread made it first
    return *lock;
}

TEvent::TEvent(bool manualReset, bool initialState)
    : _blManualReset(manualReset), _blSignaled(initialState) {}

void TEvent::SetEvent() {
    std::lock_guard lock(_m);
    _blSignaled = true;
    if (_blManualReset) {
        _cv.notify_all();
    } else {
        _cv.notify_one();
    }
}

void TEvent::ResetEvent() {
    std::lock_guard lock(_m);
    _blSignaled = false;
}

TWaitResult TEvent::WaitFor(std::uint32_t timeoutMs) {
    try {
        std::unique_lock lock(_m);
        auto signalled = [this] { return _blSignaled; };
        if (timeoutMs == INFINITE) {
            _cv.wait(lock, signalled);
        } else if (!_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled)) {
            return TWaitResult::wrTimeout;
        }
        if (!_blManualReset) {
            _blSignaled = false; // an auto-reset event releases one waiter per signal
        }
        return TWaitResult::wrSignaled;
    } catch (const std::system_error&) {
        return TWaitResult::wrError;
    }
}

} // namespace rtl
