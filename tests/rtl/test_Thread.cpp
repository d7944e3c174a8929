#include "rtl/Exceptions.h"
#include "rtl/SyncObjs.h"
#include "rtl/Thread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace rtl;

namespace {

std::atomic<int> g_wakes{0};
void CountWake() {
    ++g_wakes;
}

// Runs a function as Execute.
class TLambdaThread : public TThread {
public:
    explicit TLambdaThread(std::function<void(TLambdaThread&)> body, bool suspended = true)
        : TThread(suspended), _body(std::move(body)) {}
    using TThread::Synchronize;

private:
    void Execute() override { _body(*this); }
    std::function<void(TLambdaThread&)> _body;
};

class TFlagThread : public TThread {
public:
    explicit TFlagThread(std::atomic<bool>* destroyed) : _destroyed(destroyed) {}
    ~TFlagThread() override { *_destroyed = true; }

private:
    void Execute() override { Sleep(10); }
    std::atomic<bool>* _destroyed;
};

} // namespace

TEST(Thread, TheLoadingThreadIsMain) {
    EXPECT_TRUE(IsMainThread());
    bool other = true;
    std::thread([&] { other = IsMainThread(); }).join();
    EXPECT_FALSE(other);
    bool refused = false;
    std::thread([&] {
        try {
            CheckSynchronize();
        } catch (const EThreadError&) {
            refused = true;
        }
    }).join();
    EXPECT_TRUE(refused);
}

TEST(Thread, SynchronizeRunsOnTheMainThreadAndWakesIt) {
    g_wakes = 0;
    SetWakeMainThread(&CountWake);
    std::atomic<bool> ranOnMain{false};
    TLambdaThread worker([&](TLambdaThread&) { TThread::Synchronize([&] { ranOnMain = IsMainThread(); }); });
    worker.Start();
    while (!worker.Finished()) {
        CheckSynchronize(10);
    }
    worker.WaitFor();
    SetWakeMainThread(nullptr);
    EXPECT_TRUE(ranOnMain.load());
    EXPECT_GE(g_wakes.load(), 1);
}

TEST(Thread, SynchronizePropagatesExceptionsToTheWorker) {
    std::atomic<bool> caught{false};
    TLambdaThread worker([&](TLambdaThread&) {
        try {
            TThread::Synchronize([] { throw EConvertError(u"bad"); });
        } catch (const EConvertError& e) {
            caught = e.Message() == u"bad";
        }
    });
    worker.Start();
    worker.WaitFor(); // serves Synchronize while waiting on the main thread
    EXPECT_TRUE(caught.load());
    EXPECT_FALSE(worker.FatalException());
}

TEST(Thread, SynchronizeAndQueueRunInlineOnTheMainThread) {
    int calls = 0;
    TThread::Synchronize([&] { ++calls; });
    TThread::Queue([&] { ++calls; });
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(CheckSynchronize());
    EXPECT_THROW(TThread::Synchronize([] { throw EConvertError(u"x"); }), EConvertError);
}

TEST(Thread, QueueReturnsAtOnceAndRunsLaterInOrder) {
    std::vector<int> order;
    TEvent queued;
    TLambdaThread worker([&](TLambdaThread&) {
        TThread::Queue([&] { order.push_back(1); });
        TThread::Queue([&] { order.push_back(2); });
        queued.SetEvent();
    });
    worker.Start();
    ASSERT_EQ(queued.WaitFor(5000), TWaitResult::wrSignaled);
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(CheckSynchronize(100));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    worker.WaitFor();
}

TEST(Thread, QueuedExceptionLeavesCheckSynchronizeAndKeepsTheRest) {
    int after = 0;
    std::thread([&] {
        TThread::Queue([] { throw EConvertError(u"queued"); });
        TThread::Queue([&] { ++after; });
    }).join();
    EXPECT_THROW(CheckSynchronize(), EConvertError);
    EXPECT_EQ(after, 0);
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_EQ(after, 1);
}

TEST(Thread, TerminateAndReturnValue) {
    TLambdaThread worker([](TLambdaThread& self) {
        while (!self.Terminated()) {
            Sleep(1);
        }
        self.ReturnValue = 42;
    });
    EXPECT_THROW(worker.WaitFor(), EThreadError); // not started
    worker.Start();
    EXPECT_THROW(worker.Start(), EThreadError);
    worker.Terminate();
    EXPECT_EQ(worker.WaitFor(), 42);
    EXPECT_TRUE(worker.Finished());
}

TEST(Thread, FreeOnTerminateDeletesItself) {
    std::atomic<bool> destroyed{false};
    auto* t = new TFlagThread(&destroyed);
    t->FreeOnTerminate = true;
    EXPECT_THROW(t->WaitFor(), EThreadError);
    t->Start();
    for (int i = 0; i < 500 && !destroyed; ++i) {
        Sleep(5);
    }
    EXPECT_TRUE(destroyed.load());
}

TEST(Thread, CreatedRunningThroughCreateAndStoppedByDestructor) {
    std::atomic<bool> started{false};
    auto* t = Create<TLambdaThread>(
        [&](TLambdaThread& self) {
            started = true;
            while (!self.Terminated()) {
                Sleep(1);
            }
        },
        false);
    for (int i = 0; i < 500 && !started; ++i) {
        Sleep(2);
    }
    EXPECT_TRUE(started.load());
    Free(t); // sets Terminated and waits
}

TEST(Thread, ExecuteExceptionIsKept) {
    TLambdaThread worker([](TLambdaThread&) { throw EConvertError(u"boom"); });
    worker.Start();
    worker.WaitFor();
    EXPECT_THROW(std::rethrow_exception(worker.FatalException()), EConvertError);
}

TEST(Thread, TickCountAdvances) {
    std::uint64_t t0 = GetTickCount64();
    Sleep(20);
    std::uint64_t t1 = GetTickCount64();
    EXPECT_GE(t1 - t0, 19u);
    EXPECT_LT(t1 - t0, 2000u);
    std::uint32_t low = GetTickCount();
    EXPECT_LE(low - static_cast<std::uint32_t>(t1), 1000u); // the low 32 bits of the same clock
}

namespace {

// Execute keeps using members of the derived class until it is terminated, and TerminatedSet wakes it.
class TMemberThread : public TThread {
public:
    explicit TMemberThread(std::atomic<bool>* sawDestroyed) : TThread(false), _pSawDestroyed(sawDestroyed) {}
    ~TMemberThread() override { _nStamp = -1; } // what Execute must never see
    std::atomic<int> Passes{0};

protected:
    void Execute() override {
        while (!Terminated()) {
            Check();
            _values.push_back(Passes.fetch_add(1));
            _wake.WaitFor(1000);
            _wake.ResetEvent();
        }
        Sleep(5); // still inside Execute after the flag is set
        Check();
    }
    void TerminatedSet() override { _wake.SetEvent(); }

private:
    void Check() {
        if (_nStamp.load() != 7)
            *_pSawDestroyed = true;
    }
    std::atomic<bool>* _pSawDestroyed;
    std::atomic<int> _nStamp{7};
    std::vector<int> _values;
    TEvent _wake;
};

} // namespace

TEST(Thread, FreeStopsTheThreadBeforeTheDerivedPartIsDestroyed) {
    std::atomic<bool> sawDestroyed{false};
    for (int round = 0; round < 20; ++round) {
        auto* t = Create<TMemberThread>(&sawDestroyed);
        while (t->Passes.load() == 0)
            Sleep(1);
        std::shared_ptr<TEvent> ended = t->EndedEvent();
        const std::uint64_t start = GetTickCount64();
        Free(t); // TerminatedSet wakes the 1 s wait at once
        EXPECT_LT(GetTickCount64() - start, 900u);
        EXPECT_EQ(ended->WaitFor(0), TWaitResult::wrSignaled);
    }
    EXPECT_FALSE(sawDestroyed.load());
}

// Start hands the running thread to the object before Execute may begin; a hand-off that loses its
// wake-up leaves a thread blocked for good, which only shows over many starts.
TEST(Thread, EveryStartedThreadRuns) {
    std::atomic<int> ran{0};
    for (int i = 0; i < 400; ++i) {
        auto* t = Create<TLambdaThread>([&](TLambdaThread&) { ++ran; }, false);
        if (t->EndedEvent()->WaitFor(10000) != TWaitResult::wrSignaled) {
            FAIL() << "thread " << i << " never ran (left running, not freed)";
        }
        Free(t);
    }
    EXPECT_EQ(ran.load(), 400);
}

TEST(Thread, EndedEventOutlivesAFreeOnTerminateThread) {
    std::atomic<bool> destroyed{false};
    auto* t = new TFlagThread(&destroyed);
    t->FreeOnTerminate = true;
    std::shared_ptr<TEvent> ended = t->EndedEvent();
    t->Start();
    ASSERT_EQ(ended->WaitFor(5000), TWaitResult::wrSignaled);
    EXPECT_TRUE(destroyed.load()); // signalled only after the thread's own Free
}

TEST(Thread, NamesTheCallingThreadCutToTheSystemLimit) {
    UnicodeString seen;
    std::thread([&] {
        TThread::NameThreadForDebugging(u"TORVIForegroundSyncThread");
        seen = TThread::ThreadNameForDebugging();
    }).join();
#ifdef _WIN32
    EXPECT_EQ(seen, u"TORVIForegroundSyncThread");
#else
    EXPECT_EQ(seen, u"TORVIForeground"); // 15 bytes
#endif
}

namespace {

// Ends as soon as it sees the flag, while TerminatedSet is still busy with the object.
class TSlowWakeThread : public TThread {
public:
    TSlowWakeThread() { FreeOnTerminate = true; }

protected:
    void Execute() override {
        while (!Terminated())
            Sleep(1);
    }
    void TerminatedSet() override {
        Sleep(20);
        _wake.SetEvent();
    }

private:
    TEvent _wake;
};

} // namespace

TEST(Thread, AFreeOnTerminateThreadOutlivesTheTerminateThatEndsIt) {
    auto* t = new TSlowWakeThread;
    std::shared_ptr<TEvent> ended = t->EndedEvent();
    t->Start();
    Sleep(5);
    t->Terminate(); // the thread frees itself only after this has returned
    ASSERT_EQ(ended->WaitFor(5000), TWaitResult::wrSignaled);
}
