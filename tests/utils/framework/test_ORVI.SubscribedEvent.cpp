#include "utils/framework/ORVI.SubscribedEvent.h"
#include "utils/framework/ORVI.SubscribedGenerics.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace orvi;
using rtl::TCollectionNotification;
using rtl::TNotifyEvent;

namespace {

std::vector<std::string> g_log;

struct TListener : rtl::TObject {
    explicit TListener(std::string name) : szName(std::move(name)) {}
    void Heard(rtl::TObject*) {
        g_log.push_back(szName);
        if (pUnsubscribeFrom)
            pUnsubscribeFrom->Unsubscribe(TNotifyEvent(this, &TListener::Heard));
        if (pFree)
            rtl::FreeAndNil(pFree);
        if (pStop)
            *pStop = true;
    }
    void Other(rtl::TObject*) { g_log.push_back(szName + "'"); }
    TNotifyEvent Fn() { return TNotifyEvent(this, &TListener::Heard); }
    std::string szName;
    TORVISubscribedEvent* pUnsubscribeFrom = nullptr;
    TORVISubscribedEvent* pFree = nullptr;
    bool* pStop = nullptr;
};

struct TEventTest : ::testing::Test {
    TEventTest() { g_log.clear(); }
    ~TEventTest() override { rtl::Free(pEvent); }
    TORVISubscribedEvent* pEvent = rtl::Create<TORVISubscribedEvent>();
    TListener a{"a"}, b{"b"}, c{"c"};
};

} // namespace

TEST_F(TEventTest, SubscribersAreKeptOnceInOrderAndComparedByObjectAndCode) {
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(b.Fn());
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(TNotifyEvent(&a, &TListener::Other)); // same object, other code
    pEvent->PrioritySubscribe(c.Fn());
    pEvent->PrioritySubscribe(b.Fn()); // present: stays where it is
    EXPECT_EQ(pEvent->SubscriberCount(), 4);
    pEvent->FireCallbacks();
    EXPECT_EQ(g_log, (std::vector<std::string>{"c", "a", "b", "a'"}));
    pEvent->Unsubscribe(a.Fn());
    EXPECT_FALSE(pEvent->IsSubscribed(a.Fn()));
    EXPECT_TRUE(pEvent->IsSubscribed(TNotifyEvent(&a, &TListener::Other)));
}

TEST_F(TEventTest, HeldBackFiringIsDeliveredOnceOnTheLastUnblock) {
    pEvent->Subscribe(a.Fn());
    pEvent->SetOnUnblocked(TNotifyEvent(&b, &TListener::Heard));
    pEvent->Block();
    pEvent->Block();
    pEvent->FireCallbacks();
    pEvent->FireCallbacks();
    EXPECT_TRUE(pEvent->CallbacksPending());
    EXPECT_TRUE(g_log.empty());
    pEvent->Unblock();
    EXPECT_TRUE(g_log.empty());
    pEvent->Unblock();
    EXPECT_EQ(g_log, (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(pEvent->CallbacksPending());
    pEvent->Block();
    pEvent->Unblock(); // nothing happened in between: nothing to repeat
    EXPECT_EQ(g_log.size(), 2u);
}

TEST_F(TEventTest, BlockCheckerAloneDecides) {
    struct TChecker : rtl::TObject {
        bool Blocked() { return blBlocked; }
        bool blBlocked = true;
    } checker;
    pEvent->Subscribe(a.Fn());
    pEvent->SetOnIsBlocked(TORVIBoolGetter(&checker, &TChecker::Blocked));
    pEvent->Block();
    pEvent->FireCallbacks();
    EXPECT_TRUE(g_log.empty());
    checker.blBlocked = false;
    EXPECT_FALSE(pEvent->Blocked());
    pEvent->Unblock(); // the counter was never raised; the checker says unblocked: fire once
    EXPECT_EQ(g_log, (std::vector<std::string>{"a"}));
}

TEST_F(TEventTest, SubscriberThatLeavesDuringFiringMakesNobodyMissThePass) {
    a.pUnsubscribeFrom = pEvent;
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(b.Fn());
    pEvent->Subscribe(c.Fn());
    pEvent->FireCallbacks();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a", "b", "c"}));
    b.pUnsubscribeFrom = pEvent; // b removes itself; c is next and must still hear
    pEvent->FireCallbacks();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a", "b", "c", "b", "c"}));
}

TEST_F(TEventTest, FireWhileFalseStopsAfterTheCallbackThatSetsTheFlag) {
    bool stop = false;
    b.pStop = &stop;
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(b.Fn());
    pEvent->Subscribe(c.Fn());
    pEvent->FireCallbacksWhileFalse(&stop);
    EXPECT_EQ(g_log, (std::vector<std::string>{"a", "b"}));
}

TEST_F(TEventTest, CallbackThatFreesTheFiringEventEndsThePass) {
    rtl::TPin<TORVISubscribedEvent> pin(pEvent);
    b.pFree = pEvent;
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(b.Fn());
    pEvent->Subscribe(c.Fn());
    pEvent->FireCallbacks();
    pEvent = nullptr;
    EXPECT_TRUE(pin.Freed());
    EXPECT_EQ(g_log, (std::vector<std::string>{"a", "b"}));
}

TEST_F(TEventTest, TransferMovesEverySubscriptionOnce) {
    TORVISubscribedEvent* target = rtl::Create<TORVISubscribedEvent>();
    target->Subscribe(b.Fn());
    pEvent->Subscribe(a.Fn());
    pEvent->Subscribe(b.Fn());
    pEvent->TransferSubscriptions(target);
    EXPECT_EQ(pEvent->SubscriberCount(), 0);
    EXPECT_EQ(target->SubscriberCount(), 2);
    TORVICallbackList* copy = rtl::Create<TORVICallbackList>();
    target->PopulateCallbacks(copy);
    copy->InvokeCallbacks(nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"b", "a"}));
    rtl::Free(copy);
    rtl::Free(target);
}

TEST_F(TEventTest, OneParameterEventPassesItsParameterAndSender) {
    struct TIntListener : rtl::TObject {
        void Heard(rtl::TObject* sender, int n) { seen.push_back({sender, n}); }
        std::vector<std::pair<rtl::TObject*, int>> seen;
    } l;
    auto* e = rtl::Create<TORVISubscribed1ParamEvent<int>>(&a);
    e->Subscribe(TORVISubscribed1ParamCallback<int>(&l, &TIntListener::Heard));
    e->Subscribe(TORVISubscribed1ParamCallback<int>(&l, &TIntListener::Heard));
    e->FireCallbacks(7);
    e->Block();
    e->FireCallbacks(8);
    e->Unblock(9);
    ASSERT_EQ(l.seen.size(), 2u);
    EXPECT_EQ(l.seen[0], std::make_pair(static_cast<rtl::TObject*>(&a), 7));
    EXPECT_EQ(l.seen[1].second, 9);
    rtl::Free(e);
}

namespace {

class TTracedList : public TORVISubscribedList<int> {
public:
    bool blDeleteOnThree = false;
    void Heard(rtl::TObject*, const int& item, TCollectionNotification action) {
        g_log.push_back("sub" + std::string(action == TCollectionNotification::cnAdded ? "+" : "-") +
                        std::to_string(item));
        if (item == 3 && blDeleteOnThree)
            DeleteWhenNotificationsComplete();
        if (item == 5) {
            CallMeBackWhenNotificationsComplete(TNotifyEvent(&first, &TListener::Heard));
            CallMeBackWhenNotificationsComplete(TNotifyEvent(&second, &TListener::Heard));
        }
    }
    TListener first{"post1"}, second{"post2"};

protected:
    void _BeforeAddNotify(const int& i) override { g_log.push_back("before+" + std::to_string(i)); }
    void _AfterAddNotify(const int& i) override { g_log.push_back("after+" + std::to_string(i)); }
    void _BeforeRemoveNotify(const int& i) override { g_log.push_back("before-" + std::to_string(i)); }
    void _AfterRemoveNotify(const int& i) override { g_log.push_back("after-" + std::to_string(i)); }
};

TTracedList* MakeTracedList() {
    auto* list = rtl::Create<TTracedList>();
    list->Notifications()->Subscribe(rtl::TCollectionNotifyEvent<int>(list, &TTracedList::Heard));
    g_log.clear();
    return list;
}

} // namespace

TEST(TORVISubscribedList, HooksRunAroundSubscribersInOrder) {
    TTracedList* list = MakeTracedList();
    list->Add(1);
    list->Remove(1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before+1", "sub+1", "after+1", "before-1", "sub-1", "after-1"}));
    list->DeleteWhenNotificationsComplete(); // outside a pass: nothing
    list->Add(2);
    g_log.clear();
    rtl::Free(list); // clears with full notification first
    EXPECT_EQ(g_log, (std::vector<std::string>{"before-2", "sub-2", "after-2"}));
}

TEST(TORVISubscribedList, DeleteWhenNotificationsCompleteFreesRightAfterThePass) {
    TTracedList* list = MakeTracedList();
    list->blDeleteOnThree = true;
    rtl::TPin<TTracedList> pin(list);
    list->Add(3);
    EXPECT_TRUE(pin.Freed());
    // Freed right after the pass; freeing clears the list, so the item is reported leaving.
    EXPECT_EQ(g_log, (std::vector<std::string>{"before+3", "sub+3", "after+3", "before-3", "sub-3", "after-3"}));
}

TEST(TORVISubscribedList, PostNotificationCallbacksRunAfterThePassLastFirst) {
    TTracedList* list = MakeTracedList();
    list->Add(5);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before+5", "sub+5", "after+5", "post2", "post1"}));
    g_log.clear();
    list->Add(6);
    EXPECT_EQ(g_log.size(), 3u); // each post callback ran once
    rtl::Free(list);
}

TEST(TORVISubscribedList, SyncListMakesTheFewestChanges) {
    TTracedList* list = MakeTracedList();
    auto* source = rtl::Create<rtl::TList<int>>();
    for (int i : {1, 2, 3})
        list->Add(i);
    for (int i : {1, 4})
        source->Add(i);
    g_log.clear();
    list->SyncList(*source);
    EXPECT_EQ((std::vector<int>(list->begin(), list->end())), (std::vector<int>{1, 4}));
    EXPECT_EQ(g_log, (std::vector<std::string>{"before-2", "sub-2", "after-2", "before+4", "sub+4", "after+4",
                                               "before-3", "sub-3", "after-3"}));
    g_log.clear();
    list->SyncList(*source);
    EXPECT_TRUE(g_log.empty());
    rtl::Free(source);
    rtl::Free(list);
}

TEST(TORVISubscribedEventThreads, FiringAndSubscribingFromSeveralThreads) {
    struct TCount : rtl::TObject {
        void Heard(rtl::TObject*) { ++n; } // runs under the event's lock: no other guard needed
        long n = 0;
    } stay, passing[4];
    auto* e = rtl::Create<TORVISubscribedEvent>();
    e->Subscribe(TNotifyEvent(&stay, &TCount::Heard));
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
                e->FireCallbacks();
        });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            const TNotifyEvent fn(&passing[i % 4], &TCount::Heard);
            e->PrioritySubscribe(fn);
            e->Unsubscribe(fn);
        }
    });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(stay.n, 2 * kRounds);
    EXPECT_EQ(e->SubscriberCount(), 1);
    rtl::Free(e);
}
