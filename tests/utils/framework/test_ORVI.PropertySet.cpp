#include "utils/framework/ORVI.PropertySet.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace orvi;

namespace {

// A set with one property, as concrete sets are written.
class TSizeSet : public TORVIPropertySet {
public:
    using TORVIPropertySet::TORVIPropertySet;
    ORVI_PROPERTY_SET_CLASS(TSizeSet)
    int Size() const { return _nSize; }
    void SetSize(int value) {
        _nSize = value;
        _Change();
    }
    void Assign(const rtl::TPersistent* source) override {
        if (const auto* other = dynamic_cast<const TSizeSet*>(source)) {
            _nSize = other->_nSize;
            _Change();
            return;
        }
        TORVIPropertySet::Assign(source);
    }
    bool EqualTo(const TORVIPropertySet* Other) const override {
        const auto* other = dynamic_cast<const TSizeSet*>(Other);
        return other && other->_nSize == _nSize;
    }
    std::vector<std::string>* pLog = nullptr;

protected:
    void _BeforeChange() override { Log("before"); }
    void _DoChange() override { Log("do"); }
    void _AfterChange() override { Log("after"); }

private:
    void Log(const char* what) {
        if (pLog)
            pLog->push_back(what);
    }
    int _nSize = 0;
};

class TColourSizeSet : public TSizeSet {
public:
    using TSizeSet::TSizeSet;
    ORVI_PROPERTY_SET_CLASS(TColourSizeSet)
};

class TOtherSet : public TORVIPropertySet {
public:
    using TORVIPropertySet::TORVIPropertySet;
    ORVI_PROPERTY_SET_CLASS(TOtherSet)
    bool EqualTo(const TORVIPropertySet*) const override { return true; }
};

struct TCounter : rtl::TObject {
    void Changed(rtl::TObject*) { ++nCalls; }
    int nCalls = 0;
};

struct TPropertySetTest : ::testing::Test {
    TPropertySetTest() { pSet->SetOnChange(rtl::TNotifyEvent(&counter, &TCounter::Changed)); }
    ~TPropertySetTest() override { rtl::Free(pSet); }
    TCounter counter;
    TSizeSet* pSet = rtl::Create<TSizeSet>();
};

} // namespace

TEST_F(TPropertySetTest, AChangeRunsTheHooksInOrderThenOnChange) {
    std::vector<std::string> log;
    pSet->pLog = &log;
    pSet->SetSize(3);
    EXPECT_EQ(log, (std::vector<std::string>{"before", "do", "after"}));
    EXPECT_EQ(counter.nCalls, 1);
}

TEST_F(TPropertySetTest, AnUpdateReportsItsChangesOnceAtTheOutermostEnd) {
    pSet->BeginUpdate();
    pSet->SetSize(1);
    pSet->BeginUpdate();
    pSet->SetSize(2);
    pSet->SetSize(3);
    pSet->EndUpdate();
    EXPECT_EQ(counter.nCalls, 0);
    EXPECT_TRUE(pSet->_GetInUpdate());
    pSet->EndUpdate();
    EXPECT_EQ(counter.nCalls, 1);
    // The held-back count went back to 0: a quiet update reports nothing.
    pSet->BeginUpdate();
    pSet->EndUpdate();
    EXPECT_EQ(counter.nCalls, 1);
}

TEST_F(TPropertySetTest, AnExtraEndUpdateLeavesTheDepthAtZero) {
    pSet->EndUpdate();
    pSet->EndUpdate();
    EXPECT_EQ(pSet->_GetUpdateCount(), 0);
    pSet->SetSize(4); // reported at once, not held back by a negative depth
    EXPECT_EQ(counter.nCalls, 1);
}

TEST_F(TPropertySetTest, ChangesFromOtherThreadsDuringAnUpdateAreReportedOnce) {
    pSet->BeginUpdate();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 1000; ++i)
                pSet->_Change();
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counter.nCalls, 0);
    pSet->EndUpdate();
    EXPECT_EQ(counter.nCalls, 1);
}

// Updates end on one thread while changes come from another: every change is reported, either by the
// EndUpdate that closes its update or at once; none is left held back for a later, quiet update.
TEST_F(TPropertySetTest, NoChangeIsStrandedBetweenAnUpdateEndingAndAnotherThreadCounting) {
    std::atomic<bool> stop{false};
    std::atomic<int> reported{0};
    struct TAtomicCounter : rtl::TObject {
        std::atomic<int>* p;
        void Changed(rtl::TObject*) { ++*p; }
    } atomicCounter;
    atomicCounter.p = &reported;
    pSet->SetOnChange(rtl::TNotifyEvent(&atomicCounter, &TAtomicCounter::Changed));
    std::thread changer([&] {
        while (!stop.load(std::memory_order_relaxed))
            pSet->_Change();
    });
    for (int i = 0; i < 200000; ++i) {
        pSet->BeginUpdate();
        pSet->EndUpdate();
    }
    stop = true;
    changer.join();
    const int before = reported.load();
    pSet->BeginUpdate();
    pSet->EndUpdate();
    EXPECT_EQ(reported.load(), before) << "a change was held back after its update had ended";
}

TEST(PropertySet, InterfaceCountingDecidesTheLifetime) {
    TSizeSet* set = rtl::Create<TSizeSet>();
    rtl::TPin<TSizeSet> pin(set);
    rtl::IInterface* intf = set;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(intf->_Release(), -1);
    EXPECT_FALSE(pin.Freed());
    set->SetInterfaceCounted(true);
    EXPECT_EQ(intf->_AddRef(), 1);
    EXPECT_EQ(intf->_AddRef(), 2);
    EXPECT_EQ(intf->_Release(), 1);
    EXPECT_FALSE(pin.Freed());
    EXPECT_EQ(intf->_Release(), 0);
    EXPECT_TRUE(pin.Freed());
}

TEST(PropertySet, QueryInterfaceAnswersTheBasicInterfaceOnly) {
    TSizeSet* set = rtl::Create<TSizeSet>();
    void* obj = nullptr;
    EXPECT_EQ(set->QueryInterface(rtl::IInterface::IID, &obj), rtl::S_OK);
    EXPECT_EQ(obj, static_cast<rtl::IInterface*>(set));
    EXPECT_EQ(set->QueryInterface(rtl::TGUID{1, 2, 3, {}}, &obj), rtl::E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    rtl::Free(set);
}

TEST(PropertySet, DuplicateMakesTheSameClassWithTheSameValues) {
    TColourSizeSet owner;
    TColourSizeSet* set = rtl::Create<TColourSizeSet>(&owner);
    set->SetSize(7);
    TORVIPropertySet* copy = set->Duplicate();
    EXPECT_NE(dynamic_cast<TColourSizeSet*>(copy), nullptr);
    EXPECT_EQ(copy->Owner(), &owner);
    EXPECT_TRUE(copy->Equals(set));
    TORVIPropertySet* moved = set->Duplicate(nullptr);
    EXPECT_EQ(moved->Owner(), nullptr);
    rtl::Free(moved);
    rtl::Free(copy);
    rtl::Free(set);
}

TEST(PropertySet, EqualsAsksEqualToInBothDirectionsOfAClassRelation) {
    TSizeSet* base = rtl::Create<TSizeSet>();
    TColourSizeSet* derived = rtl::Create<TColourSizeSet>();
    TOtherSet* other = rtl::Create<TOtherSet>();
    EXPECT_TRUE(base->Equals(base));
    EXPECT_FALSE(base->Equals(nullptr));
    EXPECT_TRUE(base->Equals(derived));
    EXPECT_TRUE(derived->Equals(base));
    derived->SetSize(1);
    EXPECT_FALSE(base->Equals(derived));
    // Unrelated classes never reach EqualTo, though TOtherSet's would say yes.
    EXPECT_FALSE(other->Equals(base));
    EXPECT_FALSE(base->Equals(other));
    rtl::Free(other);
    rtl::Free(derived);
    rtl::Free(base);
}

TEST(PropertySet, ASetThatInheritsItsBasesClassReferenceCannotBeMade) {
    // It would duplicate as a TSizeSet and compare as one.
    struct TForgetfulSet : TSizeSet {
        using TSizeSet::TSizeSet;
    };
    EXPECT_THROW(rtl::Create<TForgetfulSet>(), rtl::Exception);
}
