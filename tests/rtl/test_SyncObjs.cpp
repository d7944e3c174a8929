#include "rtl/Exceptions.h"
#include "rtl/SyncObjs.h"
#include "rtl/ObjectHooks.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace rtl;
using Clock = std::chrono::steady_clock;

namespace {

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

} // namespace

TEST(TEvent, ManualResetStaysSignalledUntilReset) {
    TEvent e(true, false);
    auto start = Clock::now();
    EXPECT_EQ(e.WaitFor(50), TWaitResult::wrTimeout);
    EXPECT_GE(ElapsedMs(start), 45);
    e.SetEvent();
    EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
    e.ResetEvent();
    EXPECT_EQ(e.WaitFor(0), TWaitResult::wrTimeout);
    EXPECT_EQ(TEvent(true, true).WaitFor(0), TWaitResult::wrSignaled);
}

TEST(TEvent, AutoResetReleasesOneWaiterPerSignal) {
    TEvent e(false, true);
    EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(e.WaitFor(10), TWaitResult::wrTimeout);

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (e.WaitFor(2000) == TWaitResult::wrSignaled) {
                ++released;
            }
        });
    }
    e.SetEvent();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(released.load(), 1);
    e.SetEvent();
    e.SetEvent(); // may coalesce with the previous signal if no waiter took it yet
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    e.SetEvent();
    for (std::thread& t : waiters) {
        t.join();
    }
    EXPECT_EQ(released.load(), 3);
}

TEST(TEvent, InfiniteWaitWakesOnSignal) {
    TEvent e;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        e.SetEvent();
    });
    EXPECT_EQ(e.WaitFor(), TWaitResult::wrSignaled);
    setter.join();
}

TEST(TMonitor, ReentrantForTheHolder) {
    int obj = 0;
    TMonitor::Enter(&obj);
    EXPECT_TRUE(TMonitor::TryEnter(&obj));
    TMonitor::Enter(&obj);
    TMonitor::Exit(&obj);
    TMonitor::Exit(&obj);
    bool otherGot = true;
    std::thread([&] { otherGot = TMonitor::TryEnter(&obj, 20); }).join();
    EXPECT_FALSE(otherGot); // still held once
    TMonitor::Exit(&obj);
    std::thread([&] {
        otherGot = TMonitor::TryEnter(&obj, 0);
        if (otherGot) {
            TMonitor::Exit(&obj);
        }
    }).join();
    EXPECT_TRUE(otherGot);
    EXPECT_THROW(TMonitor::Exit(&obj), EThreadError);
}

TEST(TMonitor, ExitByAnotherThreadIsRefused) {
    int obj = 0;
    TMonitor::Enter(&obj);
    bool refused = false;
    std::thread([&] {
        try {
            TMonitor::Exit(&obj);
        } catch (const EThreadError&) {
            refused = true;
        }
    }).join();
    EXPECT_TRUE(refused);
    TMonitor::Exit(&obj);
}

TEST(TMonitor, TryEnterWaitsForRelease) {
    int obj = 0;
    TMonitor::Enter(&obj);
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        got = TMonitor::TryEnter(&obj, 2000);
        if (got) {
            TMonitor::Exit(&obj);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got.load());
    TMonitor::Exit(&obj);
    waiter.join();
    EXPECT_TRUE(got.load());
}

TEST(TMonitor, ContentionKeepsCountsExact) {
    int objs[2] = {0, 0};
    long counter[2] = {0, 0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                int k = (i + t) % 2;
                TMonitor::Enter(&objs[k]);
                TMonitor::Enter(&objs[k]);
                ++counter[k];
                TMonitor::Exit(&objs[k]);
                TMonitor::Exit(&objs[k]);
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    EXPECT_EQ(counter[0] + counter[1], 8000);
    EXPECT_EQ(counter[0], 4000);
}

TEST(TCriticalSection, ReentrantAndExclusive) {
    TCriticalSection cs;
    cs.Enter();
    EXPECT_TRUE(cs.TryEnter());
    cs.Leave();
    bool other = true;
    std::thread([&] { other = cs.TryEnter(); }).join();
    EXPECT_FALSE(other);
    cs.Leave();
}

namespace {
class TLocked : public TObject {};
} // namespace

TEST(TMonitor, ObjectMonitorIsReentrantAndExclusive) {
    TLocked o;
    TMonitor::Enter(&o);
    EXPECT_TRUE(TMonitor::TryEnter(&o));
    bool other = true;
    std::thread([&] { other = TMonitor::TryEnter(&o, 20); }).join();
    EXPECT_FALSE(other);
    TMonitor::Exit(&o);
    TMonitor::Exit(&o);
    EXPECT_THROW(TMonitor::Exit(&o), EThreadError);
    std::thread([&] {
        other = TMonitor::TryEnter(&o);
        TMonitor::Exit(&o);
    }).join();
    EXPECT_TRUE(other);
}

TEST(TMonitor, ObjectThatDiesInsideItsMonitorLeavesNoLockBehind) {
    alignas(TLocked) unsigned char storage[sizeof(TLocked)];
    TLocked* first = ::new (storage) TLocked;
    TMonitor::Enter(first);
    first->~TLocked(); // dies without Exit, as a handler that frees its caller makes happen
    TLocked* second = ::new (storage) TLocked; // same address
    bool taken = false;
    std::thread([&] {
        taken = TMonitor::TryEnter(second);
        if (taken)
            TMonitor::Exit(second);
    }).join();
    EXPECT_TRUE(taken);
    second->~TLocked();
}

TEST(TMonitor, ManyThreadsCountUnderOneObjectMonitor) {
    TLocked o;
    int count = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                TMonitor::Enter(&o);
                TMonitor::Enter(&o);
                ++count;
                TMonitor::Exit(&o);
                TMonitor::Exit(&o);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(count, 8000);
}

TEST(TMonitor, SleepingEntrantsAreEachWokenByARelease) {
    TLocked o;
    TMonitor::Enter(&o);
    std::atomic<int> inside{0};
    std::vector<std::thread> entrants;
    for (int t = 0; t < 3; ++t) {
        entrants.emplace_back([&] {
            TMonitor::Enter(&o); // asleep until the holder lets go
            ++inside;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            TMonitor::Exit(&o);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(inside.load(), 0);
    TMonitor::Exit(&o);
    for (std::thread& t : entrants)
        t.join(); // a lost wake-up hangs here
    EXPECT_EQ(inside.load(), 3);
    EXPECT_TRUE(TMonitor::TryEnter(&o));
    TMonitor::Exit(&o);
}
