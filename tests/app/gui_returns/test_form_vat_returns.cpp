// The single-dataset window: layout, the grid's texts, the latest return selected on opening, the
// company name of a selected return, the edit toggle, test-mode colours and the return table's life.
#include "app/gui/form_vat_returns.h"

#include "ReturnsTestSupport.h"
#include "app/core/GridColumnSizes.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/VatReturnGridModel.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>

namespace {

using namespace ven;
using namespace ven::testing;
using Grid = TVatReturnGridModel;

class VatReturnsWindowTest : public ReturnsTest {
protected:
    // Four quarters of 2021, newest first in the dataset; the two older ones carry their own names.
    sage::TSageDataset* LoadFourQuarters() {
        auto sample = Sample("Harbour Ltd", "GB 222 3333 44");
        sample.Returns = {MakeQuarter(2021, 1, 100000), MakeQuarter(2021, 4, 250050),
                          MakeQuarter(2021, 7, -7525), MakeQuarter(2021, 10, 40000)};
        sample.Returns[0].CompanyName = "Harbour Trading (Old Name)";
        sample.Returns[1].CompanyName = "Harbour Trading";
        return Load(sample);
    }
    void Open(sage::TSageDataset* dataset, bool testMode = false) {
        form = std::make_unique<Tform_vat_returns>(dm);
        form->SetTestMode(testMode);
        form->SetDataset(dataset);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    int SelectedRow() {
        QModelIndexList rows = form->gridReturns->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }
    void ClickRow(int row) {
        QRect rect = form->gridReturns->visualRect(form->GridModel()->index(row, 0));
        QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, {}, rect.center());
    }

    std::unique_ptr<Tform_vat_returns> form;
};

TEST_F(VatReturnsWindowTest, CaptionSizeHeaderAndColumns) {
    Open(LoadFourQuarters());
    EXPECT_EQ(form->windowTitle(), "Select VAT Return");
    // The design size, where the screen has room for it.
    EXPECT_EQ(form->size(), QSize(1116, 373).boundedTo(form->screen()->availableGeometry().size() -
                                                        (form->frameGeometry().size() - form->size())));
    EXPECT_EQ(form->pnlHeader->height(), 74);
    EXPECT_EQ(form->lblCompany->text(), "Company Name");
    EXPECT_EQ(form->lblVATNo->text(), "VAT no");
    EXPECT_EQ(form->txtCompany->text(), "Harbour Ltd");
    EXPECT_EQ(form->txtVatNo->text(), "GB 222 3333 44");
    EXPECT_TRUE(form->txtCompany->isReadOnly());
    EXPECT_TRUE(form->txtVatNo->isReadOnly());
    EXPECT_EQ(form->txtVatNo->palette().color(QPalette::Base), QColor(192, 192, 192));
    EXPECT_EQ(form->btnEditName->toolTip(), "Change VAT Return Name");
    EXPECT_EQ(form->btnSubmitVAT->text(), "&Submit");
    EXPECT_EQ(form->btnCancel->text(), "&Cancel");
    EXPECT_EQ(form->gridReturns->selectionBehavior(), QAbstractItemView::SelectRows);
    ASSERT_EQ(form->GridModel()->columnCount(), 10);
    // 184 and 80 pixels, or what the grid's font needs for a period and a six-figure amount.
    const QFontMetrics fm = form->gridReturns->fontMetrics();
    EXPECT_GE(form->gridReturns->columnWidth(Grid::colPeriod), 184);
    EXPECT_GT(form->gridReturns->columnWidth(Grid::colPeriod),
              fm.horizontalAdvance("01/10/2021 - 31/12/2021"));
    int total = 0;
    for (int c = Grid::colPeriod; c <= Grid::colBox9; ++c) {
        total += form->gridReturns->columnWidth(c);
    }
    // On a screen narrower than the window's design size the grid scrolls instead.
    EXPECT_GE(total, form->gridReturns->viewport()->width()) << "the last box column fills the width";
    for (int c = Grid::colBox1; c <= Grid::colBox9; ++c) {
        EXPECT_GE(form->gridReturns->columnWidth(c), 80);
        if (c < Grid::colBox9) {
            EXPECT_EQ(form->gridReturns->columnWidth(c), form->gridReturns->columnWidth(Grid::colBox1));
        }
        EXPECT_GT(form->gridReturns->columnWidth(c), fm.horizontalAdvance("£888,888.88"));
        EXPECT_EQ(form->GridModel()->headerData(c, Qt::Horizontal).toString(), QString("Box %1").arg(c));
        EXPECT_FALSE(form->GridModel()->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());
        auto align = form->GridModel()->index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(align & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }
}

TEST_F(VatReturnsWindowTest, RowsShowTheReturnsNewestFirstInPounds) {
    sage::TSageDataset* dataset = LoadFourQuarters();
    Open(dataset);
    QAbstractItemModelTester tester(form->GridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Grid* grid = form->GridModel();
    ASSERT_EQ(grid->rowCount(), 4);
    for (int r = 0; r < 4; ++r) {
        auto* vatReturn = dynamic_cast<sage::TSageDatasetVatReturn*>(dataset->VatReturns().Objects(r));
        EXPECT_EQ(grid->index(r, Grid::colPeriod).data().toString(), ToQString(vatReturn->Period()));
    }
    EXPECT_EQ(grid->index(0, Grid::colPeriod).data().toString(), "01/10/2021 - 31/12/2021");
    EXPECT_EQ(grid->index(1, Grid::colBox1).data().toString(), "-£75.25");
    EXPECT_EQ(grid->index(2, Grid::colBox1).data().toString(), "£2,500.50");
    EXPECT_EQ(grid->GetDisplText(0, Grid::colBox1 + 3), "Box 4") << "grid row 0 is the header row";
    EXPECT_EQ(grid->GetDisplText(3, Grid::colBox1), "£2,500.50") << "grid row r shows return r - 1";
    EXPECT_EQ(grid->GetDisplText(4, Grid::colPeriod), "01/01/2021 - 31/03/2021");
    EXPECT_EQ(grid->GetDisplText(5, Grid::colPeriod), "Invlaid Cell Index");
    EXPECT_EQ(grid->GetDisplText(5, Grid::colBox9), "Invlaid Cell Index");
    // Refilling for another dataset keeps the model consistent for the tester.
    auto small = Sample("Small Ltd", "GB 333 4444 55");
    small.Returns = {MakeQuarter(2022, 1, 100)};
    form->SetDataset(Load(small));
    EXPECT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->GetDisplText(2, Grid::colPeriod), "Invlaid Cell Index");
}

TEST_F(VatReturnsWindowTest, OpensOnTheLatestReturnKeepingTheDatasetsName) {
    auto sample = Sample("Harbour Ltd", "GB 222 3333 44");
    sample.Returns = {MakeQuarter(2021, 1, 100), MakeQuarter(2021, 4, 200)};
    sample.Returns[1].CompanyName = "Harbour Trading";
    sage::TSageDataset* dataset = Load(sample);
    Open(dataset);
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_EQ(dm.mtVatReturns.RecNo(), 0);
    EXPECT_EQ(form->SelectedReturn(), dataset->LatestVatReturn());
    EXPECT_EQ(form->txtCompany->text(), "Harbour Ltd");
}

TEST_F(VatReturnsWindowTest, SelectingAReturnWithItsOwnNameCopiesTheName) {
    sage::TSageDataset* dataset = LoadFourQuarters();
    Open(dataset);
    ClickRow(3);
    EXPECT_EQ(SelectedRow(), 3);
    EXPECT_EQ(dm.mtVatReturns.RecNo(), 3) << "the table's current row follows the grid";
    EXPECT_EQ(form->txtCompany->text(), "Harbour Trading (Old Name)");
    EXPECT_EQ(form->SelectedReturn(), dataset->VatReturns().Objects(3));
    ClickRow(2);
    EXPECT_EQ(form->txtCompany->text(), "Harbour Trading");
    ClickRow(0);
    EXPECT_EQ(form->txtCompany->text(), "Harbour Ltd") << "the newest return carries the dataset's own name";

    // A return without a name of its own leaves the field as it is.
    dynamic_cast<sage::TSageDatasetVatReturn*>(dataset->VatReturns().Objects(1))->SetCompanyName(u"");
    form->txtCompany->setText("Typed Name");
    ClickRow(1);
    EXPECT_EQ(form->txtCompany->text(), "Typed Name");
}

TEST_F(VatReturnsWindowTest, TheTablesCurrentRowMovesTheSelection) {
    sage::TSageDataset* dataset = LoadFourQuarters();
    Open(dataset);
    dm.mtVatReturns.SetRecNo(2);
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_EQ(form->SelectedReturn(), dataset->VatReturns().Objects(2));
}

TEST_F(VatReturnsWindowTest, EditToggleAndSubmit) {
    Open(LoadFourQuarters());
    QTest::mouseClick(form->btnEditName, Qt::LeftButton);
    EXPECT_FALSE(form->txtCompany->isReadOnly());
    EXPECT_NE(form->txtCompany->palette().color(QPalette::Base), QColor(192, 192, 192));
    form->txtCompany->selectAll();
    QTest::keyClicks(form->txtCompany, "Harbour Holdings");
    QTest::mouseClick(form->btnEditName, Qt::LeftButton);
    EXPECT_TRUE(form->txtCompany->isReadOnly());
    EXPECT_EQ(form->txtCompany->palette().color(QPalette::Base), QColor(192, 192, 192));
    QTest::mouseClick(form->btnSubmitVAT, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->txtCompany->text(), "Harbour Holdings");
}

// Two files of one period with different figures: both rows stay in view, marked, and neither is sent.
TEST_F(VatReturnsWindowTest, FilesOfOnePeriodThatDisagreeAreMarkedAndNotSubmitted) {
    auto sample = Sample("Harbour Ltd", "GB 222 3333 44");
    sample.Returns = {MakeQuarter(2021, 1, 100000), MakeQuarter(2021, 4, 250050)};
    std::filesystem::create_directories(sample.Folder / "VATRTNS" / "2030");
    std::ofstream(sample.Folder / "VATRTNS" / "2030" / sample.Returns[1].FileName())
        << "<VATRETURN><COMPANY>Harbour Ltd</COMPANY><BOX1>1.00</BOX1></VATRETURN>";
    Open(Load(sample));
    ASSERT_EQ(form->GridModel()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QModelIndex period = form->GridModel()->index(row, Grid::colPeriod);
        EXPECT_EQ(form->GridModel()->data(period, Qt::DecorationRole).isNull(), row == 2) << row;
        EXPECT_EQ(form->GridModel()->data(period, Qt::ToolTipRole).toString().contains("different figures"),
                  row < 2)
            << row;
    }
    MessageBox::clearLastText();
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(form->btnSubmitVAT, Qt::LeftButton);
    EXPECT_NE(form->result(), QDialog::Accepted);
    EXPECT_TRUE(MessageBox::lastText().contains("different figures")) << MessageBox::lastText().toStdString();
    MessageBox::setNextAnswer(QMessageBox::NoButton);
    ClickRow(2);
    QTest::mouseClick(form->btnSubmitVAT, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(VatReturnsWindowTest, CancelRejects) {
    Open(LoadFourQuarters());
    QTest::mouseClick(form->btnCancel, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Rejected);
}

TEST_F(VatReturnsWindowTest, TestModeColoursWhenShownInTestMode) {
    Open(LoadFourQuarters(), true);
    for (QFrame* panel : {form->pnlHeader, form->pnlContent, form->pnlFooter}) {
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(160, 32, 32))
            << panel->objectName().toStdString();
    }
    EXPECT_EQ(form->lblCompany->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(form->lblVATNo->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_NE(form->gridReturns->palette().color(QPalette::Base), QColor(160, 32, 32));

    Open(LoadFourQuarters(), false);
    EXPECT_NE(form->pnlHeader->palette().color(QPalette::Window), QColor(160, 32, 32));
    EXPECT_NE(form->lblCompany->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(VatReturnsWindowTest, ColumnWidthsAreSavedAndTheTableClosesWithTheWindow) {
    Open(LoadFourQuarters());
    // Wider than the periods need in the grid's font, so that the width comes back as it was left.
    const int period = static_cast<QAbstractItemView*>(form->gridReturns)->sizeHintForColumn(Grid::colPeriod) + 30;
    form->gridReturns->setColumnWidth(Grid::colPeriod, period);
    form->resize(form->width() + 300, form->height()); // the last column stretches
    form->reject();
    EXPECT_EQ(LoadColumnWidths(kVatReturnGridSection, 10)[0], period);
    EXPECT_EQ(LoadColumnWidths(kVatReturnGridSection, 10)[9], 0)
        << "the column that fills the window has no width of its own";
    EXPECT_TRUE(dm.mtVatReturns.Active());
    form.reset();
    EXPECT_FALSE(dm.mtVatReturns.Active());
    EXPECT_EQ(dm.mtVatReturns.RecordCount(), 0);

    Open(LoadFourQuarters());
    EXPECT_EQ(form->gridReturns->columnWidth(Grid::colPeriod), period);
    EXPECT_EQ(form->GridModel()->rowCount(), 4);
}

// Widths saved too narrow for the amounts are widened; a double-click on a return submits it.
TEST_F(VatReturnsWindowTest, AmountsAreNeverCutAndADoubleClickSubmits) {
    SaveColumnWidths(kVatReturnGridSection, std::vector<int>(10, 30));
    Open(LoadFourQuarters());
    for (int c = 0; c + 1 < form->GridModel()->columnCount(); ++c) {
        EXPECT_GE(form->gridReturns->columnWidth(c), static_cast<QAbstractItemView*>(form->gridReturns)->sizeHintForColumn(c)) << c;
    }
    const QRect second = form->gridReturns->visualRect(form->GridModel()->index(1, Grid::colBox1));
    QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(form->gridReturns->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->SelectedReturn(), form->GridModel()->ReturnAt(1));
}

TEST_F(VatReturnsWindowTest, FocusStartsOnTheReturnsAndEditMovesItToTheName) {
    Open(LoadFourQuarters());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->gridReturns);
    QTest::keyClick(form->gridReturns, Qt::Key_End);
    EXPECT_EQ(SelectedRow(), 3);
    QTest::keyClick(form->gridReturns, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), form->gridReturns);
    EXPECT_EQ(SelectedRow(), 3);
    form->btnEditName->click();
    EXPECT_EQ(QApplication::focusWidget(), form->txtCompany);
}

TEST_F(VatReturnsWindowTest, OneRowStaysSelected) {
    Open(LoadFourQuarters());
    QRect cell = form->gridReturns->visualRect(form->GridModel()->index(0, 0));
    QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    EXPECT_EQ(SelectedRow(), 0);
    QTest::mouseClick(form->gridReturns->viewport(), Qt::LeftButton, {},
                      QPoint(cell.center().x(), form->gridReturns->viewport()->height() - 3));
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_NE(form->SelectedReturn(), nullptr);
}

TEST_F(VatReturnsWindowTest, TestModeSaysWhatThePortalGets) {
    Open(LoadFourQuarters(), true);
    QLabel* notice = form->pnlFooter->findChild<QLabel*>("lblTestMode");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains("01/04/2018 - 30/06/2018"));
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), QColor(Qt::white));
    Open(LoadFourQuarters(), false);
    EXPECT_FALSE(form->pnlFooter->findChild<QLabel*>("lblTestMode")->isVisible());
}

TEST_F(VatReturnsWindowTest, WindowPlaceIsRemembered) {
    Open(LoadFourQuarters());
    form->setGeometry(40, 50, 700, 340);
    const QRect placed = form->geometry();
    form->reject();
    Open(LoadFourQuarters());
    EXPECT_EQ(form->geometry(), placed);
}

} // namespace
