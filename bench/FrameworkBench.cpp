// Framework costs against their peers, measured in the same run, interleaved (BenchRatios.h): firing a
// subscribed event against emitting a Qt signal; lock references; an object's whole shared life against
// std::make_shared.
//   bench_framework [--check] [Google Benchmark flags]
// --check: exits 1 when firing an event is not ahead of emitting a Qt signal.
#include "BenchRatios.h"
#include "QtSignalPeer.h"
#include "utils/framework/ORVI.ReferencedPersistent.h"
#include "utils/framework/ORVI.SubscribedEvent.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace orvi;

namespace {

struct TSubscriber : rtl::TObject {
    void Heard(rtl::TObject*) { ++nHeard; }
    long nHeard = 0;
};

void BM_SubscribedEventFire(benchmark::State& state) {
    auto* event = rtl::Create<TORVISubscribedEvent>();
    std::vector<TSubscriber> subscribers(static_cast<std::size_t>(state.range(0)));
    for (TSubscriber& s : subscribers)
        event->Subscribe(rtl::TNotifyEvent(&s, &TSubscriber::Heard));
    for (auto _ : state)
        event->FireCallbacks();
    benchmark::DoNotOptimize(subscribers.front().nHeard);
    rtl::Free(event);
}
BENCHMARK(BM_SubscribedEventFire)->Arg(1)->Arg(10);

void BM_QtSignalEmit(benchmark::State& state) {
    TQtSender sender;
    std::vector<std::unique_ptr<TQtReceiver>> receivers;
    for (int i = 0; i < state.range(0); ++i) {
        receivers.push_back(std::make_unique<TQtReceiver>());
        QObject::connect(&sender, &TQtSender::Fired, receivers.back().get(), &TQtReceiver::Heard,
                         Qt::DirectConnection);
    }
    for (auto _ : state)
        emit sender.Fired(&sender);
    benchmark::DoNotOptimize(receivers.front()->nHeard);
}
BENCHMARK(BM_QtSignalEmit)->Arg(1)->Arg(10);

struct TObj : TORVIReferencedPersistent {
    long nPayload = 0;
};

/// Add + remove of one lock by the last of state.range(0) lockers.
void BM_MemLockPair(benchmark::State& state) {
    auto* obj = rtl::Create<TObj>();
    obj->SetFreeWhenUnreferenced(false);
    std::vector<std::unique_ptr<rtl::TObject>> lockers;
    for (int i = 0; i < state.range(0); ++i)
        lockers.push_back(std::make_unique<rtl::TObject>());
    for (std::size_t i = 0; i + 1 < lockers.size(); ++i)
        obj->AddMemLockReference(lockers[i].get());
    rtl::TObject* last = lockers.back().get();
    for (auto _ : state) {
        obj->AddMemLockReference(last);
        obj->RemoveMemLockReference(last);
    }
    for (std::size_t i = 0; i + 1 < lockers.size(); ++i)
        obj->RemoveMemLockReference(lockers[i].get());
    rtl::Free(obj);
}
BENCHMARK(BM_MemLockPair)->Arg(1)->Arg(10);

/// Created, locked by 3 holders, unlocked (the last unlock frees it).
void BM_ReferencedLife(benchmark::State& state) {
    auto* h1 = rtl::Create<rtl::TObject>();
    auto* h2 = rtl::Create<rtl::TObject>();
    auto* h3 = rtl::Create<rtl::TObject>();
    for (auto _ : state) {
        auto* obj = rtl::Create<TObj>();
        obj->AddMemLockReference(h1);
        obj->AddMemLockReference(h2);
        obj->AddMemLockReference(h3);
        obj->RemoveMemLockReference(h1);
        obj->RemoveMemLockReference(h2);
        obj->RemoveMemLockReference(h3);
    }
    rtl::Free(h1);
    rtl::Free(h2);
    rtl::Free(h3);
}
BENCHMARK(BM_ReferencedLife);

/// The same life held by referenced holders, which also hear of the object (informative).
void BM_ReferencedLifeReferencedHolders(benchmark::State& state) {
    auto* h1 = rtl::Create<TObj>();
    auto* h2 = rtl::Create<TObj>();
    auto* h3 = rtl::Create<TObj>();
    for (auto _ : state) {
        auto* obj = rtl::Create<TObj>();
        obj->AddMemLockReference(h1);
        obj->AddMemLockReference(h2);
        obj->AddMemLockReference(h3);
        obj->RemoveMemLockReference(h1);
        obj->RemoveMemLockReference(h2);
        obj->RemoveMemLockReference(h3);
    }
    rtl::Free(h1);
    rtl::Free(h2);
    rtl::Free(h3);
}
BENCHMARK(BM_ReferencedLifeReferencedHolders);

struct TShared {
    virtual ~TShared() = default;
    long nPayload = 0;
};

void BM_MakeSharedLife(benchmark::State& state) {
    for (auto _ : state) {
        auto p = std::make_shared<TShared>();
        auto c1 = p, c2 = p, c3 = p;
        p.reset();
        benchmark::DoNotOptimize(c1.get());
        c1.reset();
        c2.reset();
        c3.reset();
    }
}
BENCHMARK(BM_MakeSharedLife);

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithRatios(
        argc, argv,
        {{"subscribed event, 1 subscriber / Qt signal", "BM_SubscribedEventFire/1", "BM_QtSignalEmit/1", 1},
         {"subscribed event, 10 subscribers / Qt signal", "BM_SubscribedEventFire/10", "BM_QtSignalEmit/10",
          1},
         {"referenced life / std::make_shared", "BM_ReferencedLife", "BM_MakeSharedLife", 0}});
}
