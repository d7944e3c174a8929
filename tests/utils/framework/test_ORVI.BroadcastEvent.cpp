#include "utils/framework/ORVI.BroadcastEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace orvi;
using rtl::TNotifyEvent;

namespace {

struct TCounter : rtl::TObject {
    void Heard(rtl::TObject* sender) {
        ++nHeard;
        pLastSender = sender;
        if (pLeave)
            pLeave->UnregisterListener(TNotifyEvent(this, &TCounter::Heard));
        if (pFree)
            rtl::FreeAndNil(pFree);
    }
    TNotifyEvent Fn() { return TNotifyEvent(this, &TCounter::Heard); }
    std::atomic<int> nHeard{0};
    rtl::TObject* pLastSender = nullptr;
    TORVIBroadcastEvent* pLeave = nullptr;
    TORVIBroadcastEvent* pFree = nullptr;
};

} // namespace

TEST(TORVIBroadcastEvent, ListenersAreKeptOnceAndHearEveryBroadcast) {
    auto* e = rtl::Create<TORVIBroadcastEvent>();
    TCounter a, b, c, d;
    EXPECT_EQ(e->Add(a.Fn()), 0);
    EXPECT_EQ(e->Add(b.Fn()), 1);
    EXPECT_EQ(e->Add(a.Fn()), 0); // present: its index, nothing added
    e->Insert(0, c.Fn());
    e->Insert(99, d.Fn());
    EXPECT_EQ(e->Count(), 4);
    a.pLeave = e; // leaves during the broadcast; b, right after it, still hears
    e->NotifyListeners();
    EXPECT_EQ(a.nHeard + b.nHeard + c.nHeard + d.nHeard, 4);
    EXPECT_EQ(b.pLastSender, e);
    e->SetCallbackObject(&d);
    e->NotifyListeners();
    EXPECT_EQ(b.nHeard, 2);
    EXPECT_EQ(b.pLastSender, &d);
    EXPECT_EQ(e->Remove(a.Fn()), -1);
    EXPECT_EQ(e->Remove(b.Fn()), 1);
    rtl::Free(e);
}

TEST(TORVIBroadcastEvent, ListenerThatFreesTheEventEndsTheBroadcast) {
    auto* e = rtl::Create<TORVIBroadcastEvent>();
    TCounter a, b;
    a.pFree = e;
    e->RegisterListener(a.Fn());
    e->RegisterListener(b.Fn());
    rtl::TPin<TORVIBroadcastEvent> pin(e);
    e->NotifyListeners();
    EXPECT_TRUE(pin.Freed());
    EXPECT_EQ(b.nHeard, 0);
}

TEST(TORVIBroadcastEvent, ThreadsBroadcastAndChangeListenersTogether) {
    auto* e = rtl::Create<TORVIBroadcastEvent>();
    TCounter stay;
    e->RegisterListener(stay.Fn());
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
                e->NotifyListeners();
        });
    threads.emplace_back([&] {
        TCounter passing[8];
        for (int i = 0; i < kRounds; ++i) {
            TCounter& p = passing[i % 8];
            e->RegisterListener(p.Fn());
            e->Insert(0, p.Fn());
            e->UnregisterListener(p.Fn());
        }
    });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(stay.nHeard, 2 * kRounds); // never skipped while others came and went
    EXPECT_EQ(e->Count(), 1);
    rtl::Free(e);
}
