// The data module's dataset rows, return rows and VAT-group test.
#include "app/core/VenDataModule.h"

#include "app/core/CoreTestSupport.h"
#include "app/core/VenSystemMode.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <gtest/gtest.h>

namespace {

using rtl::UnicodeString;
using namespace ven::testing;

class DataModuleTest : public ::testing::Test {
protected:
    DataModuleTest() : _mode(u"/nonexistent/a", u"/nonexistent/b", u"/nonexistent/c"), _dm(_mode) {}

    // Writes, loads and lists a dataset; the data module owns it from then on.
    sage::TSageDataset* Add(const std::string& folder, const std::string& company, const std::string& vat,
                            int returns) {
        UnicodeString path = WriteDataset(MakeDataset(_tmp.Path() / folder, company, vat, returns));
        sage::TSageDataset* d = _dm.Factory()->MakeDatasetAndLoad(path);
        EXPECT_NE(d, nullptr);
        _dm.DataSets()->AddObject(path, d);
        return d;
    }

    TTempFolder _tmp;
    ven::TVenSystemMode _mode;
    ven::TdmVenMTD _dm;
};

TEST_F(DataModuleTest, RegisterFillsTheRowFromTheDataset) {
    sage::TSageDataset* d = Add("acme", "Acme Ltd", "GB 123 4567 89", 2);
    _dm.RegisterDataset(d);
    ven::TMemTable& t = _dm.mtDataSets;
    ASSERT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.AsString(0, u"Path"), d->DatasetFolder());
    EXPECT_EQ(t.AsString(0, u"CoName"), u"Acme Ltd");
    EXPECT_EQ(t.AsString(0, u"VATNumber"), u"GB 123 4567 89");
    EXPECT_EQ(t.AsString(0, u"MajorVersion"), u"27");
    EXPECT_EQ(t.AsString(0, u"Version"), u"27.2.0.225");
    EXPECT_EQ(t.AsString(0, u"LatestReturn"), d->LatestVatReturn()->Period());
    EXPECT_EQ(t.AsString(0, u"GroupKey"), d->LatestVatReturn()->Description());
    EXPECT_EQ(t.AsString(0, u"NumReturns"), u"2");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.Value(0, u"InternalVAT")));
}

TEST_F(DataModuleTest, RegisteringTwiceKeepsOneRowButAFolderInOtherCaseIsAnotherDataset) {
    sage::TSageDataset* d = Add("acme", "Acme Ltd", "GB 123 4567 89", 1);
    _dm.RegisterDataset(d);
    _dm.mtDataSets.Edit(0);
    _dm.mtDataSets.SetField(u"CoName", UnicodeString(u"stale"));
    _dm.mtDataSets.Post();
    _dm.RegisterDataset(d);
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 1);
    EXPECT_EQ(_dm.mtDataSets.AsString(0, u"CoName"), u"Acme Ltd");

    // Names are case-sensitive here: ACME beside acme is a second folder, so a second row.
    sage::TSageDataset* e = Add("ACME", "Other Ltd", "GB 999 4567 89", 1);
    _dm.RegisterDataset(e);
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 2);
    EXPECT_EQ(_dm.mtDataSets.AsString(0, u"CoName"), u"Acme Ltd");
    EXPECT_EQ(_dm.mtDataSets.AsString(1, u"CoName"), u"Other Ltd");
}

TEST_F(DataModuleTest, DatasetWithoutReturnsHasNullLatestReturnAndGroupKey) {
    sage::TSageDataset* d = Add("empty", "Empty Ltd", "GB 999 9999 99", 0);
    _dm.RegisterDataset(d);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(_dm.mtDataSets.Value(0, u"LatestReturn")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(_dm.mtDataSets.Value(0, u"GroupKey")));
    EXPECT_EQ(_dm.mtDataSets.AsString(0, u"NumReturns"), u"0");
}

TEST_F(DataModuleTest, GroupNeedsAnotherDatasetWhoseLatestReturnHasTheSameVatNumber) {
    sage::TSageDataset* a = Add("a", "A Ltd", "GB 111 222 333", 2);
    sage::TSageDataset* b = Add("b", "B Ltd", "111222333", 0);
    EXPECT_FALSE(_dm.IsGroupReturn(a)) << "B has no return";
    EXPECT_FALSE(_dm.IsGroupReturn(b));

    sage::TSageDataset* c = Add("c", "C Ltd", "GB111222333", 1);
    sage::TSageDataset* d = Add("d", "D Ltd", "111 222 333", 3);
    EXPECT_TRUE(_dm.IsGroupReturn(a));
    EXPECT_TRUE(_dm.IsGroupReturn(c));
    EXPECT_TRUE(_dm.IsGroupReturn(d));
    EXPECT_FALSE(_dm.IsGroupReturn(b));
    EXPECT_FALSE(_dm.IsGroupReturn(nullptr));

    sage::TSageDataset* other = Add("e", "E Ltd", "GB 999 9999 99", 1);
    EXPECT_FALSE(_dm.IsGroupReturn(other));
}

TEST_F(DataModuleTest, ReturnTableListsNewestFirstAndSelectsTheLatest) {
    sage::TSageDataset* d = Add("acme", "Acme Ltd", "GB 123 4567 89", 3);
    int selected = 0;
    struct TListener : rtl::TObject {
        int* Count;
        void Changed(rtl::TObject*, const ven::TFieldDef* field) {
            EXPECT_EQ(field, nullptr);
            ++*Count;
        }
    } listener;
    listener.Count = &selected;
    _dm.SetOnVATReturnSelected(ven::TDataChangeEvent(&listener, &TListener::Changed));

    _dm.FillVatReturns(d);
    ven::TMemTable& t = _dm.mtVatReturns;
    ASSERT_EQ(t.RecordCount(), 3);
    const rtl::TStringList& returns = d->VatReturns();
    for (int i = 0; i < 3; ++i) {
        auto* r = dynamic_cast<sage::TSageDatasetVatReturn*>(returns.Objects(i));
        EXPECT_EQ(t.AsString(i, u"Period"), r->Period());
        EXPECT_EQ(std::get<rtl::Currency>(t.Value(i, u"Box1")), r->GetBox(1));
        EXPECT_EQ(t.AsString(i, u"DatasetPath"), d->DatasetFolder());
    }
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_GE(selected, 1);

    _dm.FillVatReturns(d); // refilled, not appended
    EXPECT_EQ(t.RecordCount(), 3);
}

} // namespace
