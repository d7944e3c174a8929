#include "utils/framework/ORVI.ReferencedPersistent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvi;
using rtl::TOperation;
using TRP = TORVIReferencedPersistent;

namespace {

std::vector<std::string> g_log;

/// A referenced object that logs what it hears and can act from inside its handler.
class TNode : public TRP {
public:
    explicit TNode(std::string name, rtl::TPersistent* owner = nullptr) : TRP(owner), szName(std::move(name)) {}
    void NotificationRef(TRP* Other, TOperation op) override {
        const auto* node = dynamic_cast<TNode*>(Other);
        g_log.push_back(szName + (op == TOperation::opInsert ? "+" : "-") + (node ? node->szName : "?"));
        if (op == TOperation::opRemove && pFreeOnRemove) {
            TRP* victim = pFreeOnRemove;
            pFreeOnRemove = nullptr;
            rtl::Free(victim);
        }
        TRP::NotificationRef(Other, op);
    }
    void Twilight(rtl::TObject*, bool& stop) { stop = blKeep; }
    void LeftTwilight(rtl::TObject*) { ++nLeft; }
    void Custom(TRP*, TOperation op) { g_log.push_back(szName + (op == TOperation::opRemove ? "!-" : "!+")); }
    std::string szName;
    TRP* pFreeOnRemove = nullptr;
    bool blKeep = true;
    int nLeft = 0;

protected:
    ~TNode() override { g_log.push_back("~" + szName); }
};

struct TLocker : rtl::TObject {};

struct TReferencedTest : ::testing::Test {
    TReferencedTest() { g_log.clear(); }
};

TNode* Make(const std::string& name, rtl::TPersistent* owner = nullptr) {
    return rtl::Create<TNode>(name, owner);
}

} // namespace

TEST_F(TReferencedTest, LocksAreCountedPerLockerAndTheLastOneFreesTheObject) {
    TLocker a, b;
    TNode* n = Make("n");
    rtl::TPin<TNode> pin(n);
    n->AddMemLockReference(&a);
    n->AddMemLockReference(&a);
    n->AddMemLockReference(&b);
    n->AddMemLockReference(nullptr);
    EXPECT_EQ(n->MemLockReferenceCount(), 2);
    EXPECT_EQ(n->_GetLockCount(&a), 2);
    bool deleted = true;
    n->RemoveMemLockReference(&a, &deleted);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(n->_GetLockCount(&a), 1);
    EXPECT_TRUE(n->IsLockedBy(&a));
    n->RemoveMemLockReference(&a, &deleted);
    EXPECT_FALSE(n->IsLockedBy(&a));
    EXPECT_FALSE(deleted);
    n->RemoveMemLockReference(&b, &deleted);
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(pin.Freed());
}

TEST_F(TReferencedTest, AnObjectsOwnLocksTakenInlineCountAsItsOtherLocksDo) {
    // Another locker keeps the object, and its own custom notification goes with its last own lock.
    TLocker keeper;
    TNode* n = Make("n");
    rtl::TPin<TNode> pin(n);
    n->AddMemLockReference(&keeper);
    n->AddMemLockReference(n, TORVIReferencedNotification(n, &TNode::Custom));
    n->_AddSelfLock();
    EXPECT_EQ(n->_GetLockCount(n), 2);
    EXPECT_EQ(n->MemLockReferenceCount(), 2);
    n->_RemoveSelfLock();
    n->_RemoveSelfLock();
    EXPECT_FALSE(n->IsLockedBy(n));
    EXPECT_EQ(n->MemLockReferenceCount(), 1);
    n->RemoveMemLockReference(&keeper);
    EXPECT_TRUE(pin.Freed());
    EXPECT_EQ(g_log, (std::vector<std::string>{"~n"}));

    // The last lock of all frees it.
    TNode* alone = Make("alone");
    rtl::TPin<TNode> alonePin(alone);
    alone->_AddSelfLock();
    alone->_RemoveSelfLock();
    EXPECT_TRUE(alonePin.Freed());
}

TEST_F(TReferencedTest, UnlockedObjectFreesItselfOnlyWhenToldTo) {
    TLocker stranger;
    TNode* kept = Make("kept");
    kept->SetFreeWhenUnreferenced(false);
    bool deleted = true;
    kept->RemoveMemLockReference(&stranger, &deleted);
    EXPECT_FALSE(deleted);
    EXPECT_FALSE(kept->FreeIfUnreferenced());
    rtl::Free(kept);

    TNode* loose = Make("loose");
    rtl::TPin<TNode> pin(loose);
    loose->RemoveMemLockReference(&stranger, &deleted); // holds no lock: still frees the unlocked object
    EXPECT_TRUE(deleted);
    TNode* other = Make("other");
    TNode* var = other;
    DiscardAndNil(var);
    EXPECT_EQ(var, nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"~kept", "~loose", "~other"}));
}

TEST_F(TReferencedTest, TwilightKeepsTheObjectUntilItsNextLock) {
    TLocker a;
    TNode* n = Make("n");
    n->SetOnEnterTwilight(TORVITwilightFalling(n, &TNode::Twilight));
    n->SetOnLeaveTwilight(rtl::TNotifyEvent(n, &TNode::LeftTwilight));
    n->AddMemLockReference(&a);
    bool deleted = true;
    n->RemoveMemLockReference(&a, &deleted);
    EXPECT_FALSE(deleted);
    n->AddMemLockReference(&a);
    n->AddMemLockReference(&a);
    EXPECT_EQ(n->nLeft, 1);
    n->blKeep = false;
    n->RemoveMemLockReference(&a);
    n->RemoveMemLockReference(&a, &deleted);
    EXPECT_TRUE(deleted);
}

TEST_F(TReferencedTest, SilentReferencesAndFreeIndicatorsAreSetOnDestruction) {
    TNode* n = Make("n");
    TRP* held = n;
    TRP* reassigned = n;
    bool freed1 = false, freed2 = false;
    n->RegisterSilentReference(&held);
    n->RegisterSilentReference(&held);
    n->RegisterSilentReference(&reassigned);
    n->RegisterFreeIndicator(&freed1);
    n->RegisterFreeIndicator(&freed2);
    n->UnregisterFreeIndicator(&freed2);
    TNode* other = Make("o");
    reassigned = other;
    rtl::Free(n);
    EXPECT_EQ(held, nullptr);
    EXPECT_EQ(reassigned, other);
    EXPECT_TRUE(freed1);
    EXPECT_FALSE(freed2);
    rtl::Free(other);
}

TEST_F(TReferencedTest, NotifyReferencesAreTakenOnceAndToldOfDestruction) {
    TNode* n = Make("n");
    TNode* c = Make("c");
    n->AddNotifyReference(n);
    n->AddNotifyReference(c);
    n->AddNotifyReference(c);
    EXPECT_EQ(n->NotifyReferenceCount(), 1);
    EXPECT_EQ(g_log, (std::vector<std::string>{"c+n"}));
    rtl::Free(n); // notify references do not keep anything alive
    EXPECT_EQ(g_log, (std::vector<std::string>{"c+n", "c-n", "~n"}));
    EXPECT_EQ(c->TotalReferenceCount(), 0);
    rtl::Free(c);
}

TEST_F(TReferencedTest, CustomNotificationIsRemovedOnlyByTheSameMethod) {
    TNode* n = Make("n");
    TNode* x = Make("x");
    TLocker holder;
    n->AddNotifyReference(&holder, TORVIReferencedNotification(x, &TNode::Custom));
    n->RemoveNotifyReference(&holder, TORVIReferencedNotification(n, &TNode::Custom)); // other object
    rtl::Free(n);
    EXPECT_EQ(g_log, (std::vector<std::string>{"x!-", "~n"}));
    g_log.clear();
    TNode* m = Make("m");
    m->AddNotifyReference(&holder, TORVIReferencedNotification(x, &TNode::Custom));
    m->RemoveNotifyReference(&holder, TORVIReferencedNotification(x, &TNode::Custom));
    rtl::Free(m);
    EXPECT_EQ(g_log, (std::vector<std::string>{"~m"}));
    rtl::Free(x);
}

TEST_F(TReferencedTest, DestroyedOwnerTellsItsChildrenWhoStayAliveUnlessItHeldTheirLastLock) {
    TNode* owner = Make("owner");
    TNode* kept = Make("kept", owner);
    TNode* locked = Make("locked", owner);
    EXPECT_EQ(kept->Owner(), owner);
    locked->AddMemLockReference(owner);
    EXPECT_EQ(owner->NotifyReferenceCount(), 2);
    rtl::TPin<TNode> keptPin(kept), lockedPin(locked);
    g_log.clear();
    rtl::Free(owner);
    EXPECT_FALSE(keptPin.Freed());
    EXPECT_EQ(kept->Owner(), nullptr);
    EXPECT_TRUE(lockedPin.Freed());
    rtl::Free(kept);
}

TEST_F(TReferencedTest, DestroyedLockerGivesBackEveryLockItHeld) {
    TNode* locker = Make("locker");
    TNode* n = Make("n");
    TNode* m = Make("m");
    m->SetFreeWhenUnreferenced(false);
    for (int i = 0; i < 3; ++i) {
        n->AddMemLockReference(locker);
        m->AddMemLockReference(locker);
    }
    EXPECT_EQ(n->_GetLockCount(locker), 3);
    rtl::TPin<TNode> pn(n);
    rtl::Free(locker);
    EXPECT_TRUE(pn.Freed());
    EXPECT_EQ(m->MemLockReferenceCount(), 0);
    EXPECT_EQ(m->TotalReferenceCount(), 0);
    rtl::Free(m);
}

TEST_F(TReferencedTest, OwnerWhoseChildrenLockEachOtherIsDestroyedCleanly) {
    TNode* owner = Make("owner");
    TNode* a = Make("a", owner);
    TNode* b = Make("b", owner);
    a->AddMemLockReference(b);
    b->AddMemLockReference(a);
    a->AddMemLockReference(owner);
    b->AddMemLockReference(owner);
    rtl::TPin<TNode> pa(a), pb(b);
    rtl::Free(owner);
    // The owner's locks are gone; the children keep each other alive, as mutual locks do.
    ASSERT_FALSE(pa.Freed());
    ASSERT_FALSE(pb.Freed());
    EXPECT_EQ(a->Owner(), nullptr);
    EXPECT_EQ(a->MemLockReferenceCount(), 1);
    // Freeing one tells the other, which gives back the departing one's lock and frees itself.
    rtl::Free(a);
    EXPECT_TRUE(pb.Freed());
}

TEST_F(TReferencedTest, HandlerThatFreesItsCallerIsSurvived) {
    TNode* n = Make("n");
    TNode* c1 = Make("c1");
    TNode* c2 = Make("c2");
    n->AddNotifyReference(c1);
    n->AddNotifyReference(c2);
    c2->pFreeOnRemove = c1; // told that n goes, c2 frees c1, the next consumer n would tell
    rtl::TPin<TNode> p1(c1);
    rtl::Free(n);
    EXPECT_TRUE(p1.Freed());
    EXPECT_EQ(c2->TotalReferenceCount(), 0);
    rtl::Free(c2);

    TNode* victim = Make("victim");
    TNode* killer = Make("killer");
    victim->AddMemLockReference(killer);
    killer->pFreeOnRemove = victim; // the object being destroyed is freed again from a handler: ignored
    rtl::TPin<TNode> pv(victim);
    rtl::Free(victim);
    EXPECT_TRUE(pv.Freed());
    rtl::Free(killer);
}

TEST_F(TReferencedTest, ComponentLockerReleasesItsLocksWhenItGoes) {
    auto* component = rtl::Create<rtl::TComponent>();
    TNode* n = Make("n");
    rtl::TPin<TNode> pin(n);
    n->AddMemLockReference(component);
    n->AddMemLockReference(component);
    ASSERT_NE(n->Wrapper(), nullptr);
    EXPECT_EQ(n->Wrapper()->FreeNotificationCount(), 1);
    EXPECT_EQ(n->Wrapper()->_GetFreeNotifee(0), component);
    EXPECT_EQ(n->Wrapper()->_GetFreeNotifee(1), nullptr);
    rtl::Free(component);
    EXPECT_TRUE(pin.Freed());
}

TEST_F(TReferencedTest, OwnerChainQueriesAndInterface) {
    auto* form = rtl::Create<rtl::TComponent>();
    form->SetLoading(true);
    TNode* parent = Make("parent", form);
    TNode* child = Make("child", parent);
    EXPECT_EQ(child->OwningComponent(), form);
    EXPECT_EQ(TRP::ReferencedPersistentOwner(child), parent);
    EXPECT_EQ(TRP::ReferencedPersistentOwner(parent), nullptr);
    EXPECT_TRUE(child->ComponentOwnerIsLoading());
    form->SetLoading(false);
    EXPECT_FALSE(child->ComponentOwnerIsLoading());
    form->SetLoading(true);
    EXPECT_FALSE(child->ComponentOwnerIsLoading()); // asked once loading was over: never again
    EXPECT_FALSE(child->ComponentOwnerIsDesigning());
    void* itf = nullptr;
    EXPECT_EQ(child->QueryInterface(rtl::IInterface::IID, &itf), rtl::S_OK);
    EXPECT_EQ(itf, static_cast<rtl::IInterface*>(child));
    EXPECT_EQ(child->QueryInterface(rtl::TGUID{1, 2, 3, {}}, &itf), rtl::E_NOINTERFACE);
    EXPECT_EQ(child->_AddRef(), -1);
    EXPECT_LT(parent->CreateSequence(), child->CreateSequence());
    rtl::Free(child);
    rtl::Free(parent);
    rtl::Free(form);
}

TEST_F(TReferencedTest, ReferencedListDropsDestroyedItemsAndMovesItsReferences) {
    auto* list = rtl::Create<TORVIReferencedList<TRP>>();
    TNode* a = Make("a");
    TNode* b = Make("b");
    list->Add(a);
    list->Add(b);
    list->Add(b);
    EXPECT_EQ(b->_GetLockCount(list), 2);
    rtl::Free(a);
    EXPECT_EQ(list->Count(), 2);
    TNode* box = Make("box");
    list->SetReferencingObject(nullptr); // non-empty: nothing
    EXPECT_EQ(list->ReferencingObject(), list);
    list->SetReferencingObject(box);
    EXPECT_EQ(b->_GetLockCount(box), 2);
    EXPECT_FALSE(b->IsLockedBy(list));
    rtl::TPin<TNode> pb(b);
    list->Delete(0);
    list->Delete(0); // the last lock goes: b frees itself
    EXPECT_TRUE(pb.Freed());
    rtl::Free(list);
    rtl::Free(box);
}

TEST_F(TReferencedTest, SafeBoxKeepsObjectsAliveAndFreesEachOnceAlsoWhenReleaseFreesIt) {
    auto* box = rtl::Create<TORVIReferencedPersistentSafeBox>();
    TNode* loose = Make("loose"); // only the box locks it: releasing frees it
    TNode* held = Make("held");   // another holder keeps it: FreeAllObjects must free it explicitly
    TLocker other;
    held->AddMemLockReference(&other);
    box->Add(loose);
    box->Add(loose);
    box->Add(held);
    box->Add(nullptr);
    EXPECT_EQ(box->Count(), 2);
    EXPECT_EQ(loose->_GetLockCount(box), 1);
    g_log.clear();
    box->FreeAllObjects();
    EXPECT_EQ(g_log, (std::vector<std::string>{"~loose", "~held"}));
    EXPECT_EQ(box->Count(), 0);
    rtl::Free(box);
}

TEST_F(TReferencedTest, SafeBoxDropsDestroyedObjectsAndFreesThemOnDestroyWhenAsked) {
    struct TRemoved : rtl::TObject {
        void Removed(rtl::TObject* obj) { removed.push_back(obj); }
        std::vector<rtl::TObject*> removed;
    } sink;
    auto* box = rtl::Create<TORVIReferencedPersistentSafeBox>(nullptr, true);
    box->SetOnObjectRemoved(rtl::TNotifyEvent(&sink, &TRemoved::Removed));
    TNode* a = Make("a");
    TNode* b = Make("b");
    box->Add(a);
    box->Add(b);
    rtl::Free(a);
    EXPECT_EQ(sink.removed, (std::vector<rtl::TObject*>{a}));
    EXPECT_FALSE(box->Contains(a));
    rtl::TPin<TNode> pb(b);
    b->AddMemLockReference(&sink); // still held elsewhere: freed by the box all the same
    rtl::Free(box);
    EXPECT_TRUE(pb.Freed());
}

TEST_F(TReferencedTest, OpportunisticStringListReferencesOnlyReferencedObjects) {
    auto* list = rtl::Create<TORVIOpportunisticReferencingStringList>();
    TNode* n = Make("n");
    n->SetFreeWhenUnreferenced(false);
    auto* plain = rtl::Create<TLocker>();
    list->AddObject(u"one", n);
    list->AddObject(u"two", plain);
    list->AddObject(u"three", n);
    EXPECT_EQ(n->_GetLockCount(list), 2);
    EXPECT_EQ(list->_GetCountOfObject(n), 2);
    list->SetObjects(0, n); // the same object again: nothing
    EXPECT_EQ(n->_GetLockCount(list), 2);
    EXPECT_THROW(list->SetObjects(3, n), rtl::EListError);
    EXPECT_THROW(list->Delete(-1), rtl::EListError);
    rtl::Free(n); // leaves its entries with their strings and no object
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Objects(0), nullptr);
    EXPECT_EQ(list->Objects(2), nullptr);
    EXPECT_EQ(list->Strings(2), u"three");
    EXPECT_EQ(list->Objects(1), plain);
    list->SetOwnsNonReferencedObjects(true);
    rtl::TPin<> pp(plain);
    list->Delete(1);
    EXPECT_TRUE(pp.Freed());
    rtl::Free(list);
}

TEST_F(TReferencedTest, OpportunisticStringListClearReleasesReferencedAndFreesOwnedOnce) {
    auto* list = rtl::Create<TORVIOpportunisticReferencingStringList>(true);
    TNode* n = Make("n"); // freed by its release: must not be freed again as owned
    TNode* kept = Make("kept");
    TLocker other;
    kept->AddMemLockReference(&other); // alive after release: freed as owned
    auto* plain = rtl::Create<TLocker>();
    list->AddObject(u"a", n);
    list->AddObject(u"b", n);
    list->AddObject(u"c", kept);
    list->AddObject(u"d", plain);
    rtl::TPin<> pn(n), pk(kept), pp(plain);
    list->Clear();
    EXPECT_TRUE(pn.Freed());
    EXPECT_TRUE(pk.Freed());
    EXPECT_TRUE(pp.Freed());
    EXPECT_EQ(list->Count(), 0);
    TNode* last = Make("last");
    list->AddObject(u"x", last);
    rtl::TPin<TNode> pl(last);
    rtl::Free(list);
    EXPECT_TRUE(pl.Freed());
}

TEST_F(TReferencedTest, UtilityProceduresClearTheVariableFirst) {
    TLocker holder;
    TNode* n = Make("n");
    n->AddMemLockReference(&holder);
    n->AddMemLockReference(&holder);
    TNode* var = n;
    UnlockAndNil(var, &holder);
    EXPECT_EQ(var, nullptr);
    EXPECT_EQ(n->_GetLockCount(&holder), 1);
    var = n;
    UnlockAndNil(var, nullptr); // no consumer: only the variable is cleared
    EXPECT_EQ(n->_GetLockCount(&holder), 1);

    TNode* consumer = Make("c");
    n->AddNotifyReference(consumer);
    var = n;
    RemoveNotifyAndNil(var, static_cast<TRP*>(consumer));
    EXPECT_EQ(n->NotifyReferenceCount(), 0);
    var = nullptr;
    RemoveNotifyAndNil(var, static_cast<TRP*>(consumer)); // already nil: nothing
    rtl::Free(consumer);
    var = n;
    rtl::TPin<TNode> pin(n);
    UnlockAndNil(var, &holder); // the last lock: frees it
    EXPECT_TRUE(pin.Freed());
}

TEST_F(TReferencedTest, ClassReferenceCreatesWithOwnerAfterConstruction) {
    struct TChild : TRP {
        using TRP::TRP;
        void NotificationRef(TRP* Other, TOperation op) override {
            g_log.push_back(op == TOperation::opInsert ? "inserted" : "removed");
            TRP::NotificationRef(Other, op);
        }
    };
    static const rtl::TClassOf<TChild, TRP, rtl::TPersistent*> childClass("TChild");
    const TORVIReferencedPersistentClass& cls = childClass;
    TNode* owner = Make("owner");
    g_log.clear();
    TRP* child = cls.Create(owner);
    EXPECT_EQ(g_log, (std::vector<std::string>{"inserted"})); // the override was live
    EXPECT_EQ(child->Owner(), owner);
    rtl::Free(owner);
    EXPECT_EQ(child->Owner(), nullptr);
    rtl::Free(child);
}

TEST_F(TReferencedTest, ManyLockersAreCountedAsFewOnes) {
    std::vector<TLocker> lockers(7);
    TNode* n = Make("n");
    rtl::TPin<TNode> pin(n);
    for (TLocker& l : lockers)
        n->AddMemLockReference(&l);
    n->AddMemLockReference(&lockers[5]);
    EXPECT_EQ(n->MemLockReferenceCount(), 7);
    for (std::size_t i : {0u, 6u, 3u, 1u})
        n->RemoveMemLockReference(&lockers[i]);
    EXPECT_EQ(n->MemLockReferenceCount(), 3);
    EXPECT_EQ(n->_GetLockCount(&lockers[5]), 2);
    EXPECT_FALSE(n->IsLockedBy(&lockers[3]));
    for (std::size_t i : {2u, 4u, 5u, 5u})
        n->RemoveMemLockReference(&lockers[i]);
    EXPECT_TRUE(pin.Freed());
}

TEST_F(TReferencedTest, FreeingTheHeadOfALongChainOfLocksFreesEveryLinkWithoutNesting) {
    constexpr int kLinks = 30000; // nested, each link's release would cost a stack of frames
    std::vector<TRP*> links;
    std::vector<rtl::TPin<TRP>> pins;
    for (int i = 0; i < kLinks; ++i) {
        links.push_back(rtl::Create<TRP>());
        pins.emplace_back(links.back());
    }
    for (int i = 0; i + 1 < kLinks; ++i)
        links[i + 1]->AddMemLockReference(links[i]); // each link locks the next
    rtl::Free(links[0]);
    for (const rtl::TPin<TRP>& pin : pins)
        ASSERT_TRUE(pin.Freed());
}
