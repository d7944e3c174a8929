#pragma once
// Locks and events: a re-entrant critical section, per-object monitor locks and a manual-reset event.
#include "RtlApi.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

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

/// Re-entrant monitor lock attached to any object by its address, created on first use and
/// released when the last holder leaves.
class RTL_API TMonitor {
public:
    static void Enter(const void* obj);
    /// Waits at most timeoutMs milliseconds (0: do not wait); true when the lock was taken.
    static bool TryEnter(const void* obj, std::uint32_t timeoutMs = 0);
    static void Exit(const void* obj);
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
