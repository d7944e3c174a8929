#include "utils/framework/ORVI.DeferredDisposalThread.h"

#include "rtl/Exceptions.h"
#include "rtl/Thread.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

using namespace orvi;

namespace {

// Counts its own destruction in a slot of the test's choosing, and remembers the order of deaths.
struct TDeaths {
    std::mutex m;
    std::vector<int> order;
    std::vector<std::atomic<int>> counts;
    std::atomic<bool> onOtherThread{false};
    explicit TDeaths(int n) : counts(n) {}
    std::vector<int> Order() {
        std::lock_guard lock(m);
        return order;
    }
};

class TTracked : public rtl::TObject {
public:
    TTracked(TDeaths* deaths, int id) : _pDeaths(deaths), _nId(id) {}
    ~TTracked() override {
        if (!rtl::IsMainThread())
            _pDeaths->onOtherThread = true;
        ++_pDeaths->counts[_nId];
        std::lock_guard lock(_pDeaths->m);
        _pDeaths->order.push_back(_nId);
    }
    int Id() const { return _nId; }

private:
    TDeaths* _pDeaths;
    int _nId;
};

// A disposal callback that counts and frees.
class TDisposer : public rtl::TObject {
public:
    std::atomic<int> calls{0};
    rtl::UnicodeString threadName;
    void Dispose(rtl::TObject* Sender) {
        ++calls;
        threadName = rtl::TThread::ThreadNameForDebugging();
        rtl::Free(Sender);
    }
    rtl::TNotifyEvent OnDispose() { return rtl::TNotifyEvent(this, &TDisposer::Dispose); }
};

template <class F> bool WaitUntil(F done, std::uint32_t timeoutMs = 3000) {
    const std::uint64_t deadline = rtl::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (rtl::GetTickCount64() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct TWorker {
    TORVIDeferredDisposalThread* p = rtl::Create<TORVIDeferredDisposalThread>();
    ~TWorker() { rtl::Free(p); }
    TORVIDeferredDisposalThread* operator->() const { return p; }
};

} // namespace

TEST(DeferredDisposalThread, FreesInDueOrderOnItsOwnThread) {
    TDeaths deaths(4);
    TWorker worker;
    worker->DisposeAfterDelay(new TTracked(&deaths, 0), 120);
    worker->DisposeAfterDelay(new TTracked(&deaths, 1), 30);
    worker->DisposeAfterDelay(new TTracked(&deaths, 2), 70);
    worker->DisposeAfterDelay(nullptr, 10); // ignored
    EXPECT_EQ(worker->QueuedCount(), 3);
    ASSERT_TRUE(WaitUntil([&] { return deaths.Order().size() == 3; }));
    EXPECT_EQ(deaths.Order(), (std::vector<int>{1, 2, 0}));
    EXPECT_TRUE(deaths.onOtherThread.load());
}

TEST(DeferredDisposalThread, QueuingAgainMovesTheDueTimeAndCancelLeavesTheObjectAlive) {
    TDeaths deaths(2);
    TWorker worker;
    auto* moved = new TTracked(&deaths, 0);
    auto* kept = new TTracked(&deaths, 1);
    worker->DisposeAfterDelay(moved, 30);
    worker->DisposeAfterDelay(moved, 250);
    worker->DisposeAfterDelay(kept, 30);
    worker->CancelDisposal(kept);
    EXPECT_EQ(worker->QueuedCount(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(deaths.counts[0].load(), 0);
    ASSERT_TRUE(WaitUntil([&] { return deaths.counts[0].load() == 1; }));
    EXPECT_EQ(deaths.counts[1].load(), 0);
    rtl::Free(kept); // no longer the worker's
    EXPECT_EQ(deaths.counts[1].load(), 1);
}

TEST(DeferredDisposalThread, CallbacksDisposeInsteadAndRefuseADuplicateRegistration) {
    TDeaths deaths(3);
    TDisposer disposer;
    TWorker worker;
    auto* first = new TTracked(&deaths, 0);
    worker->DisposeAfterDelayWithCallback(first, 40, disposer.OnDispose());
    EXPECT_THROW(worker->DisposeAfterDelayWithCallback(first, 10, disposer.OnDispose()), rtl::EDuplicateKey);
    EXPECT_EQ(worker->QueuedCount(), 1); // the refused call changed nothing, and the lock was let go

    // Waiting without a callback, then queued with one: the callback is kept and called.
    auto* second = new TTracked(&deaths, 1);
    worker->DisposeAfterDelay(second, 5000);
    worker->DisposeAfterDelayWithCallback(second, 40, disposer.OnDispose());

    // Queued again without a callback: freed plainly.
    auto* third = new TTracked(&deaths, 2);
    worker->DisposeAfterDelayWithCallback(third, 5000, disposer.OnDispose());
    worker->DisposeAfterDelay(third, 40);

    ASSERT_TRUE(WaitUntil([&] { return deaths.Order().size() == 3; }));
    EXPECT_EQ(disposer.calls.load(), 2);
#ifdef __linux__
    EXPECT_EQ(disposer.threadName, u"TORVIDeferredDi"); // the name, cut to the system's 15 bytes
#endif
}

TEST(DeferredDisposalThread, SetMaxDelayZeroMakesEverythingDueNow) {
    TDeaths deaths(3);
    TWorker worker;
    // A second apart, so that the clock moving between the calls cannot change their order.
    for (int i = 0; i < 3; ++i)
        worker->DisposeAfterDelay(new TTracked(&deaths, i), 60000 - 1000 * i);
    worker->SetMaxDelay(0);
    ASSERT_TRUE(WaitUntil([&] { return deaths.Order().size() == 3; }, 1000));
    EXPECT_EQ(deaths.Order(), (std::vector<int>{2, 1, 0})); // the order they had
}

TEST(DeferredDisposalThread, SuspensionHoldsEverythingAndResumingWakesAtOnce) {
    TDeaths deaths(1);
    TWorker worker;
    worker->SetSuspendDisposals(true);
    worker->DisposeAfterDelay(new TTracked(&deaths, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(deaths.counts[0].load(), 0);
    const std::uint64_t resumed = rtl::GetTickCount64();
    worker->SetSuspendDisposals(false);
    ASSERT_TRUE(WaitUntil([&] { return deaths.counts[0].load() == 1; }));
    EXPECT_LT(rtl::GetTickCount64() - resumed, 1000u); // not the 10 s idle wait
}

#ifdef __linux__
namespace {
// CPU time (clock ticks) of the process's threads named name.
long ThreadCpuTicks(const std::string& name) {
    long ticks = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm != name)
            continue;
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stol(field);
            if (i == 15)
                stime = std::stol(field);
        }
        ticks += utime + stime;
    }
    return ticks;
}
} // namespace

TEST(DeferredDisposalThread, ASuspendedWorkerWithNoIdleTimeDoesNotSpin) {
    TWorker worker;
    worker->SetSuspendDisposals(true);
    worker->SetMaxIdle(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const long before = ThreadCpuTicks("TORVIDeferredDi");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Waking every millisecond costs a few milliseconds of CPU in half a second; spinning costs it all.
    EXPECT_LT((ThreadCpuTicks("TORVIDeferredDi") - before) * 1000 / sysconf(_SC_CLK_TCK), 60);
}
#endif

TEST(DeferredDisposalThread, AHeldLockObjectDelaysDisposals) {
    TDeaths deaths(1);
    rtl::TObject gate;
    TWorker worker;
    worker->SetLockObject(&gate);
    EXPECT_EQ(worker->LockObject(), &gate);
    rtl::TMonitor::Enter(&gate);
    worker->DisposeAfterDelay(new TTracked(&deaths, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(deaths.counts[0].load(), 0);
    rtl::TMonitor::Exit(&gate);
    ASSERT_TRUE(WaitUntil([&] { return deaths.counts[0].load() == 1; }));
    worker->SetLockObject(nullptr);
    EXPECT_EQ(worker->LockObject(), worker.p);
}

TEST(DeferredDisposalThread, FreeingTheWorkerFreesTheRestWithoutCallbacks) {
    TDeaths deaths(2);
    TDisposer disposer;
    {
        TWorker worker;
        worker->DisposeAfterDelay(new TTracked(&deaths, 0), 60000);
        worker->DisposeAfterDelayWithCallback(new TTracked(&deaths, 1), 60001, disposer.OnDispose());
    }
    EXPECT_EQ(deaths.Order(), (std::vector<int>{1, 0})); // from the last to the first
    EXPECT_EQ(disposer.calls.load(), 0);
}

TEST(DeferredDisposalThread, ManyThreadsQueueMoveAndCancelEachObjectEndsOnce) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 10000;
    TDeaths deaths(kThreads * kPerThread);
    std::vector<std::atomic<int>> handed(kThreads * kPerThread);
    struct TCountingDisposer : rtl::TObject {
        std::vector<std::atomic<int>>* handed;
        void Dispose(rtl::TObject* Sender) {
            ++(*handed)[static_cast<TTracked*>(Sender)->Id()];
            rtl::Free(Sender);
        }
    } disposer;
    disposer.handed = &handed;
    const rtl::TNotifyEvent fn(&disposer, &TCountingDisposer::Dispose);
    std::vector<TTracked*> objects(kThreads * kPerThread);
    auto* worker = rtl::Create<TORVIDeferredDisposalThread>();
    const std::uint64_t stop = rtl::GetTickCount64() + 1500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            for (int i = 0; i < kPerThread; ++i) {
                const int id = t * kPerThread + i;
                auto* object = new TTracked(&deaths, id);
                objects[id] = object;
                if (rtl::GetTickCount64() >= stop) {
                    rtl::Free(object);
                    continue;
                }
                const std::uint32_t delay = random() % 60;
                if (i % 50 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1)); // let the worker in between
                switch (random() % 5) {
                case 0:
                    worker->DisposeAfterDelayWithCallback(object, delay, fn);
                    break;
                // A queued object is the worker's: it may be touched again only while the worker's
                // monitor is held, or it may fall due in between (another thread's SetMaxDelay, or a
                // pause of this one) and be freed before the second call.
                case 1:
                    rtl::TMonitor::Enter(worker);
                    worker->DisposeAfterDelay(object, delay + 40);
                    worker->DisposeAfterDelay(object, delay); // moved
                    rtl::TMonitor::Exit(worker);
                    break;
                case 2:
                    rtl::TMonitor::Enter(worker);
                    worker->DisposeAfterDelay(object, delay + 1000);
                    worker->CancelDisposal(object); // the test's own again
                    rtl::TMonitor::Exit(worker);
                    break;
                case 3:
                    worker->DisposeAfterDelay(object, 200000); // still queued when the worker is freed
                    break;
                default:
                    worker->DisposeAfterDelay(object, delay);
                    if (i % 97 == 0)
                        worker->SetMaxDelay(5);
                    break;
                }
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    rtl::Free(worker);
    // The cancelled objects are alive and the test's own; everything else ended exactly once.
    int cancelled = 0;
    int callbacks = 0;
    for (int id = 0; id < kThreads * kPerThread; ++id) {
        if (deaths.counts[id].load() == 0) {
            rtl::Free(objects[id]);
            ++cancelled;
        }
        EXPECT_EQ(deaths.counts[id].load(), 1) << id;
        EXPECT_LE(handed[id].load(), 1) << id;
        callbacks += handed[id].load();
    }
    EXPECT_GT(cancelled, 0);
    EXPECT_GT(callbacks, 0);
}
