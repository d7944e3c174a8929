#include "utils/framework/ORVI.ReferencedPropertySet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvi;

namespace {

std::vector<std::string> g_log;

class TNameSet : public TORVIReferencedPropertySet {
public:
    using TORVIReferencedPropertySet::TORVIReferencedPropertySet;
    ORVI_REFERENCED_PROPERTY_SET_CLASS(TNameSet)
    void SetName(const std::string& value) {
        _szName = value;
        _Change();
    }
    const std::string& Name() const { return _szName; }
    void Assign(const rtl::TPersistent* source) override {
        if (const auto* other = dynamic_cast<const TNameSet*>(source)) {
            _szName = other->_szName;
            return;
        }
        TORVIReferencedPropertySet::Assign(source);
    }
    bool EqualTo(const TORVIReferencedPropertySet* Other) const override {
        const auto* other = dynamic_cast<const TNameSet*>(Other);
        return other && other->_szName == _szName;
    }

protected:
    void _BeforeChange() override { g_log.push_back("before"); }
    void _DoChange() override { g_log.push_back("do"); }
    void _AfterChange() override { g_log.push_back("after"); }

private:
    std::string _szName;
};

class TLabelledNameSet : public TNameSet {
public:
    using TNameSet::TNameSet;
    ORVI_REFERENCED_PROPERTY_SET_CLASS(TLabelledNameSet)
};

struct TListener : rtl::TObject {
    void Changed(rtl::TObject* Sender) {
        g_log.push_back("heard");
        pSender = Sender;
    }
    rtl::TObject* pSender = nullptr;
};

struct TReferencedPropertySetTest : ::testing::Test {
    TReferencedPropertySetTest() {
        g_log.clear();
        pSet->SetFreeWhenUnreferenced(false);
        pSet->ChangeEvent()->Subscribe(rtl::TNotifyEvent(&listener, &TListener::Changed));
    }
    ~TReferencedPropertySetTest() override { rtl::Free(pSet); }
    TListener listener;
    TNameSet* pSet = rtl::Create<TNameSet>();
};

} // namespace

TEST_F(TReferencedPropertySetTest, AChangeRunsTheHooksThenTellsSubscribersWithTheSetAsSender) {
    pSet->SetName("a");
    EXPECT_EQ(g_log, (std::vector<std::string>{"before", "do", "after", "heard"}));
    EXPECT_EQ(listener.pSender, pSet);
}

TEST_F(TReferencedPropertySetTest, AnUpdateBlocksTheEventAndReportsOnceWhenItEnds) {
    pSet->BeginUpdate();
    pSet->BeginUpdate();
    pSet->SetName("a");
    pSet->SetName("b");
    EXPECT_TRUE(pSet->_GetInUpdate());
    pSet->EndUpdate();
    EXPECT_TRUE(g_log.empty());
    pSet->EndUpdate();
    EXPECT_FALSE(pSet->_GetInUpdate());
    EXPECT_EQ(g_log, (std::vector<std::string>{"before", "do", "after", "heard"}));
}

TEST_F(TReferencedPropertySetTest, DuplicateKeepsTheClassAndTheOwnerUnlessGivenAnother) {
    TNameSet* owner = rtl::Create<TNameSet>();
    TLabelledNameSet* set = rtl::Create<TLabelledNameSet>(owner);
    set->SetName("x");
    TORVIReferencedPropertySet* copy = set->Duplicate();
    EXPECT_NE(dynamic_cast<TLabelledNameSet*>(copy), nullptr);
    EXPECT_EQ(copy->Owner(), owner);
    EXPECT_TRUE(copy->Equals(set));
    TORVIReferencedPropertySet* free = set->Duplicate(nullptr);
    EXPECT_EQ(free->Owner(), nullptr);
    rtl::Free(free);
    rtl::Free(copy);
    rtl::Free(set);
    rtl::Free(owner);
}

TEST_F(TReferencedPropertySetTest, EqualsGoesToEqualToOnlyForItsOwnClassOrDescendants) {
    TLabelledNameSet* derived = rtl::Create<TLabelledNameSet>();
    EXPECT_TRUE(pSet->Equals(pSet));
    EXPECT_FALSE(pSet->Equals(nullptr));
    EXPECT_TRUE(pSet->Equals(derived));  // a TLabelledNameSet is a TNameSet
    EXPECT_FALSE(derived->Equals(pSet)); // a TNameSet is not a TLabelledNameSet
    rtl::Free(derived);
}
