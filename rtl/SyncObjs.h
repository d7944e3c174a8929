#pragma once
// Locks and events: a re-entrant critical section, per-object monitor locks and a manual-reset event.
#include "ObjectHooks.h"
#include "RtlApi.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace rtl {

/// Re-entrant for the thread that holds it.
class RTL_API TCriticalSection {
public:
    void Enter() { _m.lock(); }
    void Leave() { _m.unlock(); }
    bool TryEnter() { return _m.try_lock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }

private:
    std::recursive_mutex _m;
};

/// A re-entrant lock whose uncontended entry and release cost one locked instruction each and no
/// call: every event firing takes one. Waiters sleep in the system until the holder lets go.
class RTL_API TReentrantLock {
public:
    TReentrantLock() = default;
    TReentrantLock(const TReentrantLock&) = delete;
    TReentrantLock& operator=(const TReentrantLock&) = delete;

    void Enter() {
        const std::thread::id self = std::this_thread::get_id();
        if (_owner.load(std::memory_order_relaxed) != self) {
            std::uint32_t state = kFree;
            if (!_nState.compare_exchange_strong(state, kHeld, std::memory_order_acquire, std::memory_order_relaxed))
                _WaitAndTake();
            _owner.store(self, std::memory_order_relaxed);
        }
        ++_nDepth;
    }
    /// Waits at most timeoutMs milliseconds (0: do not wait); true when the lock was taken.
    bool TryEnter(std::uint32_t timeoutMs = 0);
    /// EThreadError "Object lock not owned" when the calling thread does not hold it.
    void Exit() {
        if (_owner.load(std::memory_order_relaxed) != std::this_thread::get_id() || _nDepth == 0)
            ThrowNotOwned();
        if (--_nDepth == 0) {
            _owner.store(std::thread::id(), std::memory_order_relaxed);
            if (_nState.exchange(kFree, std::memory_order_release) == kContended)
                _WakeOne();
        }
    }

    /// Throws EThreadError "Object lock not owned".
    [[noreturn]] static void ThrowNotOwned();

private:
    // kContended: held, and someone may be asleep waiting, so the release must wake one.
    static constexpr std::uint32_t kFree = 0, kHeld = 1, kContended = 2;
    void _WaitAndTake() noexcept;
    void _WakeOne() noexcept;

    std::atomic<std::uint32_t> _nState{kFree};
    std::atomic<std::thread::id> _owner{};
    std::uint32_t _nDepth = 0;
};

class TObject;

/// Re-entrant monitor lock attached to an object. An object of the root class keeps its monitor
/// beside it, made on first use and dropped with the object; any other address gets an entry in
/// a process-wide table, released when the last holder leaves.
class RTL_API TMonitor {
public:
    static void Enter(const void* obj);
    /// Waits at most timeoutMs milliseconds (0: do not wait); true when the lock was taken.
    static bool TryEnter(const void* obj, std::uint32_t timeoutMs = 0);
    static void Exit(const void* obj);

    static void Enter(const TObject* obj) { Of(obj).Enter(); }
    static bool TryEnter(const TObject* obj, std::uint32_t timeoutMs = 0) {
        return Of(obj).TryEnter(timeoutMs);
    }
    /// EThreadError "Object lock not owned" when the calling thread does not hold it.
    static void Exit(const TObject* obj) { Held(obj).Exit(); }

private:
    // The object's monitor slot is read inline; the lock is made on first use.
    static TReentrantLock& Of(const TObject* obj) {
        TReentrantLock* lock = obj->_pMonitor.load(std::memory_order_acquire);
        return lock ? *lock : Make(obj);
    }
    static TReentrantLock& Held(const TObject* obj) {
        TReentrantLock* lock = obj->_pMonitor.load(std::memory_order_acquire);
        if (!lock)
            TReentrantLock::ThrowNotOwned();
        return *lock;
    }
    static TReentrantLock& Make(const TObject* obj);
};

/// Holds an object's monitor for a scope.
class TMonitorScope {
public:
    explicit TMonitorScope(const TObject* obj) : _pObject(obj) { TMonitor::Enter(obj); }
    ~TMonitorScope() { TMonitor::Exit(_pObject); }
    TMonitorScope(const TMonitorScope&) = delete;
    TMonitorScope& operator=(const TMonitorScope&) = delete;

private:
    const TObject* _pObject;
};

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

/// An event that can be manual-reset (stays set until ResetEvent) or auto-reset.
class RTL_API TEvent {
public:
    static constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
    explicit TEvent(bool manualReset = true, bool initialState = false);
    void SetEvent();
    void ResetEvent();
    TWaitResult WaitFor(std::uint32_t timeoutMs = INFINITE);

private:
    std::mutex _m;
    std::condition_variable _cv;
    bool _blManualReset;
    bool _blSignaled;
};

} // namespace rtl
