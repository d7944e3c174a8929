#pragma once
// Locks and events: a re-entrant critical section, per-object monitor locks and a manual-reset event.
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

/// A re-entrant lock whose uncontended re-entry and release cost no system call.
class RTL_API TReentrantLock {
public:
    TReentrantLock() = default;
    TReentrantLock(const TReentrantLock&) = delete;
    TReentrantLock& operator=(const TReentrantLock&) = delete;
    /// A lock still held by the destroying thread (its object died inside it) is let go first.
    ~TReentrantLock();
    void Enter();
    /// Waits at most timeoutMs milliseconds (0: do not wait); true when the lock was taken.
    bool TryEnter(std::uint32_t timeoutMs = 0);
    /// EThreadError "Object lock not owned" when the calling thread does not hold it.
    void Exit();

private:
    std::mutex _m;
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
    static void Exit(const TObject* obj);

private:
    static TReentrantLock& Of(const TObject* obj);
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
