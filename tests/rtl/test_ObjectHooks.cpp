#include "rtl/ObjectHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

using namespace rtl;

namespace {

std::vector<std::string> g_log;

class TTraced : public TObject {
public:
    explicit TTraced(bool failAfter = false) : _blFail(failAfter) { g_log.push_back("ctor"); }
    ~TTraced() override { g_log.push_back("dtor"); }
    void AfterConstruction() override {
        g_log.push_back("after");
        if (_blFail)
            throw std::runtime_error("hook failed");
    }
    void BeforeDestruction() override { g_log.push_back("before"); }
    virtual std::string Kind() const { return "base"; }

private:
    bool _blFail;
};

class TDerived : public TTraced {
public:
    explicit TDerived(bool failAfter) : TTraced(failAfter) {}
    std::string Kind() const override { return "derived"; }
};

using TTracedClass = TClassRef<TTraced, bool>;

} // namespace

TEST(ObjectHooks, CreateAndFreeRunTheHooksInOrder) {
    g_log.clear();
    TTraced* p = Create<TTraced>();
    Free(p);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "before", "dtor"}));
    Free<TTraced>(nullptr); // ignored
}

TEST(ObjectHooks, FailingAfterConstructionDeletesWithoutBeforeDestruction) {
    g_log.clear();
    EXPECT_THROW(Create<TTraced>(true), std::runtime_error);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "dtor"}));
}

TEST(ObjectHooks, FreeAndNilClearsTheVariable) {
    g_log.clear();
    TTraced* p = Create<TTraced>();
    FreeAndNil(p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_log.back(), "dtor");
}

TEST(ObjectHooks, ClassReferenceCreatesTheDerivedClass) {
    static const TClassOf<TDerived, TTraced, bool> derivedClass("TDerived");
    const TTracedClass& cls = derivedClass;
    g_log.clear();
    TTraced* p = cls.Create(false);
    EXPECT_EQ(p->Kind(), "derived");
    EXPECT_STREQ(cls.ClassName(), "TDerived");
    Free(p);
    EXPECT_EQ(g_log, (std::vector<std::string>{"ctor", "after", "before", "dtor"}));
}

namespace {

class TSelfFreeing : public TObject {
public:
    void FreeFromInside() { Free(this); } // a call on the object that frees it
    void BeforeDestruction() override {
        ++nBefore;
        Free(this); // a handler reached from the destruction frees the object again: ignored
    }
    int nBefore = 0;

protected:
    ~TSelfFreeing() override = default;
};

} // namespace

TEST(ObjectHooks, PinOutlivesTheObjectAndAnswersFreed) {
    TSelfFreeing* p = Create<TSelfFreeing>();
    ASSERT_NE(p->ControlBlock(), nullptr);
    TPin<TSelfFreeing> pin(p);
    EXPECT_FALSE(pin.Freeing());
    EXPECT_EQ(pin.Get(), p);
    p->FreeFromInside();
    // The storage may be gone for the object, but the pin's block still answers (ASan checks this).
    EXPECT_TRUE(pin.Freed());
    EXPECT_TRUE(pin.Freeing());
    EXPECT_EQ(pin.Get(), nullptr);
    EXPECT_EQ(pin.Address(), p);
    TPin<TSelfFreeing> copy = pin;
    pin.Reset();
    EXPECT_TRUE(copy.Freed());
}

TEST(ObjectHooks, FreeIsIdempotentWhileFreeing) {
    TSelfFreeing* p = Create<TSelfFreeing>();
    TPin<TSelfFreeing> pin(p);
    Free(p);
    EXPECT_TRUE(pin.Freed());
    EXPECT_EQ(static_cast<TSelfFreeing*>(const_cast<void*>(pin.Address()))->nBefore, 1); // pinned: readable
}

namespace {

// Counts its BeforeDestruction where the count outlives it, and frees itself again from there.
class TCountedSelfFreeing : public TObject {
public:
    explicit TCountedSelfFreeing(int* pBefore) : _pBefore(pBefore) {}
    void BeforeDestruction() override {
        ++*_pBefore;
        Free(this);
    }

private:
    int* _pBefore;
};

// Pins itself from a stock of its own, as a maker pinned by what it makes.
class TStocked : public TObject {
public:
    ~TStocked() override { Pins.Close(); }
    TPinStock Pins;
};

} // namespace

TEST(ObjectHooks, PinsFromAStockAnswerLikeOthersAndOutliveTheirOwner) {
    TStocked* owner = Create<TStocked>();
    std::vector<TPin<TStocked>> pins;
    for (int i = 0; i < 150; ++i) // more than one batch
        pins.push_back(owner->Pins.Take(owner));
    for (int i = 0; i < 100; ++i)
        owner->Pins.GiveBack(pins[i]);
    EXPECT_EQ(pins[0].Address(), nullptr) << "a pin given back is empty";
    for (int i = 0; i < 100; ++i)
        pins[i] = owner->Pins.Take(owner);
    TPin<TStocked> plain(owner);
    owner->Pins.GiveBack(plain); // a pin the stock did not make goes back all the same
    EXPECT_EQ(pins[149].Get(), owner);
    Free(owner);
    // The block outlives the owner while any pin holds it, and goes with the last (ASan checks both).
    for (TPin<TStocked>& pin : pins)
        EXPECT_TRUE(pin.Freed());
}

TEST(ObjectHooks, FreedStorageIsUsedAgainOnlyOnceNoPinHoldsIt) {
    int before = 0; // each frees itself again from BeforeDestruction, pinned or not: ignored
    std::vector<TPin<TCountedSelfFreeing>> pins;
    for (int round = 0; round < 3; ++round) {
        auto* p = Create<TCountedSelfFreeing>(&before);
        pins.emplace_back(p);
        Free(p);
        Free(Create<TCountedSelfFreeing>(&before)); // unpinned: may leave its storage to the next
    }
    for (TPin<TCountedSelfFreeing>& pin : pins)
        EXPECT_TRUE(pin.Freed()) << "a pinned block is never made over";
    EXPECT_EQ(before, 6);
}

namespace {
template <std::size_t N> struct TSized : TObject {
    unsigned char Bytes[N];
    TSized() { std::fill(std::begin(Bytes), std::end(Bytes), static_cast<unsigned char>(N)); }
    bool Intact() const {
        return std::all_of(std::begin(Bytes), std::end(Bytes), [](unsigned char b) { return b == N; });
    }
};
} // namespace

TEST(ObjectHooks, FreedStorageServesNoLargerObjectThanItWasMadeFor) {
    // Storage is kept by the size freed objects were made for: a slightly larger object, which
    // the allocator's rounding might still have room for, gets storage of its own.
    for (int round = 0; round < 4; ++round) {
        Free(Create<TSized<200>>());
        auto* pLarger = Create<TSized<240>>();
        auto* pSmaller = Create<TSized<200>>();
        EXPECT_TRUE(pLarger->Intact());
        EXPECT_TRUE(pSmaller->Intact());
        Free(pLarger);
        Free(pSmaller);
    }
}

TEST(ObjectHooks, ObjectsNotOnTheHeapHaveNoBlock) {
    TTraced stackObject;
    EXPECT_EQ(stackObject.ControlBlock(), nullptr);
    TPin<TTraced> pin(&stackObject);
    EXPECT_FALSE(pin.Freed());
    g_log.clear();
}

TEST(ObjectHooks, ClassQueries) {
    static const TClassOf<TTraced, TTraced, bool> tracedClass("TTraced");
    static const TClassOf<TDerived, TTraced, bool> derivedClass("TDerived");
    EXPECT_TRUE(derivedClass.InheritsFrom(tracedClass));
    EXPECT_TRUE(derivedClass.InheritsFrom(derivedClass));
    EXPECT_FALSE(tracedClass.InheritsFrom(derivedClass));
    TDerived d(false);
    const TObject& o = d;
    EXPECT_TRUE(o.ClassType() == typeid(TDerived));
    EXPECT_TRUE(o.InheritsFrom<TTraced>());
    EXPECT_FALSE(TTraced().InheritsFrom<TDerived>());
    g_log.clear();
}

namespace {

struct TNested : TObject {
    explicit TNested(TNested* inner) : pInner(inner) {}
    TNested* pInner;
};

struct TOtherFirst {
    virtual ~TOtherFirst() = default;
    int n = 0;
};
struct TRootSecond : TOtherFirst, TObject {};
struct TRootFirst : TObject, TOtherFirst {};

} // namespace

// A class whose TObject base is not first would get no block; such classes do not compile with Create.
static_assert(IsRootFirst<TTraced>() && IsRootFirst<TRootFirst>());
#if defined(__GNUC__) && !defined(__clang__)
static_assert(!IsRootFirst<TRootSecond>());
#endif

TEST(ObjectHooks, EveryHeapObjectGetsItsBlockHoweverDeeplyAllocationsNest) {
    // Each outer object is allocated before its argument, so seven blocks wait at once.
    TNested* outer = new TNested(new TNested(new TNested(new TNested(new TNested(new TNested(new TNested(nullptr)))))));
    std::vector<TPin<TNested>> pins;
    for (TNested* p = outer; p; p = p->pInner) {
        EXPECT_NE(p->ControlBlock(), nullptr);
        pins.emplace_back(p);
    }
    for (TNested* p = outer; p;) {
        TNested* inner = p->pInner;
        Free(p);
        p = inner;
    }
    for (const TPin<TNested>& pin : pins)
        EXPECT_TRUE(pin.Freed());
}
