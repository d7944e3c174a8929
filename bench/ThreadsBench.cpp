// The framework's threads against their peers, in the same run: the latency from queuing a 0 ms
// foreground callback to its run on the main thread, against a Qt queued invocation on the same kind of
// pumped main thread; and the deferred disposal worker's intake and lag with 100,000 objects queued.
#include "rtl/Thread.h"
#include "utils/framework/ORVI.DeferredDisposalThread.h"
#include "utils/framework/ORVI.ForegroundSyncThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

using namespace orvi;
using Clock = std::chrono::steady_clock;

namespace {

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()))];
}

struct TLatency {
    double median = 0;
    double p99 = 0;
};
TLatency g_foreground;
TLatency g_qt;

// A thread that, each time it is asked, notes the time and queues one call through queueCall.
class TRequester {
public:
    template <class F> explicit TRequester(F queueCall) {
        _thread = std::thread([this, queueCall] {
            for (;;) {
                _ask.WaitFor();
                if (_blStop.load())
                    return;
                sent.store(Clock::now().time_since_epoch().count());
                queueCall();
            }
        });
    }
    ~TRequester() {
        _blStop = true;
        _ask.SetEvent();
        _thread.join();
    }
    void Ask() { _ask.SetEvent(); }
    std::atomic<Clock::rep> sent{0};

private:
    rtl::TEvent _ask{false, false};
    std::atomic<bool> _blStop{false};
    std::thread _thread;
};

struct TArrival : rtl::TObject {
    std::atomic<Clock::rep> arrived{0};
    void Ran(rtl::TObject*) { arrived.store(Clock::now().time_since_epoch().count()); }
};

// Runs the latency loop: pump() serves the main thread until the call has arrived.
template <class Pump>
void MeasureLatency(benchmark::State& state, TRequester& requester, std::atomic<Clock::rep>& arrived,
                    Pump pump, TLatency& result) {
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        arrived.store(0);
        requester.Ask();
        while (arrived.load() == 0)
            pump();
        const double seconds =
            std::chrono::duration<double>(Clock::duration(arrived.load() - requester.sent.load())).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e6);
    }
    result.median = Percentile(samples, 0.5);
    result.p99 = Percentile(samples, 0.99);
    state.counters["median_us"] = result.median;
    state.counters["p99_us"] = result.p99;
}

void BM_ForegroundCallbackLatency(benchmark::State& state) {
    TArrival arrival;
    const rtl::TNotifyEvent fn(&arrival, &TArrival::Ran);
    TRequester requester([fn] { ORVIQueueForegroundCallback(fn, nullptr, 0); });
    MeasureLatency(
        state, requester, arrival.arrived, [] { rtl::CheckSynchronize(100); }, g_foreground);
}
BENCHMARK(BM_ForegroundCallbackLatency)->UseManualTime()->Iterations(3000)->Unit(benchmark::kMicrosecond);

void BM_QtQueuedInvocationLatency(benchmark::State& state) {
    QObject receiver; // lives on the main thread
    std::atomic<Clock::rep> arrived{0};
    TRequester requester([&receiver, &arrived] {
        QMetaObject::invokeMethod(
            &receiver, [&arrived] { arrived.store(Clock::now().time_since_epoch().count()); },
            Qt::QueuedConnection);
    });
    MeasureLatency(
        state, requester, arrived, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); },
        g_qt);
}
BENCHMARK(BM_QtQueuedInvocationLatency)->UseManualTime()->Iterations(3000)->Unit(benchmark::kMicrosecond);

std::atomic<int> g_nFreed{0};
struct TDisposable : rtl::TObject {
    ~TDisposable() override { g_nFreed.fetch_add(1, std::memory_order_relaxed); }
};

/// 100,000 objects queued with random delays under a second; timed: the DisposeAfterDelay calls alone.
/// lag_ms: from the last due time until the last object was freed.
void BM_DisposeAfterDelay(benchmark::State& state) {
    constexpr int kObjects = 100000;
    std::mt19937 random(42);
    std::vector<std::uint32_t> delays(kObjects);
    for (std::uint32_t& d : delays)
        d = random() % 1000;
    const std::uint32_t longest = *std::max_element(delays.begin(), delays.end());
    double worstLag = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto* worker = rtl::Create<TORVIDeferredDisposalThread>();
        std::vector<TDisposable*> objects(kObjects);
        for (TDisposable*& o : objects)
            o = new TDisposable;
        g_nFreed = 0;
        Clock::time_point lastDue;
        state.ResumeTiming();
        for (int i = 0; i < kObjects; ++i) {
            if (delays[i] + 10 >= longest) // only the last ones can be due last: the clock is read for those
                lastDue = std::max(lastDue, Clock::now() + std::chrono::milliseconds(delays[i]));
            worker->DisposeAfterDelay(objects[i], delays[i]);
        }
        state.PauseTiming();
        while (g_nFreed.load() < kObjects && Clock::now() < lastDue + std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const double lag = std::chrono::duration<double, std::milli>(Clock::now() - lastDue).count();
        worstLag = std::max(worstLag, g_nFreed.load() == kObjects ? lag : 1e9);
        rtl::Free(worker);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
    state.counters["lag_ms"] = worstLag;
    state.counters["within_1100ms"] = worstLag <= 1100 ? 1 : 0;
}
BENCHMARK(BM_DisposeAfterDelay)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the Qt peer needs the main thread's event dispatcher
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    if (g_foreground.median > 0 && g_qt.median > 0) {
        std::printf(
            "foreground callback latency: median %.1f us, p99 %.1f us; Qt queued invocation: median %.1f us, "
            "p99 %.1f us; median ratio %.2f (goal <= 2)\n",
            g_foreground.median, g_foreground.p99, g_qt.median, g_qt.p99, g_foreground.median / g_qt.median);
    }
    benchmark::Shutdown();
    return 0;
}
