// The VAT-group model: periods gathered across datasets, their order, and the combined sums.
#include "app/core/GroupReturnModel.h"

#include "app/core/CoreTestSupport.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using rtl::Currency;
using rtl::UnicodeString;
using namespace ven::testing;

class GroupModelTest : public ::testing::Test {
protected:
    GroupModelTest() : _datasets(true) {}

    // Return files always carry the company name (an empty COMPANY makes a file unreadable).
    sage::TSageDataset* Add(venturo::sample::TSampleDataset sample) {
        for (auto& r : sample.Returns) {
            r.CompanyName = sample.CompanyName;
        }
        UnicodeString folder = WriteDataset(sample);
        sage::TSageDataset* d = _factory.MakeDatasetAndLoad(folder);
        EXPECT_NE(d, nullptr);
        _datasets.AddObject(folder, d);
        return d;
    }

    // A: Q1 and Q2 of 2021; B: Q2 only (box 1 of B's Q2 negative); C: another VAT number.
    void AddGroup() {
        auto a = MakeDataset(_tmp.Path() / "a", "Alpha Ltd", "GB 123 4567 89", 0);
        a.Returns = {MakeQuarter(2021, 1, 10000), MakeQuarter(2021, 4, 20000)};
        auto b = MakeDataset(_tmp.Path() / "b", "Beta Ltd", "123456789", 0);
        b.Returns = {MakeQuarter(2021, 4, -5000)};
        b.Returns[0].BoxesPence[5] = 70000;
        auto c = MakeDataset(_tmp.Path() / "c", "Other Ltd", "GB 999 9999 99", 2);
        _a = Add(a);
        _b = Add(b);
        Add(c);
    }

    static Currency Pence(std::int64_t p) { return Currency::FromRaw(p * 100); }

    // Writes the dataset, then a second file of its first return's period: the first file's bytes
    // with `from` replaced by `to` (the same bytes when both are empty).
    sage::TSageDataset* AddWithSecondFile(venturo::sample::TSampleDataset sample, const std::string& from = {},
                                          const std::string& to = {}) {
        for (auto& r : sample.Returns) {
            r.CompanyName = sample.CompanyName;
        }
        const UnicodeString folder = WriteDataset(sample);
        const auto& r = sample.Returns[0];
        const std::filesystem::path year = sample.Folder / "VATRTNS" / std::to_string(r.YearFolder());
        std::ifstream in(year / r.FileName(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!from.empty()) {
            bytes.replace(bytes.find(from), from.size(), to);
        }
        std::filesystem::create_directories(sample.Folder / "VATRTNS" / "2030");
        std::ofstream(sample.Folder / "VATRTNS" / "2030" / r.FileName(), std::ios::binary) << bytes;
        sage::TSageDataset* d = _factory.MakeDatasetAndLoad(folder);
        EXPECT_NE(d, nullptr);
        _datasets.AddObject(folder, d);
        return d;
    }

    TTempFolder _tmp;
    sage::TSageDatasetFactory _factory;
    rtl::TStringList _datasets;
    sage::TSageDataset* _a = nullptr;
    sage::TSageDataset* _b = nullptr;
    ven::TGroupReturnModel _model;
};

TEST_F(GroupModelTest, PeriodsNewestFirstWithEveryMemberListed) {
    AddGroup();
    ASSERT_TRUE(_model.Build(_a, _datasets));
    EXPECT_EQ(_model.VatNumberText(), u"GB 123 4567 89");
    EXPECT_EQ(_model.ReturnName(), u"Alpha Ltd");
    ASSERT_EQ(_model.PeriodCount(), 2);

    const ven::TGroupPeriod& q2 = _model.Period(0);
    EXPECT_EQ(q2.Period, u"01/04/2021 - 30/06/2021");
    ASSERT_EQ(q2.Members.size(), 2u);
    EXPECT_EQ(q2.Members[0].CompanyName, u"Alpha Ltd");
    EXPECT_NE(q2.Members[0].Return, nullptr);
    EXPECT_EQ(q2.Members[1].CompanyName, u"Beta Ltd");
    EXPECT_NE(q2.Members[1].Return, nullptr);

    const ven::TGroupPeriod& q1 = _model.Period(1);
    EXPECT_EQ(q1.Period, u"01/01/2021 - 31/03/2021");
    ASSERT_EQ(q1.Members.size(), 2u);
    EXPECT_EQ(q1.Members[1].CompanyName, u"Beta Ltd");
    EXPECT_EQ(q1.Members[1].Return, nullptr) << "B has no Q1 return: shown without a check box";
}

TEST_F(GroupModelTest, CombinedReturnSumsTickedMembersExactly) {
    AddGroup();
    _model.Build(_a, _datasets);
    sage::TSageDatasetVatReturn* q2 = _model.Period(0).Combined;
    EXPECT_EQ(q2->GetBox(1), Pence(20000 - 5000)) << "a negative box reduces the sum";
    EXPECT_EQ(q2->GetBox(6), Pence(70000));
    EXPECT_EQ(q2->VatNumber(), u"123456789");
    EXPECT_EQ(q2->DateFrom(), _a->LatestVatReturn()->DateFrom());
    EXPECT_EQ(q2->Period(), u"01/04/2021 - 30/06/2021");

    _model.SetIncluded(0, 1, false);
    for (int box = 1; box <= 9; ++box) {
        EXPECT_EQ(q2->GetBox(box), _a->LatestVatReturn()->GetBox(box)) << box;
    }
    EXPECT_EQ(q2->DateTo(), _a->LatestVatReturn()->DateTo()) << "dates stay";
    _model.SetIncluded(0, 1, true);
    EXPECT_EQ(q2->GetBox(1), Pence(15000));

    _model.SetIncluded(1, 1, false); // a member without a return cannot be unticked
    EXPECT_TRUE(_model.Period(1).Members[1].Included);
}

TEST_F(GroupModelTest, SelectionAndOwnershipOfCombinedReturns) {
    AddGroup();
    _model.Build(_a, _datasets);
    EXPECT_EQ(_model.SelectedReturn(), nullptr);
    _model.Select(1);
    EXPECT_EQ(_model.SelectedReturn(), _model.Period(1).Combined);
    _model.Select(7);
    EXPECT_EQ(_model.SelectedReturn(), nullptr);
    ASSERT_EQ(_model.SectionReturns().Count(), 2);
    EXPECT_EQ(_model.SectionReturns().Strings(0), _model.Period(0).Period);
    EXPECT_TRUE(_model.SectionReturns().OwnsObjects());

    // Rebuilding frees the old combined returns but never the members' own.
    _model.Build(_b, _datasets);
    EXPECT_EQ(_model.SectionReturns().Count(), 2);
    EXPECT_EQ(_b->LatestVatReturn()->GetBox(1), Pence(-5000));
}

TEST_F(GroupModelTest, NoVatInfoWithoutUrlVatNumberOrReturns) {
    auto none = MakeDataset(_tmp.Path() / "n", "No Number", "not registered", 1);
    auto empty = MakeDataset(_tmp.Path() / "e", "No Returns", "GB 123 4567 89", 0);
    sage::TSageDataset* n = Add(none);
    sage::TSageDataset* e = Add(empty);
    EXPECT_FALSE(_model.Build(n, _datasets));
    EXPECT_EQ(_model.VatNumberText(), u"No VAT Info!");
    EXPECT_EQ(_model.PeriodCount(), 0);
    EXPECT_FALSE(_model.Build(e, _datasets));
    EXPECT_EQ(_model.VatNumberText(), u"No VAT Info!");
}

TEST_F(GroupModelTest, MemberSeenFirstWithoutAPeriodIsListedBeforeLaterOnes) {
    // B (listed first) has only Q2; A then adds Q1: B appears in Q1 as a member without a return,
    // ahead of A, keeping DataSets order.
    auto b = MakeDataset(_tmp.Path() / "b", "Beta Ltd", "123456789", 0);
    b.Returns = {MakeQuarter(2021, 4, 100)};
    auto a = MakeDataset(_tmp.Path() / "a", "Alpha Ltd", "GB 123 4567 89", 0);
    a.Returns = {MakeQuarter(2021, 1, 100), MakeQuarter(2021, 4, 100)};
    sage::TSageDataset* bd = Add(b);
    Add(a);
    ASSERT_TRUE(_model.Build(bd, _datasets));
    int q1 = _model.IndexOfPeriod(u"01/01/2021 - 31/03/2021");
    ASSERT_GE(q1, 0);
    ASSERT_EQ(_model.Period(q1).Members.size(), 2u);
    EXPECT_EQ(_model.Period(q1).Members[0].CompanyName, u"Beta Ltd");
    EXPECT_EQ(_model.Period(q1).Members[0].Return, nullptr);
    EXPECT_EQ(_model.Period(q1).Members[1].CompanyName, u"Alpha Ltd");
}

} // namespace

// A restored backup or a test copy beside the live data shares the live dataset's UUID and company
// name; added in, it would double every box. A subsidiary set up from a copy keeps the UUID under
// its own name and is a real member.
TEST_F(GroupModelTest, LikelyCopiesStartUntickedAndNameTheFolderTheyCopy) {
    auto live = MakeDataset(_tmp.Path() / "live", "Alpha Ltd", "GB 123 4567 89", 1);
    auto copy = MakeDataset(_tmp.Path() / "copy", "ALPHA LTD", "GB 123 4567 89", 1);
    auto subsidiary = MakeDataset(_tmp.Path() / "sub", "Alpha Trading Ltd", "GB 123 4567 89", 1);
    auto other = MakeDataset(_tmp.Path() / "other", "Alpha Ltd", "GB 123 4567 89", 1);
    other.Uuid = "ffffffff-1111-2222-3333-c1f04b8a2d37";
    sage::TSageDataset* a = Add(live);
    Add(copy);
    Add(subsidiary);
    Add(other);
    ASSERT_TRUE(_model.Build(a, _datasets));
    ASSERT_EQ(_model.PeriodCount(), 1);
    const ven::TGroupPeriod& period = _model.Period(0);
    ASSERT_EQ(period.Members.size(), 4u);
    EXPECT_TRUE(period.Members[0].Included);
    EXPECT_TRUE(period.Members[0].LikelyCopyOf.empty());
    EXPECT_FALSE(period.Members[1].Included) << "same UUID and name, letter case aside";
    EXPECT_EQ(period.Members[1].LikelyCopyOf, ToText(_tmp.Path() / "live"));
    EXPECT_TRUE(period.Members[2].Included) << "same UUID, another company";
    EXPECT_TRUE(period.Members[3].Included) << "same name, another UUID";
    EXPECT_EQ(period.Combined->GetBox(1), Pence(3 * 10000));

    _model.SetIncluded(0, 1, true);
    EXPECT_EQ(period.Combined->GetBox(1), Pence(4 * 10000)) << "the user may still add the copy in";
}

TEST_F(GroupModelTest, ASumThatWouldOverflowIsAnErrorAndCannotBeSent) {
    auto a = MakeDataset(_tmp.Path() / "a", "Alpha Ltd", "GB 123 4567 89", 0);
    a.Returns = {MakeQuarter(2021, 4, 90'000'000'000'000'000)};
    auto b = MakeDataset(_tmp.Path() / "b", "Beta Ltd", "GB 123 4567 89", 0);
    b.Returns = {MakeQuarter(2021, 4, 90'000'000'000'000'000)};
    sage::TSageDataset* first = Add(a);
    Add(b);
    ASSERT_TRUE(_model.Build(first, _datasets));
    EXPECT_TRUE(_model.Period(0).Overflow);
    EXPECT_EQ(_model.Period(0).Combined->GetBox(1), Currency()) << "no wrapped figure is kept";
    _model.Select(0);
    EXPECT_EQ(_model.SelectedReturn(), nullptr);

    _model.SetIncluded(0, 1, false);
    EXPECT_FALSE(_model.Period(0).Overflow);
    ASSERT_NE(_model.SelectedReturn(), nullptr);
    EXPECT_EQ(_model.SelectedReturn()->GetBox(1), Pence(90'000'000'000'000'000));
}

// A dataset holding one period in two files must not add its figures twice: a copy counts once, and
// files that disagree keep the dataset out of the sum and the period from being sent.
TEST_F(GroupModelTest, ADatasetAddsAtMostOneReturnToAPeriod) {
    auto a = MakeDataset(_tmp.Path() / "a", "Alpha Ltd", "GB 123 4567 89", 0);
    a.Returns = {MakeQuarter(2021, 4, 20000)};
    auto b = MakeDataset(_tmp.Path() / "b", "Beta Ltd", "GB 123 4567 89", 0);
    b.Returns = {MakeQuarter(2021, 4, 5000)};
    sage::TSageDataset* first = AddWithSecondFile(a);
    ASSERT_TRUE(_model.Build(first, _datasets));
    ASSERT_EQ(_model.PeriodCount(), 1);
    ASSERT_EQ(_model.Period(0).Members.size(), 1u);
    EXPECT_EQ(_model.Period(0).Combined->GetBox(1), Pence(20000)) << "the copy counts once";

    AddWithSecondFile(b, "<BOX1>", "<BOX1>1");
    ASSERT_TRUE(_model.Build(first, _datasets));
    const ven::TGroupPeriod& period = _model.Period(0);
    ASSERT_EQ(period.Members.size(), 2u) << "one member per dataset";
    EXPECT_FALSE(period.Members[1].Included);
    EXPECT_NE(period.Members[1].ConflictingFile, u"");
    EXPECT_TRUE(period.HasConflict());
    EXPECT_EQ(period.Combined->GetBox(1), Pence(20000)) << "neither of B's files is added";
    _model.SetIncluded(0, 1, true);
    EXPECT_FALSE(period.Members[1].Included) << "cannot be ticked";
    _model.Select(0);
    EXPECT_EQ(_model.SelectedReturn(), nullptr) << "the period cannot be sent";
}
