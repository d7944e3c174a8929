#include "rtl/SyncObjs.h"

#include "rtl/Exceptions.h"
#include "rtl/ObjectHooks.h"

#include <chrono>
#include <memory>
#include <thread>
#include <unordered_map>

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

TReentrantLock::~TReentrantLock() {
    if (_nDepth > 0 && _owner.load(std::memory_order_relaxed) == std::this_thread::get_id())
        _m.unlock();
}

void TReentrantLock::Enter() {
    const std::thread::id self = std::this_thread::get_id();
    if (_owner.load(std::memory_order_relaxed) != self) {
        _m.lock();
        _owner.store(self, std::memory_order_relaxed);
    }
    ++_nDepth;
}

bool TReentrantLock::TryEnter(std::uint32_t timeoutMs) {
    const std::thread::id self = std::this_thread::get_id();
    if (_owner.load(std::memory_order_relaxed) != self) {
        // Polled rather than a timed lock: timed waits are rare here (callers retry on their own), and
        // plain try_lock is what every race checker understands.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!_m.try_lock()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        _owner.store(self, std::memory_order_relaxed);
    }
    ++_nDepth;
    return true;
}

void TReentrantLock::Exit() {
    if (_owner.load(std::memory_order_relaxed) != std::this_thread::get_id() || _nDepth == 0)
        throw EThreadError(u"Object lock not owned");
    if (--_nDepth == 0) {
        _owner.store(std::thread::id(), std::memory_order_relaxed);
        _m.unlock();
    }
}

TReentrantLock& TMonitor::Of(const TObject* obj) {
    auto& slot = const_cast<TObject*>(obj)->_pMonitor;
    TReentrantLock* lock = slot.load(std::memory_order_acquire);
    if (!lock) {
        auto* fresh = new TReentrantLock;
        if (slot.compare_exchange_strong(lock, fresh, std::memory_order_acq_rel))
            lock = fresh;
        else
            delete fresh; // another thread made it first
    }
    return *lock;
}

void TMonitor::Exit(const TObject* obj) {
    TReentrantLock* lock = obj->_pMonitor.load(std::memory_order_acquire);
    if (!lock)
        throw EThreadError(u"Object lock not owned");
    lock->Exit();
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
