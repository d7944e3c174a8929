#include "utils/framework/ORVI.ForegroundSyncThread.h"

#include "rtl/Exceptions.h"
#include "rtl/Thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace orvi;

namespace {

// A clock the test moves by hand, so that equal ticks and the wrap are placed exactly.
std::atomic<std::uint32_t> g_nManualTick{0};
std::uint32_t ManualTick() {
    return g_nManualTick.load();
}
// The system clock shifted so that it wraps a little after the test starts.
std::atomic<std::uint32_t> g_nTickShift{0};
std::uint32_t ShiftedTick() {
    return rtl::GetTickCount() + g_nTickShift.load();
}

class TClockScope {
public:
    explicit TClockScope(TORVITickSource fn) { ORVISetForegroundTickSource(fn); }
    ~TClockScope() { ORVISetForegroundTickSource(nullptr); }
};

// Pumps the main thread's synchronised calls until done() or timeoutMs.
template <class F> bool PumpUntil(F done, std::uint32_t timeoutMs = 3000) {
    const std::uint64_t deadline = rtl::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (rtl::GetTickCount64() > deadline)
            return false;
        rtl::CheckSynchronize(2);
    }
    return true;
}

void Pump(std::uint32_t ms) {
    PumpUntil([] { return false; }, ms);
}

// Records which payloads its callbacks saw, on which thread, in which pass.
class TRecorder : public rtl::TObject {
public:
    std::mutex m;
    std::vector<rtl::TObject*> order;
    std::atomic<int> calls{0};
    std::atomic<bool> offMain{false};

    void Hit(rtl::TObject* Sender) {
        if (!rtl::IsMainThread())
            offMain = true;
        std::lock_guard lock(m);
        order.push_back(Sender);
        ++calls;
    }
    void Raise(rtl::TObject*) { throw rtl::EConvertError(u"callback failed"); }
    rtl::TNotifyEvent OnHit() { return rtl::TNotifyEvent(this, &TRecorder::Hit); }
    rtl::TNotifyEvent OnRaise() { return rtl::TNotifyEvent(this, &TRecorder::Raise); }
    std::vector<rtl::TObject*> Order() {
        std::lock_guard lock(m);
        return order;
    }
};

struct TPayloads {
    rtl::TObject items[8];
    rtl::TObject* operator[](int i) { return &items[i]; }
};
using TOrder = std::vector<rtl::TObject*>;

TORVIForegroundSyncThread* StartPrivateWorker() {
    auto* worker = rtl::Create<TORVIForegroundSyncThread>();
    worker->Start();
    return worker;
}

void StopWorker(TORVIForegroundSyncThread* worker) {
    std::shared_ptr<rtl::TEvent> ended = worker->EndedEvent();
    worker->Terminate();
    ASSERT_TRUE(PumpUntil([&] { return ended->WaitFor(0) == rtl::TWaitResult::wrSignaled; }));
}

bool Ended(const std::shared_ptr<rtl::TEvent>& ended) {
    return ended->WaitFor(0) == rtl::TWaitResult::wrSignaled;
}

} // namespace

TEST(ForegroundSyncThread, DueOrderWithTheNewestFirstAmongEqualTicksInOnePass) {
    TClockScope clock(&ManualTick);
    g_nManualTick = 1000;
    TRecorder rec;
    TPayloads p;
    TORVIForegroundSyncThread* worker = StartPrivateWorker();
    worker->QueueSyncCallback(rec.OnHit(), p[0], 10);
    worker->QueueSyncCallback(rec.OnHit(), p[1], 10);
    worker->QueueSyncCallback(rec.OnHit(), p[2], 5);
    worker->QueueSyncCallback(rec.OnHit(), p[3], 20);
    Pump(50);
    EXPECT_EQ(rec.calls.load(), 0); // nothing due while the clock stands still
    g_nManualTick = 1010;
    worker->Poke();
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 3; }));
    EXPECT_EQ(rec.Order(), (TOrder{p[2], p[1], p[0]}));
    EXPECT_EQ(worker->QueuedCount(), 1);
    EXPECT_FALSE(rec.offMain.load());
    StopWorker(worker); // the entry still queued is freed with the worker
    EXPECT_EQ(rec.calls.load(), 3);
}

TEST(ForegroundSyncThread, TickWrapKeepsDueOrderAndTiming) {
    g_nTickShift = 0xFFFFFFFFu - rtl::GetTickCount() - 60; // wraps 60 ms from now
    TClockScope clock(&ShiftedTick);
    TRecorder rec;
    TPayloads p;
    TORVIForegroundSyncThread* worker = StartPrivateWorker();
    const std::uint64_t start = rtl::GetTickCount64();
    worker->QueueSyncCallback(rec.OnHit(), p[0], 160); // due after the wrap
    worker->QueueSyncCallback(rec.OnHit(), p[1], 20);  // due before it
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 2; }));
    EXPECT_GE(rtl::GetTickCount64() - start, 155u); // neither early nor 49 days late
    EXPECT_EQ(rec.Order(), (TOrder{p[1], p[0]}));
    StopWorker(worker);
}

TEST(ForegroundSyncThread, ZeroDelayRunsOnTheMainThreadAtTheNextPass) {
    TRecorder rec;
    TPayloads p;
    const std::uint64_t start = rtl::GetTickCount64();
    std::thread([&] { ORVIQueueForegroundCallback(rec.OnHit(), p[4], 0); }).join();
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 1; }));
    EXPECT_LT(rtl::GetTickCount64() - start, 1000u);
    EXPECT_FALSE(rec.offMain.load());
}

TEST(ForegroundSyncThread, CancelRemovesEveryEntryOfThatCallbackAndPayload) {
    TRecorder rec, other;
    TPayloads p;
    TORVIForegroundSyncThread* worker = StartPrivateWorker();
    worker->QueueSyncCallback(rec.OnHit(), p[0], 30);
    worker->QueueSyncCallback(rec.OnHit(), p[0], 5000);
    worker->QueueSyncCallback(rec.OnHit(), p[1], 30);
    worker->QueueSyncCallback(other.OnHit(), p[0], 30);
    worker->CancelSyncCallback(rec.OnHit(), p[0], 12345);
    EXPECT_EQ(worker->QueuedCount(), 2);
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 1 && other.calls.load() == 1; }));
    Pump(50);
    EXPECT_EQ(rec.Order(), (TOrder{p[1]}));
    EXPECT_EQ(other.Order(), (TOrder{p[0]}));
    StopWorker(worker);
}

TEST(ForegroundSyncThread, SharedWorkerRetiresWhenIdleAndIsReplacedOnDemand) {
    TORVIForegroundSyncThread* first = ForegroundSync();
    ASSERT_NE(first, nullptr);
    std::shared_ptr<rtl::TEvent> firstEnded = first->EndedEvent();
    first->SetMaxIdle(60);
    ASSERT_TRUE(PumpUntil([&] { return Ended(firstEnded); }, 4000));

    TRecorder rec;
    TPayloads p;
    ORVIQueueForegroundCallback(rec.OnHit(), p[0], 0);
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 1; }));
    TORVIForegroundSyncThread* second = ForegroundSync();
    EXPECT_NE(second->EndedEvent(), firstEnded);
    EXPECT_FALSE(Ended(second->EndedEvent()));
}

TEST(ForegroundSyncThread, ADemandNearRetirementKeepsTheWorker) {
    TORVIForegroundSyncThread* worker = ForegroundSync();
    std::shared_ptr<rtl::TEvent> ended = worker->EndedEvent();
    Pump(1100); // any keep-alive call of earlier demands has run; the queue is empty
    ASSERT_EQ(worker->QueuedCount(), 0);
    worker->SetMaxIdle(1600); // the worker starts a fresh idle period now
    Pump(50);
    EXPECT_EQ(ForegroundSync(), worker);
    EXPECT_EQ(worker->QueuedCount(), 0); // over a second of idle left: nothing to do
    Pump(750);
    EXPECT_EQ(ForegroundSync(), worker); // under a second left: a keep-alive call is queued
    EXPECT_EQ(worker->QueuedCount(), 1);
    Pump(1000); // past the moment it would have retired without the call
    EXPECT_FALSE(Ended(ended));
    EXPECT_EQ(ForegroundSync(), worker);
    worker->SetMaxIdle(10000);
}

// Asked for just after its idle wait ran out (by the tick count) but before it retired, the worker
// handed out must still live for another second.
TEST(ForegroundSyncThread, AWorkerHandedOutAfterItsIdleTimeRanOutStillLives) {
    TORVIForegroundSyncThread* worker = ForegroundSync();
    std::shared_ptr<rtl::TEvent> ended = worker->EndedEvent();
    Pump(1100); // keep-alive calls of earlier demands have run
    ASSERT_EQ(worker->QueuedCount(), 0);
    TClockScope clock(&ManualTick);
    g_nManualTick = 100000;
    worker->SetMaxIdle(5000); // a fresh idle period, measured from tick 100000
    Pump(50);
    g_nManualTick = 106000; // by the ticks the idle time is over; the real wait has not run out yet
    ASSERT_EQ(ForegroundSync(), worker);
    worker->SetMaxIdle(1); // the next wait runs out at once
    Pump(100);
    ASSERT_FALSE(Ended(ended));
    EXPECT_EQ(worker->QueuedCount(), 1);
    g_nManualTick = 107000; // the keep-alive call falls due and runs
    worker->SetMaxIdle(10000);
    ASSERT_TRUE(PumpUntil([&] { return worker->QueuedCount() == 0; }));
}

// A call due at once from another thread asks the main thread for a pass straight away; when the main
// thread runs it before a second call of the same tick is queued, the two must still run newest first.
TEST(ForegroundSyncThread, CallsOfOneTickFromAnotherThreadRunNewestFirstWhateverTheMainThreadDoes) {
    TClockScope clock(&ManualTick);
    g_nManualTick = 200000;
    TRecorder rec;
    TPayloads p;
    struct TNested : rtl::TObject {
        std::function<void()> fn;
        void Run(rtl::TObject*) { fn(); }
    } nested;
    // Run from inside a callback, so the worker's own pass waits for it to return.
    nested.fn = [&] {
        std::atomic<int> step{0};
        std::thread other([&] {
            ORVIQueueForegroundCallback(rec.OnHit(), p[0], 0);
            step = 1;
            while (step.load() != 2)
                std::this_thread::yield();
            ORVIQueueForegroundCallback(rec.OnHit(), p[1], 0);
        });
        while (step.load() != 1)
            std::this_thread::yield();
        rtl::CheckSynchronize(50); // the pass asked for by the first call
        step = 2;
        other.join();
    };
    ORVIQueueForegroundCallback(rtl::TNotifyEvent(&nested, &TNested::Run), p[2], 0);
    ForegroundSync()->Poke();
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 2; }));
    EXPECT_EQ(rec.Order(), (TOrder{p[1], p[0]}));
}

// A call due at once from another thread goes to the main thread alone. Arriving while a callback pumps
// the main thread, it is left to the worker, which must then be woken, although it is idle.
TEST(ForegroundSyncThread, ACallArrivingWhileACallbackPumpsRunsOnceThatCallbackReturns) {
    TORVIForegroundSyncThread* worker = ForegroundSync();
    worker->SetMaxIdle(60000);
    Pump(1100); // the keep-alive call has run: the worker waits for a poke alone
    TRecorder rec;
    TPayloads p;
    struct TNested : rtl::TObject {
        std::function<void()> fn;
        void Run(rtl::TObject*) { fn(); }
    } nested;
    std::atomic<int> nInside{-1};
    nested.fn = [&] {
        std::thread([&] { ORVIQueueForegroundCallback(rec.OnHit(), p[0], 0); }).join();
        rtl::CheckSynchronize(50); // the pass that call asked for
        nInside = rec.calls.load();
    };
    std::thread([&] {
        ORVIQueueForegroundCallback(rtl::TNotifyEvent(&nested, &TNested::Run), p[1], 0);
    }).join();
    EXPECT_TRUE(PumpUntil([&] { return rec.calls.load() == 1; }));
    EXPECT_EQ(nInside.load(), 0);
    worker->SetMaxIdle(10000);
}

TEST(ForegroundSyncThread, ARaisingCallbackEndsTheWorkerButLosesNothingQueuedAfter) {
    TClockScope clock(&ManualTick);
    g_nManualTick = 5000;
    TRecorder rec;
    TPayloads p;
    TORVIForegroundSyncThread* worker = ForegroundSync();
    std::shared_ptr<rtl::TEvent> ended = worker->EndedEvent();
    ORVIQueueForegroundCallback(rec.OnHit(), p[1], 300); // still waiting when the worker ends
    ORVIQueueForegroundCallback(rec.OnHit(), p[0], 10);  // taken in the same pass, after the raise
    ORVIQueueForegroundCallback(rec.OnRaise(), p[2], 10);
    g_nManualTick = 5010;
    worker->Poke();
    ASSERT_TRUE(PumpUntil([&] { return Ended(ended); }));
    EXPECT_EQ(rec.calls.load(), 0); // the pass stopped at the raise; its entries were freed

    g_nManualTick = 5400;
    ForegroundSync()->Poke(); // the successor holds the entry that was still waiting
    ORVIQueueForegroundCallback(rec.OnHit(), p[3], 0);
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 2; }));
    TOrder order = rec.Order();
    std::sort(order.begin(), order.end());
    TOrder expected{p[1], p[3]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(Ended(ForegroundSync()->EndedEvent()));
}

// A call due at once from another thread may be run by the pass the main thread is asked for directly;
// a raise there ends the worker all the same, and what was still waiting moves on.
TEST(ForegroundSyncThread, ARaiseInACallQueuedFromAnotherThreadAlsoEndsTheWorker) {
    TRecorder rec;
    TPayloads p;
    TORVIForegroundSyncThread* worker = ForegroundSync();
    std::shared_ptr<rtl::TEvent> ended = worker->EndedEvent();
    ORVIQueueForegroundCallback(rec.OnHit(), p[1], 200);
    std::thread([&] { ORVIQueueForegroundCallback(rec.OnRaise(), p[2], 0); }).join();
    ASSERT_TRUE(PumpUntil([&] { return Ended(ended); }));
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 1; }));
    EXPECT_EQ(rec.Order(), TOrder{p[1]});
    std::thread([&] { ORVIQueueForegroundCallback(rec.OnHit(), p[3], 0); }).join();
    ASSERT_TRUE(PumpUntil([&] { return rec.calls.load() == 2; }));
    EXPECT_EQ(rec.Order(), (TOrder{p[1], p[3]}));
}

#ifdef __linux__
TEST(ForegroundSyncThread, TheWorkerIsNamedForTheSystem) {
    ForegroundSync();
    auto named = [] {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            if (name == "TORVIForeground")
                return true;
        }
        return false;
    };
    EXPECT_TRUE(PumpUntil(named)); // the worker names itself as it starts
}
#endif

TEST(ForegroundSyncThread, ManyThreadsQueueAndCancelWhileTheWorkerRuns) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 4000;
    struct TCounted : rtl::TObject {
        std::atomic<int> runs{0};
        std::atomic<bool> queued{false};
        std::atomic<bool> cancelled{false};
        void Hit(rtl::TObject*) { ++runs; }
    };
    std::vector<TCounted> items(kThreads * kPerThread);
    std::atomic<int> done{0};
    const std::uint64_t stop = rtl::GetTickCount64() + 1500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread && rtl::GetTickCount64() < stop; ++i) {
                TCounted& item = items[t * kPerThread + i];
                rtl::TNotifyEvent fn(&item, &TCounted::Hit);
                item.queued = true;
                ORVIQueueForegroundCallback(fn, &item, static_cast<std::uint32_t>(i % 7));
                if (i % 5 == 0) {
                    item.cancelled = true;
                    if (TORVIForegroundSyncThread* worker = ForegroundSync())
                        worker->CancelSyncCallback(fn, &item);
                }
                if (i % 50 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1 + (i + t) % 5));
            }
            ++done;
        });
    }
    auto allRan = [&] {
        if (done.load() < kThreads)
            return false;
        for (TCounted& item : items)
            if (item.queued.load() && !item.cancelled.load() && item.runs.load() == 0)
                return false;
        return true;
    };
    ASSERT_TRUE(PumpUntil(allRan, 15000));
    for (std::thread& t : threads)
        t.join();
    Pump(50);
    int ran = 0;
    for (TCounted& item : items) {
        EXPECT_LE(item.runs.load(), 1);
        ran += item.runs.load();
    }
    EXPECT_GT(ran, 0);
}
