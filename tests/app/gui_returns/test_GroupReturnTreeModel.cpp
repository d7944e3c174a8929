// The group tree's model: its shape under the model tester, the check boxes, colours and fonts, and
// the sums of a period after a member is unticked.
#include "app/gui/GroupReturnTreeModel.h"

#include "ReturnsTestSupport.h"
#include "app/core/GroupReturnModel.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>

namespace {

using namespace ven;
using namespace ven::testing;
using Tree = TGroupReturnTreeModel;

class GroupTreeModelTest : public ReturnsTest {
protected:
    void Build(sage::TSageDataset* selected) {
        ASSERT_TRUE(group.Build(selected, *dm.DataSets()));
        tree.Reset();
    }
    QModelIndex Period(int p, int column = Tree::colPeriod) { return tree.index(p, column); }
    QModelIndex Member(int p, int m, int column = Tree::colPeriod) {
        return tree.index(m, column, Period(p));
    }
    QString Text(const QModelIndex& index) { return index.data().toString(); }
    QColor Background(const QModelIndex& index) { return index.data(Qt::BackgroundRole).value<QColor>(); }
    QFont Font(const QModelIndex& index) { return index.data(Qt::FontRole).value<QFont>(); }

    TGroupReturnModel group;
    Tree tree{group};
};

TEST_F(GroupTreeModelTest, PassesTheModelTesterThroughBuildTicksAndSelection) {
    LoadGroup();
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Build(alpha);
    ASSERT_TRUE(tree.setData(Member(0, 1, Tree::colInclude), Qt::Unchecked, Qt::CheckStateRole));
    tree.SelectPeriod(1);
    group.Build(other, *dm.DataSets());
    tree.Reset();
    EXPECT_EQ(tree.rowCount(), 1);
}

TEST_F(GroupTreeModelTest, PeriodsThenMembersWithTheirTexts) {
    LoadGroup();
    Build(alpha);
    ASSERT_EQ(tree.rowCount(), 2);
    EXPECT_EQ(Text(Period(0)), "01/04/2021 - 30/06/2021") << "the later period comes first";
    EXPECT_EQ(Text(Period(1)), "01/01/2021 - 31/03/2021");
    ASSERT_EQ(tree.rowCount(Period(1)), 2);
    EXPECT_EQ(Text(Member(1, 0)), "Alpha Ltd");
    EXPECT_EQ(Text(Member(1, 1)), "Beta Ltd");
    EXPECT_EQ(Text(Member(1, 1, Tree::colBox1)), "") << "a member without a return shows only its name";
    EXPECT_EQ(Text(Member(0, 1, Tree::colBox1)), "-£50.00");
    EXPECT_EQ(Text(Period(0, Tree::colBox1)), "£150.00") << "£200.00 and -£50.00 combined";
    EXPECT_EQ(tree.headerData(Tree::colPeriod, Qt::Horizontal).toString(), "Period");
    EXPECT_EQ(tree.headerData(Tree::colInclude, Qt::Horizontal).toString(), "Include");
    EXPECT_EQ(tree.headerData(Tree::colBox9, Qt::Horizontal).toString(), "Box 9");
    EXPECT_EQ(tree.columnCount(), 11);
}

TEST_F(GroupTreeModelTest, CheckBoxesOnlyOnMembersWithAReturn) {
    LoadGroup();
    Build(alpha);
    for (int p = 0; p < tree.rowCount(); ++p) {
        EXPECT_FALSE(tree.flags(Period(p, Tree::colInclude)) & Qt::ItemIsUserCheckable);
        EXPECT_FALSE(Period(p, Tree::colInclude).data(Qt::CheckStateRole).isValid());
    }
    EXPECT_TRUE(tree.flags(Member(0, 0, Tree::colInclude)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(tree.flags(Member(0, 1, Tree::colInclude)) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Checked) << "ticked at first";
    EXPECT_FALSE(tree.flags(Member(0, 1, Tree::colPeriod)) & Qt::ItemIsUserCheckable)
        << "only the Include column holds the box";

    QModelIndex missing = Member(1, 1, Tree::colInclude);
    EXPECT_FALSE(tree.flags(missing) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(missing.data(Qt::CheckStateRole).isValid());
    EXPECT_FALSE(tree.setData(missing, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(tree.setData(Period(0, Tree::colInclude), Qt::Unchecked, Qt::CheckStateRole));
}

TEST_F(GroupTreeModelTest, ColoursAndFontsOfHeadersMembersAndMissingMembers) {
    LoadGroup();
    Build(alpha);
    tree.SelectPeriod(0);
    for (int c = 0; c < Tree::colCount; ++c) {
        EXPECT_EQ(Background(Period(0, c)), QColor(173, 216, 230)) << "selected period, column " << c;
        EXPECT_EQ(Background(Period(1, c)), QColor(Qt::white)) << "column " << c;
        EXPECT_EQ(Background(Member(0, 0, c)), QColor(144, 238, 144)) << "column " << c;
        EXPECT_EQ(Background(Member(1, 1, c)), QColor(255, 182, 193)) << "column " << c;
    }
    EXPECT_TRUE(Font(Period(1)).bold());
    EXPECT_FALSE(Font(Period(1)).italic());
    EXPECT_FALSE(Font(Member(0, 0)).bold());
    EXPECT_FALSE(Font(Member(0, 0)).italic());
    EXPECT_TRUE(Font(Member(1, 1)).italic());
    EXPECT_FALSE(Font(Member(1, 1)).bold());

    QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
    tree.SelectPeriod(1);
    EXPECT_EQ(Background(Period(0)), QColor(Qt::white));
    EXPECT_EQ(Background(Period(1)), QColor(173, 216, 230));
    EXPECT_EQ(changed.count(), 2) << "the period losing and the one gaining the colour repaint";
    tree.SelectPeriod(-1);
    EXPECT_EQ(Background(Period(1)), QColor(Qt::white));
}

TEST_F(GroupTreeModelTest, AlignmentsOfPeriodIncludeAndBoxes) {
    LoadGroup();
    Build(alpha);
    auto horizontal = [](const QModelIndex& i) {
        return i.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(horizontal(Member(0, 0, Tree::colPeriod)), Qt::AlignLeft);
    EXPECT_EQ(horizontal(Member(0, 0, Tree::colInclude)), Qt::AlignHCenter);
    EXPECT_EQ(horizontal(Period(0, Tree::colBox1 + 4)), Qt::AlignRight);
}

TEST_F(GroupTreeModelTest, UntickingResumsTheHeaderAndTickingRestoresIt) {
    LoadGroup();
    Build(alpha);
    QSignalSpy included(&tree, &Tree::IncludeChanged);
    QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
    const QString alphaBox1 = Text(Member(0, 0, Tree::colBox1));
    const QString alphaBox5 = Text(Member(0, 0, Tree::colBox1 + 4));

    ASSERT_TRUE(tree.setData(Member(0, 1, Tree::colInclude), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Unchecked);
    EXPECT_EQ(Text(Period(0, Tree::colBox1)), alphaBox1) << "only Alpha is left in the sum";
    EXPECT_EQ(Text(Period(0, Tree::colBox1 + 4)), alphaBox5);
    EXPECT_EQ(Text(Member(0, 1, Tree::colBox1)), "-£50.00") << "an unticked member still shows its boxes";
    ASSERT_EQ(included.count(), 1);
    EXPECT_EQ(included.first().first().toInt(), 0);
    bool headerRepainted = false;
    for (const QList<QVariant>& args : changed) {
        auto from = args[0].value<QModelIndex>();
        headerRepainted |= !from.parent().isValid() && from.row() == 0 && from.column() <= Tree::colBox1;
    }
    EXPECT_TRUE(headerRepainted);

    tree.setData(Member(0, 1, Tree::colInclude), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Text(Period(0, Tree::colBox1)), "£150.00");
    EXPECT_EQ(Text(Period(1, Tree::colBox1)), "£100.00") << "the other period is untouched";
}

TEST_F(GroupTreeModelTest, ReturnOfRowsAndPeriodOfIndexes) {
    LoadGroup();
    Build(alpha);
    EXPECT_EQ(tree.ReturnOf(Period(0)), group.Period(0).Combined);
    EXPECT_EQ(tree.ReturnOf(Member(0, 1)), group.Period(0).Members[1].Return);
    EXPECT_EQ(tree.ReturnOf(Member(1, 1)), nullptr);
    EXPECT_EQ(tree.ReturnOf({}), nullptr);
    EXPECT_EQ(tree.PeriodOf(Member(1, 0, Tree::colBox9)), 1);
    EXPECT_EQ(tree.PeriodOf({}), -1);
    EXPECT_EQ(Tree::MemberOf(Member(1, 1)), 1);
    EXPECT_EQ(Tree::MemberOf(Period(1)), -1);
}

} // namespace

namespace {

// A likely copy is marked and explains itself; a period whose sums overflow shows no wrapped figure.
TEST_F(GroupTreeModelTest, LikelyCopiesAndOverflowingPeriodsSayWhatTheyAre) {
    auto live = Sample("Alpha Ltd", "GB 123 4567 89");
    live.Returns = {MakeQuarter(2021, 4, 90'000'000'000'000'000)};
    sage::TSageDataset* first = Load(live);
    auto copy = Sample("Alpha Ltd", "GB 123 4567 89");
    copy.Returns = live.Returns;
    Load(copy);
    Build(first);
    EXPECT_EQ(Text(Member(0, 1)), "Alpha Ltd (likely copy)");
    EXPECT_NE(
        Member(0, 1).data(Qt::ToolTipRole).toString().indexOf(QString::fromStdString(live.Folder.string())),
        -1);
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Unchecked);
    EXPECT_FALSE(Member(0, 0).data(Qt::ToolTipRole).isValid());

    ASSERT_TRUE(tree.setData(Member(0, 1, Tree::colInclude), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(group.Period(0).Overflow);
    EXPECT_EQ(Text(Period(0, Tree::colBox1)), "Too large");
    EXPECT_TRUE(Period(0).data(Qt::ToolTipRole).isValid());
}

} // namespace
