#include "utils/framework/ORVI.UniquePersistent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvi;
using rtl::TOperation;
using TRP = TORVIReferencedPersistent;
using TUP = TORVIUniquePersistent;

#if defined(__SANITIZE_ADDRESS__)
// A frame that a free indicator outlives must be caught when it is written to.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "detect_stack_use_after_return=1";
}
#endif

namespace {

std::vector<std::string> g_log;

struct TWatcher : rtl::TObject {
    explicit TWatcher(std::string name = "w") : szName(std::move(name)) {}
    void Notified(TRP* Other, TOperation op) {
        pLast = Other;
        g_log.push_back(szName + (op == TOperation::opRemove ? " remove" : " insert"));
    }
    void Swapped(rtl::TObject* Sender, TUP* Replacement) {
        pSender = Sender;
        pReplacement = Replacement;
        g_log.push_back(szName + " swapped");
        if (pFree)
            rtl::Free(pFree);
    }
    void Twilight(rtl::TObject*, bool& blStop) {
        g_log.push_back(szName + " twilight");
        blStop = true;
    }
    TORVIReferencedNotification Notify() { return TORVIReferencedNotification(this, &TWatcher::Notified); }
    TORVIUniquePersistentSwapCallback OnSwap() {
        return TORVIUniquePersistentSwapCallback(this, &TWatcher::Swapped);
    }
    std::string szName;
    TRP* pLast = nullptr;
    rtl::TObject* pSender = nullptr;
    TUP* pReplacement = nullptr;
    TUP* pFree = nullptr;
};

struct TUniqueTest : ::testing::Test {
    TUniqueTest() {
        g_log.clear();
        pNew->SetFreeWhenUnreferenced(false); // the survivor stays until the test frees it
    }
    ~TUniqueTest() override { rtl::Free(pinNew.Get()); }
    TUP* pOld = rtl::Create<TUP>();
    TUP* pNew = rtl::Create<TUP>();
    rtl::TPin<TUP> pinOld{pOld};
    rtl::TPin<TUP> pinNew{pNew};
};

} // namespace

TEST_F(TUniqueTest, ASilentReferenceAndAFreeIndicatorEndOnTheReplacement) {
    TRP* variable = pOld;
    TRP* reassigned = pOld;
    pOld->RegisterSilentReference(&variable);
    pOld->RegisterSilentReference(&reassigned);
    bool blFreed = false;
    pOld->RegisterFreeIndicator(&blFreed);
    TUP* other = rtl::Create<TUP>();
    reassigned = other; // given another object: the swap leaves it alone
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
    EXPECT_EQ(variable, pNew);
    EXPECT_EQ(reassigned, other);
    EXPECT_FALSE(blFreed); // it now watches the replacement
    rtl::Free(pNew);
    EXPECT_EQ(variable, nullptr);
    EXPECT_TRUE(blFreed);
    rtl::Free(other);
}

TEST_F(TUniqueTest, ATwiceLockingLockerHoldsTwoLocksOnTheReplacementWithItsNotification) {
    TWatcher locker;
    pOld->AddMemLockReference(&locker, locker.Notify());
    pOld->AddMemLockReference(&locker);
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
    EXPECT_EQ(pNew->_GetLockCount(&locker), 2);
    EXPECT_EQ(pNew->MemLockReferenceCount(), 1);
    pNew->SetFreeWhenUnreferenced(true);
    pNew->RemoveMemLockReference(&locker);
    EXPECT_FALSE(pinNew.Freed());
    // The custom notification came along with the first lock.
    rtl::Free(pNew);
    EXPECT_EQ(g_log, (std::vector<std::string>{"w remove"}));
    EXPECT_EQ(locker.pLast, pinNew.Address());
}

TEST_F(TUniqueTest, ALockerOfBothObjectsKeepsEveryLockItMustGiveBack) {
    TWatcher locker;
    pOld->AddMemLockReference(&locker);
    pNew->AddMemLockReference(&locker);
    pOld->_SwapWith(pNew);
    EXPECT_EQ(pNew->_GetLockCount(&locker), 2);
    pNew->SetFreeWhenUnreferenced(true);
    pNew->RemoveMemLockReference(&locker);
    EXPECT_FALSE(pinNew.Freed()); // still held by the locker's second lock
    pNew->RemoveMemLockReference(&locker);
    EXPECT_TRUE(pinNew.Freed());
}

TEST_F(TUniqueTest, AReferencedLockerFollowsTheReplacementAndReleasesItWhenItGoes) {
    TRP* locker = rtl::Create<TRP>();
    locker->SetFreeWhenUnreferenced(false);
    pOld->AddMemLockReference(locker);
    pOld->AddMemLockReference(locker);
    pOld->_SwapWith(pNew);
    EXPECT_EQ(pNew->_GetLockCount(locker), 2);
    EXPECT_EQ(locker->NotifyReferenceCount(), 1); // told of the replacement's end, not of the old one's
    pNew->SetFreeWhenUnreferenced(true);
    rtl::Free(locker); // gives back both locks
    EXPECT_TRUE(pinNew.Freed());
}

TEST_F(TUniqueTest, CustomNotificationsConsumersAndTwilightHandlersMove) {
    TWatcher watcher("custom");
    TRP* consumer = rtl::Create<TRP>();
    consumer->SetFreeWhenUnreferenced(false);
    pOld->AddNotifyReference(&watcher, watcher.Notify());
    pOld->AddNotifyReference(consumer);
    pOld->SetOnEnterTwilight(TORVITwilightFalling(&watcher, &TWatcher::Twilight));
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
    EXPECT_EQ(pNew->NotifyReferenceCount(), 1);
    EXPECT_EQ(pNew->OnEnterTwilight(), TORVITwilightFalling(&watcher, &TWatcher::Twilight));
    pNew->SetOnEnterTwilight({});
    g_log.clear();
    rtl::Free(pNew);
    EXPECT_EQ(g_log, (std::vector<std::string>{"custom remove"}));
    EXPECT_EQ(watcher.pLast, pNew);
    EXPECT_EQ(consumer->NotifyReferenceCount(), 0);
    rtl::Free(consumer);
}

TEST_F(TUniqueTest, SubscribersHearOnceAndFollowTheReplacementWithoutDuplicates) {
    TWatcher both("both"), only("only");
    pOld->OnSwap()->Subscribe(both.OnSwap());
    pOld->OnSwap()->Subscribe(only.OnSwap());
    pNew->OnSwap()->Subscribe(both.OnSwap());
    pOld->_SwapWith(pNew);
    EXPECT_EQ(g_log, (std::vector<std::string>{"both swapped", "only swapped"}));
    EXPECT_EQ(only.pSender, pinOld.Address());
    EXPECT_EQ(only.pReplacement, pNew);
    EXPECT_EQ(pNew->OnSwap()->SubscriberCount(), 2);
    EXPECT_TRUE(pNew->OnSwap()->IsSubscribed(only.OnSwap()));
}

TEST_F(TUniqueTest, ASubscriberThatFreesTheOldObjectStopsThePass) {
    TWatcher first("first"), second("second");
    first.pFree = pOld;
    pOld->OnSwap()->Subscribe(first.OnSwap());
    pOld->OnSwap()->Subscribe(second.OnSwap());
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
    EXPECT_EQ(g_log, (std::vector<std::string>{"first swapped"}));
    EXPECT_EQ(pNew->OnSwap()->SubscriberCount(), 0);
}

TEST_F(TUniqueTest, SwappingWithNilOrItselfDoesNothing) {
    TRP* variable = pOld;
    pOld->RegisterSilentReference(&variable);
    pOld->_SwapWith(nullptr);
    pOld->_SwapWith(pOld);
    EXPECT_FALSE(pinOld.Freed());
    EXPECT_EQ(variable, pOld);
    rtl::Free(pOld);
}

TEST_F(TUniqueTest, AStringListFollowsTheSwapInEveryEntry) {
    auto* list = rtl::Create<TORVIOpportunisticUniqueStringList>();
    TUP* third = rtl::Create<TUP>();
    rtl::TPin<TUP> pinThird(third);
    list->AddObject(u"a", pOld);
    list->AddObject(u"b", pOld);
    list->AddObject(u"c", pNew);
    EXPECT_EQ(pOld->OnSwap()->SubscriberCount(), 1); // one subscription per distinct object
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list->Objects(i), pNew);
    EXPECT_EQ(pNew->_GetLockCount(list), 3); // one per entry, no more
    EXPECT_EQ(pNew->OnSwap()->SubscriberCount(), 1);
    // Only the last entry's removal drops the subscription.
    list->Delete(0);
    list->Delete(0);
    EXPECT_EQ(pNew->OnSwap()->SubscriberCount(), 1);
    // It still follows: a second swap moves the remaining entry on.
    pNew->SetFreeWhenUnreferenced(true);
    pNew->_SwapWith(third);
    EXPECT_TRUE(pinNew.Freed());
    EXPECT_EQ(list->Objects(0), third);
    EXPECT_EQ(third->_GetLockCount(list), 1);
    list->Delete(0);
    EXPECT_TRUE(pinThird.Freed()); // the list's lock was its last
    rtl::Free(list);
}

TEST_F(TUniqueTest, AFreedStringListIsNoLongerCalledBack) {
    auto* list = rtl::Create<TORVIOpportunisticUniqueStringList>();
    pOld->SetFreeWhenUnreferenced(false);
    list->AddObject(u"a", pOld);
    rtl::Free(list);
    EXPECT_EQ(pOld->OnSwap()->SubscriberCount(), 0);
    pOld->_SwapWith(pNew);
    EXPECT_TRUE(pinOld.Freed());
}

TEST_F(TUniqueTest, ADestroyedObjectLeavesTheStringListAndItsSubscription) {
    auto* list = rtl::Create<TORVIOpportunisticUniqueStringList>();
    list->AddObject(u"a", pNew);
    list->AddObject(u"b", pNew);
    rtl::Free(pNew);
    EXPECT_EQ(list->Objects(0), nullptr);
    EXPECT_EQ(list->Objects(1), nullptr);
    EXPECT_EQ(list->Strings(1), u"b");
    rtl::Free(list);
    rtl::Free(pOld);
}

TEST_F(TUniqueTest, ListsThatNamedTheOldObjectNameTheReplacementAfterwards) {
    TRP* watched = rtl::Create<TRP>(); // old is one of its consumers
    TRP* watchingBoth = rtl::Create<TRP>();
    auto* lockingList = rtl::Create<TORVIReferencedList<TRP>>(); // locks for itself
    auto* box = rtl::Create<TORVIReferencedPersistentSafeBox>(); // locks for the box
    for (TRP* p : {watched, watchingBoth, static_cast<TRP*>(box)})
        p->SetFreeWhenUnreferenced(false);
    watched->AddNotifyReference(pOld);
    watchingBoth->AddNotifyReference(pOld);
    watchingBoth->AddNotifyReference(pNew);
    lockingList->Add(pOld);
    lockingList->Add(pNew);
    box->Add(pOld);
    pOld->_SwapWith(pNew);
    ASSERT_TRUE(pinOld.Freed());
    EXPECT_EQ(watched->NotifyReferenceCount(), 1);
    EXPECT_EQ(watchingBoth->NotifyReferenceCount(), 1); // named once, as before
    EXPECT_EQ(lockingList->Count(), 1);
    EXPECT_EQ((*lockingList)[0], pNew);
    EXPECT_EQ(pNew->_GetLockCount(lockingList), 1); // the old entry's lock went with it
    EXPECT_TRUE(box->Contains(pNew));
    EXPECT_EQ(pNew->_GetLockCount(box), 1);
    // Each of them lets go of the replacement, never of the old object, and no hook of theirs stays.
    rtl::Free(watched);
    rtl::Free(watchingBoth);
    rtl::Free(lockingList);
    rtl::Free(box);
    EXPECT_EQ(pNew->MemLockReferenceCount(), 0);
    g_log.clear();
    rtl::Free(pNew); // would call the freed lists' removal handlers
    EXPECT_TRUE(pinNew.Freed());
}

TEST_F(TUniqueTest, ASwapStartedByASubscriberOfAnotherSwapLeavesNothingPointingIntoIt) {
    TUP* third = rtl::Create<TUP>();
    third->SetFreeWhenUnreferenced(false);
    rtl::TPin<TUP> pinThird(third);
    struct TChainer : rtl::TObject {
        void Swapped(rtl::TObject*, TUP* Replacement) { Replacement->_SwapWith(pNext); }
        TUP* pNext = nullptr;
    } chainer;
    chainer.pNext = third;
    pOld->OnSwap()->Subscribe(TORVIUniquePersistentSwapCallback(&chainer, &TChainer::Swapped));
    pNew->SetFreeWhenUnreferenced(true);
    pOld->_SwapWith(pNew); // its subscriber swaps the replacement on at once
    EXPECT_TRUE(pinOld.Freed());
    EXPECT_TRUE(pinNew.Freed());
    rtl::Free(third); // writes every indicator still registered with it
    EXPECT_TRUE(pinThird.Freed());
}

TEST_F(TUniqueTest, AReferencingStringListFollowsTheSwapWithoutTakingNewReferences) {
    auto* list = rtl::Create<TORVIOpportunisticReferencingStringList>();
    list->AddObject(u"a", pOld);
    list->AddObject(u"b", pOld);
    pOld->_SwapWith(pNew);
    ASSERT_TRUE(pinOld.Freed());
    EXPECT_EQ(list->Objects(0), pNew);
    EXPECT_EQ(list->Objects(1), pNew);
    EXPECT_EQ(pNew->_GetLockCount(list), 2);
    list->Delete(0); // gives back a lock on the replacement, not on the freed object
    EXPECT_EQ(pNew->_GetLockCount(list), 1);
    rtl::Free(list);
    EXPECT_EQ(pNew->MemLockReferenceCount(), 0);
}
