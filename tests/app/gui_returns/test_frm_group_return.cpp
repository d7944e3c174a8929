// The group window: building, one period open at a time, the select timer, the selected period,
// the return name sent, "No VAT Info!", test-mode colours and the saved column widths.
#include "app/gui/frm_group_return.h"

#include "ReturnsTestSupport.h"
#include "app/core/GridColumnSizes.h"
#include "app/gui/GroupReturnTreeModel.h"
#include "app/gui/QtText.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QScreen>
#include <QTreeView>

namespace {

using namespace ven;
using namespace ven::testing;
using Tree = TGroupReturnTreeModel;

const QString kQ2 = QStringLiteral("01/04/2021 - 30/06/2021");
const QString kQ1 = QStringLiteral("01/01/2021 - 31/03/2021");

class GroupWindowTest : public ReturnsTest {
protected:
    void Open(sage::TSageDataset* dataset) {
        form = std::make_unique<TfrmGroupReturn>(dm);
        form->SetDataset(dataset);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        WaitForTimer();
    }
    void WaitForTimer() { QTRY_VERIFY_WITH_TIMEOUT(!form->tmrSelect->isActive(), 2000); }
    QModelIndex Period(int p) { return form->TreeModel()->index(p, 0); }
    QModelIndex Member(int p, int m, int column = Tree::colPeriod) {
        return form->TreeModel()->index(m, column, Period(p));
    }
    void Click(const QModelIndex& index) {
        QRect rect = form->gridReturns->visualRect(index);
        ASSERT_TRUE(rect.isValid()) << "row not visible";
        QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void ClickCheckBox(const QModelIndex& index) {
        // The check indicator sits in the middle of the centred Include cell.
        QRect rect = form->gridReturns->visualRect(index);
        ASSERT_TRUE(rect.isValid()) << "row not visible";
        QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, {}, rect.center());
    }
    bool Expanded(int p) { return form->gridReturns->isExpanded(Period(p)); }

    std::unique_ptr<TfrmGroupReturn> form;
};

TEST_F(GroupWindowTest, CaptionSizeAndHeader) {
    LoadGroup();
    Open(alpha);
    EXPECT_EQ(form->windowTitle(), "Group VAT Return");
    // The design size, where the screen has room for it, and never less than the header's fields and
    // labels need in the window's font.
    EXPECT_EQ(form->size(), QSize(1017, 402)
                                .boundedTo(form->screen()->availableGeometry().size() -
                                           (form->frameGeometry().size() - form->size()))
                                .expandedTo(form->minimumSize()));
    EXPECT_EQ(form->pnlHeader->height(), 74);
    EXPECT_EQ(form->lblCompany->text(), "Return Name");
    EXPECT_EQ(form->lblVATNo->text(), "VAT no");
    EXPECT_EQ(form->txtVatNo->text(), "GB 123 4567 89");
    EXPECT_EQ(form->txtReturnName->text(), "Alpha Ltd");
    EXPECT_TRUE(form->txtReturnName->isReadOnly());
    EXPECT_TRUE(form->txtReturnName->font().bold());
    EXPECT_TRUE(form->txtVatNo->font().bold());
    EXPECT_EQ(form->txtReturnName->palette().color(QPalette::Base), QColor(192, 192, 192));
    EXPECT_EQ(form->btnEditName->toolTip(), "Change VAT Return Name");
    EXPECT_EQ(form->btnSubmitVAT->text(), "&Submit");
    EXPECT_EQ(form->btnCancel->text(), "&Cancel");
    const QFontMetrics fm = form->gridReturns->fontMetrics();
    EXPECT_GE(form->gridReturns->columnWidth(Tree::colPeriod), 184);
    EXPECT_EQ(form->gridReturns->columnWidth(Tree::colInclude), 64);
    EXPECT_GE(form->gridReturns->columnWidth(Tree::colBox9), 80);
    EXPECT_GT(form->gridReturns->columnWidth(Tree::colBox9), fm.horizontalAdvance("£888,888.88"));
}

TEST_F(GroupWindowTest, SubmitStaysDisabledUntilTheTimerSelectsTheFirstPeriod) {
    LoadGroup();
    form = std::make_unique<TfrmGroupReturn>(dm);
    EXPECT_FALSE(form->btnSubmitVAT->isEnabled());
    form->SetDataset(alpha);
    EXPECT_TRUE(form->tmrSelect->isActive());
    EXPECT_TRUE(form->tmrSelect->isSingleShot());
    EXPECT_EQ(form->tmrSelect->interval(), 10);
    EXPECT_FALSE(form->btnSubmitVAT->isEnabled());
    EXPECT_EQ(form->lblSelectedPeriod->text(), "");
    EXPECT_EQ(form->SelectedReturn(), nullptr);
    EXPECT_TRUE(Expanded(0));
    EXPECT_FALSE(Expanded(1));

    WaitForTimer();
    EXPECT_TRUE(form->btnSubmitVAT->isEnabled());
    EXPECT_EQ(form->lblSelectedPeriod->text(), "Selected Period: " + kQ2);
    ASSERT_NE(form->SelectedReturn(), nullptr);
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(0).Combined);
    EXPECT_EQ(Period(0).data(Qt::BackgroundRole).value<QColor>(), QColor(173, 216, 230));
}

TEST_F(GroupWindowTest, ClickingAPeriodOpensItAndClosesTheOther) {
    LoadGroup();
    Open(alpha);
    Click(Period(1));
    EXPECT_TRUE(Expanded(1));
    EXPECT_FALSE(Expanded(0));
    EXPECT_EQ(form->lblSelectedPeriod->text(), "Selected Period: " + kQ1);
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(1).Combined);
    EXPECT_EQ(Period(1).data(Qt::BackgroundRole).value<QColor>(), QColor(173, 216, 230));
    EXPECT_EQ(Period(0).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));

    // Any row of a period opens it: here Alpha's row under the first period.
    Click(Period(0));
    Click(Member(0, 0, Tree::colBox1));
    EXPECT_TRUE(Expanded(0));
    EXPECT_FALSE(Expanded(1));
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(0).Combined);
}

TEST_F(GroupWindowTest, UntickingAMemberResumsAndKeepsTheOpenPeriodSelected) {
    LoadGroup();
    Open(alpha);
    const QString alphaBox1 = Member(0, 0, Tree::colBox1).data().toString();
    ClickCheckBox(Member(0, 1, Tree::colInclude));
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Unchecked);
    EXPECT_EQ(Period(0).sibling(0, Tree::colBox1).data().toString(), alphaBox1);
    EXPECT_EQ(form->SelectedReturn()->GetBox(1), alpha->LatestVatReturn()->GetBox(1));
    WaitForTimer();
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(0).Combined);

    // With the older period open, a tick there leaves that period chosen for submission.
    Click(Period(1));
    form->TreeModel()->setData(Member(1, 0, Tree::colInclude), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(form->tmrSelect->isActive());
    WaitForTimer();
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(1).Combined);
    EXPECT_EQ(form->lblSelectedPeriod->text(), "Selected Period: " + kQ1);
    EXPECT_EQ(form->SelectedReturn()->GetBox(1), rtl::Currency());
}

TEST_F(GroupWindowTest, SpaceTicksAndUnticksTheMemberOfTheCurrentRow) {
    LoadGroup();
    Open(alpha);
    EXPECT_EQ(QApplication::focusWidget(), form->gridReturns) << "the window opens on the tree";
    const QString sum = Period(0).sibling(0, Tree::colBox1).data().toString();
    const QString alphaBox1 = Member(0, 0, Tree::colBox1).data().toString();
    form->gridReturns->setCurrentIndex(Member(0, 1)); // Beta's row, on its name
    QTest::keyClick(form->gridReturns, Qt::Key_Space);
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Unchecked);
    EXPECT_EQ(Period(0).sibling(0, Tree::colBox1).data().toString(), alphaBox1);
    WaitForTimer();
    EXPECT_EQ(form->gridReturns->currentIndex().row(), 1) << "the keys stay on the member";
    QTest::keyClick(form->gridReturns, Qt::Key_Space);
    EXPECT_EQ(Member(0, 1, Tree::colInclude).data(Qt::CheckStateRole), Qt::Checked);
    EXPECT_EQ(Period(0).sibling(0, Tree::colBox1).data().toString(), sum);
    // Space on a period's own row ticks nothing.
    form->gridReturns->setCurrentIndex(Period(0));
    QTest::keyClick(form->gridReturns, Qt::Key_Space);
    EXPECT_EQ(Member(0, 0, Tree::colInclude).data(Qt::CheckStateRole), Qt::Checked);
}

TEST_F(GroupWindowTest, ArrowsOntoAPeriodOpenItAndTabLeavesTheTree) {
    LoadGroup();
    Open(alpha);
    EXPECT_TRUE(form->gridReturns->rootIsDecorated()) << "periods show their node buttons";
    form->gridReturns->setFocus();
    form->gridReturns->setCurrentIndex(Period(0));
    for (int i = 0; i < 3; ++i) { // Alpha, Beta, then the next period's row
        QTest::keyClick(form->gridReturns, Qt::Key_Down);
    }
    EXPECT_TRUE(Expanded(1));
    EXPECT_FALSE(Expanded(0)) << "the previous period's members are not left under the new heading";
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(1).Combined);
    EXPECT_EQ(form->lblSelectedPeriod->text(), "Selected Period: " + kQ1);
    QTest::keyClick(form->gridReturns, Qt::Key_Up);
    EXPECT_TRUE(Expanded(0));
    EXPECT_FALSE(Expanded(1));
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(0).Combined);
    // The node button opens a period the same way.
    form->gridReturns->expand(Period(1));
    EXPECT_FALSE(Expanded(0));
    EXPECT_EQ(form->SelectedReturn(), form->GroupModel().Period(1).Combined);

    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->gridReturns->setFocus();
    const QModelIndex before = form->gridReturns->currentIndex();
    QTest::keyClick(form->gridReturns, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), form->gridReturns);
    EXPECT_EQ(form->gridReturns->currentIndex(), before);
}

TEST_F(GroupWindowTest, LeftOutMembersAreGreyedAndCountedAndPinkRowsExplained) {
    LoadGroup();
    Open(alpha);
    EXPECT_EQ(Period(0).sibling(0, Tree::colInclude).data().toString(), "") << "all included";
    EXPECT_EQ(Period(1).sibling(1, Tree::colInclude).data().toString(), "1 of 2") << "Beta has no Q1 return";
    EXPECT_TRUE(Member(1, 1).data(Qt::ToolTipRole).toString().contains("no VAT return"));
    form->TreeModel()->setData(Member(0, 1, Tree::colInclude), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(Period(0).sibling(0, Tree::colInclude).data().toString(), "1 of 2");
    EXPECT_EQ(Member(0, 1).data(Qt::ForegroundRole).value<QColor>(), Tree::kExcludedTextColour);
    EXPECT_EQ(Member(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    EXPECT_FALSE(Member(0, 1).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_TRUE(form->TreeModel()
                    ->headerData(Tree::colBox9, Qt::Horizontal, Qt::ToolTipRole)
                    .toString()
                    .startsWith("Total value of acquisitions of goods"));
}

TEST_F(GroupWindowTest, EditPutsTheCursorInTheNameBox) {
    LoadGroup();
    Open(alpha);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->gridReturns);
    QTest::keyClick(form->gridReturns, Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(form->btnEditName->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), form->txtReturnName);
}

TEST_F(GroupWindowTest, WindowPlaceIsRemembered) {
    LoadGroup();
    Open(alpha);
    form->setGeometry(60, 70, 700, 380);
    const QRect placed = form->geometry();
    form->reject();
    Open(alpha);
    // Where it was left, but kept on the screen.
    EXPECT_EQ(form->geometry().size(), placed.size());
    EXPECT_EQ(form->geometry().top(), placed.top());
}

TEST_F(GroupWindowTest, UneditedNameSendsTheSelectedDatasetsCompanyName) {
    LoadGroup();
    Open(beta);
    EXPECT_EQ(form->txtReturnName->text(), "Beta Ltd");
    QTest::mouseClick(form->btnSubmitVAT, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    ASSERT_NE(form->SelectedReturn(), nullptr);
    EXPECT_EQ(ToQString(form->SelectedReturn()->CompanyName()), "Beta Ltd");
    EXPECT_EQ(form->SelectedReturn()->GetBox(1), Pounds(150));
    EXPECT_EQ(ToQString(form->SelectedReturn()->Period()), kQ2);
}

TEST_F(GroupWindowTest, EditedNameReachesTheSelectedReturn) {
    LoadGroup();
    Open(alpha);
    QTest::mouseClick(form->btnEditName, Qt::LeftButton);
    ASSERT_TRUE(form->btnEditName->isChecked());
    EXPECT_FALSE(form->txtReturnName->isReadOnly());
    EXPECT_NE(form->txtReturnName->palette().color(QPalette::Base), QColor(192, 192, 192));
    form->txtReturnName->selectAll();
    QTest::keyClicks(form->txtReturnName, "Alpha Group");
    QTest::mouseClick(form->btnEditName, Qt::LeftButton);
    EXPECT_TRUE(form->txtReturnName->isReadOnly());
    EXPECT_EQ(form->txtReturnName->palette().color(QPalette::Base), QColor(192, 192, 192));

    QTest::mouseClick(form->btnSubmitVAT, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(ToQString(form->SelectedReturn()->CompanyName()), "Alpha Group");
    EXPECT_EQ(ToQString(alpha->LatestVatReturn()->CompanyName()), "Alpha Ltd")
        << "the members' own returns are left alone";
}

TEST_F(GroupWindowTest, NoVatInfoWithoutAUrlFormVatNumberOrWithoutReturns) {
    LoadGroup();
    auto noVat = Sample("Nameless Ltd", "");
    noVat.Returns = {MakeQuarter(2021, 4, 100)};
    sage::TSageDataset* withoutVat = Load(noVat);
    sage::TSageDataset* withoutReturns = Load(Sample("Empty Ltd", "GB 123 4567 89"));
    for (sage::TSageDataset* dataset : {withoutVat, withoutReturns}) {
        Open(dataset);
        EXPECT_EQ(form->txtVatNo->text(), "No VAT Info!");
        EXPECT_EQ(form->TreeModel()->rowCount(), 0);
        EXPECT_FALSE(form->tmrSelect->isActive());
        EXPECT_FALSE(form->btnSubmitVAT->isEnabled());
        EXPECT_TRUE(form->btnSubmitVAT->toolTip().contains("no VAT number or no VAT returns"));
        EXPECT_EQ(form->SelectedReturn(), nullptr);
    }
}

TEST_F(GroupWindowTest, TestModeColoursWhenShownInTestMode) {
    LoadGroup();
    form = std::make_unique<TfrmGroupReturn>(dm);
    form->SetTestMode(true);
    form->SetDataset(alpha);
    form->show();
    WaitForTimer();
    for (QFrame* panel : {form->pnlHeader, form->pnlContent, form->pnlFooter}) {
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(160, 32, 32))
            << panel->objectName().toStdString();
    }
    for (QLabel* label : {form->lblCompany, form->lblVATNo, form->lblSelectedPeriod}) {
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white))
            << label->objectName().toStdString();
    }
    EXPECT_NE(form->gridReturns->palette().color(QPalette::Base), QColor(160, 32, 32));
    EXPECT_NE(form->gridReturns->palette().color(QPalette::Window), QColor(160, 32, 32))
        << "the tree keeps its ordinary look";
    QLabel* notice = form->pnlFooter->findChild<QLabel*>("lblTestMode");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains("\"test\" and period 01/04/2018 - 30/06/2018"))
        << notice->text().toStdString();
    form->hide();
    form->SetTestMode(false);
    form->show();
    EXPECT_FALSE(notice->isVisible());
    EXPECT_NE(form->pnlHeader->palette().color(QPalette::Window), QColor(160, 32, 32));
    EXPECT_NE(form->lblSelectedPeriod->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(GroupWindowTest, ColumnWidthsAreSavedAndRestored) {
    LoadGroup();
    Open(alpha);
    // Wider than names and amounts need in the tree's font (the window has fitted them already), so
    // that the widths come back as they were left.
    const int period = form->gridReturns->columnWidth(Tree::colPeriod) + 30;
    const int box8 = form->gridReturns->columnWidth(Tree::colBox9 - 1) + 15;
    form->gridReturns->setColumnWidth(Tree::colPeriod, period);
    form->gridReturns->setColumnWidth((Tree::colBox9 - 1), box8);
    form->resize(form->width() + 300, form->height()); // the last column stretches
    form->reject();
    std::vector<int> saved = LoadColumnWidths(kGroupReturnGridSection, Tree::colCount + 1);
    EXPECT_EQ(saved[0], 24) << "the node column keeps its place in the saved layout";
    EXPECT_EQ(saved[1 + Tree::colPeriod], period);
    EXPECT_EQ(saved[1 + (Tree::colBox9 - 1)], box8);
    EXPECT_EQ(saved[1 + Tree::colBox9], 0) << "the column that fills the window has no width of its own";

    Open(alpha);
    EXPECT_EQ(form->gridReturns->columnWidth(Tree::colPeriod), period);
    EXPECT_EQ(form->gridReturns->columnWidth(Tree::colInclude), 64);
    EXPECT_EQ(form->gridReturns->columnWidth((Tree::colBox9 - 1)), box8);

    // Widths saved too narrow for what the window shows: names and amounts are not cut.
    SaveColumnWidths(kGroupReturnGridSection, std::vector<int>(Tree::colCount + 1, 30));
    Open(alpha);
    for (int c : {int(Tree::colPeriod), int(Tree::colBox1)}) {
        EXPECT_GE(form->gridReturns->columnWidth(c), static_cast<QAbstractItemView*>(form->gridReturns)->sizeHintForColumn(c)) << c;
    }
    const QString amount = Period(0).siblingAtColumn(Tree::colBox1).data().toString();
    EXPECT_TRUE(Period(0).siblingAtColumn(Tree::colBox1).data(Qt::ToolTipRole).toString().startsWith(amount));
}

// A copy of a member's dataset is marked in the tree, and its mark is not cut.
TEST_F(GroupWindowTest, TheLikelyCopyMarkFitsItsColumn) {
    LoadGroup();
    auto copy = Sample(rtl::StringToUtf8(alpha->CompanyName()), rtl::StringToUtf8(alpha->VatNumber()));
    copy.Uuid = rtl::StringToUtf8(alpha->UuidString());
    ASSERT_FALSE(copy.Uuid.empty());
    copy.Returns = {MakeQuarter(2021, 4, 100)};
    Load(copy);
    SaveColumnWidths(kGroupReturnGridSection, std::vector<int>(Tree::colCount + 1, 60));
    Open(alpha);
    const QString marked = Member(0, 2).data().toString();
    ASSERT_TRUE(marked.endsWith("(likely copy)")) << marked.toStdString();
    EXPECT_GT(form->gridReturns->columnWidth(Tree::colPeriod),
              QFontMetrics(form->gridReturns->font()).horizontalAdvance(marked) + form->gridReturns->indentation());
}

TEST_F(GroupWindowTest, CombinedReturnsLiveWithTheWindow) {
    LoadGroup();
    Open(alpha);
    const rtl::TStringList& sections = form->GroupModel().SectionReturns();
    ASSERT_EQ(sections.Count(), 2);
    EXPECT_EQ(ToQString(sections.Strings(0)), kQ2);
    EXPECT_EQ(sections.Objects(0), form->SelectedReturn());
    form.reset();
    // The members' returns belong to their datasets and are still there.
    EXPECT_EQ(ToQString(alpha->LatestVatReturn()->Period()), kQ2);
    EXPECT_EQ(beta->VatReturns().Count(), 1);
}

} // namespace
