// The main window: layout and captions, the Live/Test switch, the submit button's state, Browse
// through the file dialog hook, the submit dispatch through the hand-off hook, column widths and
// the first show.
#include "app/gui/form_main.h"

#include "BuildConfig.h"
#include "app/core/DatasetBrowse.h"
#include "app/core/GridColumnSizes.h"
#include "app/gui/DesktopForTests.h"
#include "app/gui/FileDialog.h"
#include "app/gui/GuiTestSupport.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/SliderSwitch.h"
#include "app/gui/form_about.h"
#include "app/gui/form_hand_off_failure.h"
#include "app/gui/form_vat_returns.h"
#include "app/gui/frm_group_return.h"
#include "app/update/UpdateCheck.h"
#include "rtl/Currency.h"
#include "rtl/Registry.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace {

using namespace ven;
using namespace ven::testing;

const QColor kTestRed(160, 32, 32);

struct THandOff {
    QString Url;
    TPortalTarget Target;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiApp();
        MessageBox::clearLastText();
        FileDialog::instance()->clearNextFileName();
        form = std::make_unique<Tform_main>(*mode);
        form->SetDataModule(&dm);
        form->SetHandOffHook([this](const sage::TSageDatasetVatReturn& r, const TPortalTarget& target) {
            handOffs.push_back({ToQString(BuildPortalUrl(r, target)), target});
        });
    }
    void TearDown() override {
        form.reset();
        MessageBox::setNextAnswer(QMessageBox::NoButton);
    }

    // Browse as the user would: the dialog answers fileName, a message box answers OK.
    void Browse(const QString& fileName) {
        FileDialog::instance()->setNextFileName(fileName);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(form->btnBrowse, Qt::LeftButton);
        MessageBox::setNextAnswer(QMessageBox::NoButton);
    }
    void LoadAll() { ASSERT_GT(AddDatasetsFromFile(dm, FromQString(data.CompanyFile())).Added, 0); }
    void SelectRow(int row) {
        form->gridDatasets->selectRow(row);
        ASSERT_EQ(form->gridDatasets->currentIndex().row(), row);
    }

    TRegistryScope registry;
    std::unique_ptr<TVenSystemMode> mode = DesktopMode();
    TdmVenMTD dm{*mode};
    TDatasetFolder data;
    std::unique_ptr<Tform_main> form;
    std::vector<THandOff> handOffs;
};

TEST_F(MainWindowTest, LayoutCaptionsAndColumns) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->windowTitle(), "Venturo MTD - Sage Accounts & Sage Instant Edition");
    // The design size, where the screen has room for it.
    const QSize frame = form->frameGeometry().size() - form->size();
    EXPECT_EQ(form->size(), QSize(890, 559).boundedTo(form->screen()->availableGeometry().size() - frame));
    EXPECT_EQ(form->pnlHeader->height(), 41);
    EXPECT_EQ(form->pnlFooter->height(), 42);
    EXPECT_EQ(form->lblSubmissionMode->text(), "Submission &Mode");
    EXPECT_TRUE(form->cbSubmissionMode->On());
    EXPECT_EQ(form->cbSubmissionMode->StateCaption(), "Live");
    EXPECT_EQ(form->btnBrowse->text(), "&Browse");
    EXPECT_EQ(form->btnSubmit->text(), "Live &Submission of VAT to HMRC");
    EXPECT_GE(form->btnSubmit->width(), 200);
    EXPECT_GE(form->btnSubmit->width(), form->btnSubmit->sizeHint().width())
        << "the caption keeps its padding";
    EXPECT_EQ(form->btnClose->text(), "&Close");
    EXPECT_GT(form->btnClose->x(), form->btnSubmit->x() + form->btnSubmit->width());

    QAbstractItemModel* model = form->gridDatasets->model();
    ASSERT_EQ(model->columnCount(), 6);
    const char* headers[] = {"Company Name",      "VAT Number", "Latest Return",
                             "Number of Returns", "Version",    "Dataset Path"};
    const int widths[] = {200, 85, 140, 120, 64};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
    }
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(form->gridDatasets->columnWidth(c), widths[c]) << c;
    }
    EXPECT_TRUE(form->gridDatasets->horizontalHeader()->stretchLastSection());
    EXPECT_EQ(form->gridDatasets->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(form->gridDatasets->editTriggers(), QAbstractItemView::NoEditTriggers);
}

// Pixels of a widget as drawn within its window, lighter than light grey.
int LightPixels(QWidget& widget) {
    QImage image = widget.window()->grab().toImage();
    QRect area(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
    int light = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            light += image.pixelColor(x, y).lightness() > 220 ? 1 : 0;
        }
    }
    return light;
}

TEST_F(MainWindowTest, SwitchRecoloursPanelsAndRenamesSubmitAtOnce) {
    QColor liveWindow = form->pnlHeader->palette().color(QPalette::Window);
    QColor liveText = form->lblSubmissionMode->palette().color(QPalette::WindowText);
    ASSERT_NE(liveWindow, kTestRed);

    QTest::mouseClick(form->cbSubmissionMode, Qt::LeftButton);
    EXPECT_TRUE(form->TestMode());
    EXPECT_EQ(form->cbSubmissionMode->StateCaption(), "Test");
    for (QFrame* panel : {form->pnlHeader, form->pnlContent, form->pnlFooter}) {
        EXPECT_EQ(panel->palette().color(QPalette::Window), kTestRed) << panel->objectName().toStdString();
        EXPECT_TRUE(panel->autoFillBackground());
    }
    EXPECT_EQ(form->lblSubmissionMode->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_GT(LightPixels(*form->lblSubmissionMode), 20) << "the label is drawn white, not only set so";
    EXPECT_EQ(form->btnSubmit->text(), "Test &Submission of VAT to HMRC");

    QTest::mouseClick(form->cbSubmissionMode, Qt::LeftButton);
    EXPECT_FALSE(form->TestMode());
    for (QFrame* panel : {form->pnlHeader, form->pnlContent, form->pnlFooter}) {
        EXPECT_EQ(panel->palette().color(QPalette::Window), liveWindow);
    }
    EXPECT_EQ(form->lblSubmissionMode->palette().color(QPalette::WindowText), liveText);
    EXPECT_EQ(form->btnSubmit->text(), "Live &Submission of VAT to HMRC");
}

TEST_F(MainWindowTest, SubmitFollowsTheSelectedDatasetsReturns) {
    form->SelectFirstDataset();
    EXPECT_EQ(form->Dataset(), nullptr);
    EXPECT_FALSE(form->btnSubmit->isEnabled());

    data.Add("No Returns Ltd", "GB 111 2222 33", 0);
    data.Add("One Return Ltd", "GB 444 5555 66", 1);
    LoadAll();
    SelectRow(0);
    EXPECT_FALSE(form->btnSubmit->isEnabled());
    SelectRow(1);
    ASSERT_NE(form->Dataset(), nullptr);
    EXPECT_EQ(ToQ(form->Dataset()->CompanyName()), "One Return Ltd");
    EXPECT_TRUE(form->btnSubmit->isEnabled());
    // Switching modes keeps the button's state.
    QTest::mouseClick(form->cbSubmissionMode, Qt::LeftButton);
    EXPECT_TRUE(form->btnSubmit->isEnabled());
}

TEST_F(MainWindowTest, OneReturnDatasetHandsOffWithoutAWindow) {
    data.Add("Smith & Jones Ltd", "GB 444 5555 66", 1);
    LoadAll();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    int windowsBefore = QApplication::topLevelWidgets().size();
    QTest::mouseClick(form->btnSubmit, Qt::LeftButton);

    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
    EXPECT_FALSE(handOffs[0].Target.TestMode);
    EXPECT_FALSE(handOffs[0].Target.PlatformMode);
    QUrlQuery query(QUrl(handOffs[0].Url).query());
    EXPECT_EQ(query.queryItemValue("company", QUrl::FullyDecoded).replace('+', ' '), "Smith & Jones Ltd");
    EXPECT_EQ(query.queryItemValue("vatno"), "444555566");
    EXPECT_EQ(query.queryItemValue("period_s"), "01/01/2020");
}

TEST_F(MainWindowTest, AHandOffThatCannotStartSaysWhy) {
    data.Add("Smith & Jones Ltd", "GB 444 5555 66", 1);
    LoadAll();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->SetHandOffHook(nullptr); // the real hand-off, with no browser to be found
    QString message;
    {
        const TBrokenUrlOpener opener(TBrokenUrlOpener::TKind::Missing, data.Folder().Path());
        AnswerModal<TfrmHandOffFailure>([&](TfrmHandOffFailure& w) {
            message = w.lblMessage->text();
            w.accept();
        });
        QTest::mouseClick(form->btnSubmit, Qt::LeftButton);
        EXPECT_TRUE(message.contains(opener.Reason())) << message.toStdString();
    }
    EXPECT_TRUE(message.startsWith("The browser could not be started"));
}

TEST_F(MainWindowTest, TestModeHandsOffToTheTestSite) {
    data.Add("Test Ltd", "GB 444 5555 66", 1);
    LoadAll();
    form->SelectFirstDataset();
    form->cbSubmissionMode->SetOn(false);
    QTest::mouseClick(form->btnSubmit, Qt::LeftButton);
    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_TRUE(handOffs[0].Target.TestMode);
    QUrlQuery query(QUrl(handOffs[0].Url).query());
    EXPECT_EQ(query.queryItemValue("vatno"), "test");
    EXPECT_EQ(QUrl(handOffs[0].Url).host(), ToQ(handOffs[0].Target.TestHost));
}

QString QueryValue(const QString& url, const QString& key) {
    return QUrlQuery(QUrl(url).query()).queryItemValue(key, QUrl::FullyDecoded).replace('+', ' ');
}

TEST_F(MainWindowTest, SeveralReturnsArePickedInTheReturnsWindowWithTheEditedName) {
    data.Add("Many Returns Ltd", "GB 444 5555 66", 3);
    LoadAll();
    form->SelectFirstDataset();
    AnswerModal<Tform_vat_returns>([](Tform_vat_returns& w) {
        w.btnEditName->click();
        w.txtCompany->setText(QStringLiteral("Renamed & Co"));
        w.btnSubmitVAT->click();
    });
    QTest::mouseClick(form->btnSubmit, Qt::LeftButton);
    ASSERT_EQ(handOffs.size(), 1u);
    // The newest of the three quarters is selected when the window opens.
    EXPECT_EQ(QueryValue(handOffs[0].Url, "period_s"), "01/07/2020");
    EXPECT_EQ(QueryValue(handOffs[0].Url, "company"), "Renamed & Co");

    AnswerModal<Tform_vat_returns>([](Tform_vat_returns& w) { w.reject(); });
    QTest::mouseClick(form->btnSubmit, Qt::LeftButton);
    EXPECT_EQ(handOffs.size(), 1u) << "cancel hands nothing off";
}

TEST_F(MainWindowTest, VatGroupSendsTheCombinedReturnUnderTheSelectedDatasetsName) {
    data.Add("Group Alpha Ltd", "GB 444 5555 66", 2);
    data.Add("Group Beta Ltd", "444555566", 2);
    LoadAll();
    form->SelectFirstDataset();
    ASSERT_TRUE(dm.IsGroupReturn(form->Dataset()));
    rtl::Currency sum;
    for (int i = 0; i < dm.DataSets()->Count(); ++i) {
        sum += dynamic_cast<sage::TSageDataset*>(dm.DataSets()->Objects(i))->LatestVatReturn()->GetBox(1);
    }
    AnswerModal<TfrmGroupReturn>([](TfrmGroupReturn& w) {
        QTest::qWait(50); // the select timer picks the newest period
        w.btnSubmitVAT->click();
    });
    QTest::mouseClick(form->btnSubmit, Qt::LeftButton);
    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_EQ(QueryValue(handOffs[0].Url, "company"), "Group Alpha Ltd");
    EXPECT_EQ(QueryValue(handOffs[0].Url, "vatDueSales"), ToQ(rtl::CurrToStrF2(sum)));
}

TEST_F(MainWindowTest, BrowseAddsDatasetsAndSelectsTheFirst) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 2);
    data.Add("Beta Ltd", "GB 444 5555 66", 1);
    QAbstractItemModelTester tester(form->gridDatasets->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Browse(data.CompanyFile());
    EXPECT_EQ(MessageBox::lastText(), "");
    ASSERT_EQ(form->gridDatasets->model()->rowCount(), 2);
    EXPECT_EQ(form->gridDatasets->currentIndex().row(), 0);
    QAbstractItemModel* model = form->gridDatasets->model();
    EXPECT_EQ(model->index(0, 0).data().toString(), "Alpha Ltd");
    EXPECT_EQ(model->index(0, 3).data().toString(), "2");
    EXPECT_EQ(model->index(0, 3).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(model->index(0, 2).data().toString(), "01/04/2020 - 30/06/2020");
    EXPECT_TRUE(form->btnSubmit->isEnabled());
}

TEST_F(MainWindowTest, BrowseTellsWhenNothingNewIsFound) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 2);
    Browse(data.CompanyFile());
    ASSERT_EQ(form->gridDatasets->model()->rowCount(), 1);

    Browse(data.SetupFile(0));
    EXPECT_EQ(MessageBox::lastText(), "No new unique dataset was found");
    Browse(data.CompanyFile());
    EXPECT_EQ(MessageBox::lastText(), "No new unique datasets were found");
    EXPECT_EQ(form->gridDatasets->model()->rowCount(), 1);
    EXPECT_TRUE(form->gridDatasets->updatesEnabled());
}

TEST_F(MainWindowTest, BrowseOfAnUnreadableFileNamesItAndReleasesTheGrid) {
    QString missing = ToQ(data.Folder().Text(u"nowhere/COMPANY"));
    Browse(missing);
    EXPECT_TRUE(MessageBox::lastText().contains(missing)) << MessageBox::lastText().toStdString();
    EXPECT_EQ(form->gridDatasets->model()->rowCount(), 0);
    EXPECT_TRUE(form->gridDatasets->updatesEnabled());
}

TEST_F(MainWindowTest, CancelledBrowseChangesNothing) {
    Browse(QString());
    EXPECT_EQ(MessageBox::lastText(), "");
    EXPECT_EQ(form->gridDatasets->model()->rowCount(), 0);
}

TEST_F(MainWindowTest, SelectionSurvivesRowsAddedLater) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    data.Add("Beta Ltd", "GB 444 5555 66", 1);
    LoadAll();
    SelectRow(1);
    TDatasetFolder more;
    more.Add("Gamma Ltd", "GB 777 8888 99", 1);
    ASSERT_EQ(AddDatasetsFromFile(dm, FromQString(more.CompanyFile())).Added, 1);
    EXPECT_EQ(form->gridDatasets->model()->rowCount(), 3);
    EXPECT_EQ(form->gridDatasets->currentIndex().row(), 1);
    ASSERT_NE(form->Dataset(), nullptr);
    EXPECT_EQ(ToQ(form->Dataset()->CompanyName()), "Beta Ltd");
}

TEST_F(MainWindowTest, ColumnWidthsAreSavedOnCloseAndRestored) {
    form->gridDatasets->setColumnWidth(0, 250);
    form->gridDatasets->setColumnWidth(4, 90);
    form->show();
    ASSERT_TRUE(form->close());
    std::vector<int> saved = LoadColumnWidths(kDatasetGridSection, 6);
    EXPECT_EQ(saved[0], 250);
    EXPECT_EQ(saved[4], 90);

    Tform_main again(*mode);
    again.SetDataModule(&dm);
    EXPECT_EQ(again.gridDatasets->columnWidth(0), 250);
    EXPECT_EQ(again.gridDatasets->columnWidth(1), 85);
    EXPECT_EQ(again.gridDatasets->columnWidth(4), 90);
}

TEST_F(MainWindowTest, CloseButtonClosesAndSignals) {
    form->show();
    bool closed = false;
    QObject::connect(form.get(), &Tform_main::Closed, [&closed] { closed = true; });
    QTest::mouseClick(form->btnClose, Qt::LeftButton);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(form->isVisible());
}

// Shows the window as the user gets it: active, so that focus and Tab behave as on a desktop.
void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QString CompanyOf(Tform_main& form) {
    return form.Dataset() ? ToQ(form.Dataset()->CompanyName()) : QString();
}

TEST_F(MainWindowTest, KeysMoveTheSelectionTabLeavesTheTableAndEnterSubmits) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    data.Add("Beta Ltd", "GB 222 3333 44", 1);
    data.Add("Gamma Ltd", "GB 333 4444 55", 1);
    LoadAll();
    ShowActive(*form);
    EXPECT_EQ(QApplication::focusWidget(), form->gridDatasets)
        << "start-up focus is on the datasets, not the switch";
    QTableView* grid = form->gridDatasets;
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(CompanyOf(*form), "Beta Ltd");
    QTest::keyClick(grid, Qt::Key_End);
    EXPECT_EQ(CompanyOf(*form), "Gamma Ltd");
    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_EQ(CompanyOf(*form), "Alpha Ltd");
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(CompanyOf(*form), "Gamma Ltd");
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(CompanyOf(*form), "Beta Ltd");

    // Tab leaves the table without touching the selection, and Shift+Tab comes back.
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->btnBrowse);
    EXPECT_EQ(CompanyOf(*form), "Beta Ltd");
    QTest::keyClick(form->btnBrowse, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->btnSubmit);
    QTest::keyClick(form->btnSubmit, Qt::Key_Backtab);
    QTest::keyClick(form->btnBrowse, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), grid);
    EXPECT_EQ(CompanyOf(*form), "Beta Ltd");

    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_EQ(QueryValue(handOffs[0].Url, "company"), "Beta Ltd");
    EXPECT_TRUE(form->cbSubmissionMode->On()) << "no key reached the Live/Test switch";
}

TEST_F(MainWindowTest, AcceleratorsReachTheButtons) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    LoadAll();
    ShowActive(*form);
    // A mnemonic presses its button and lets go of it a moment later.
    QTest::keyClick(form->gridDatasets, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(handOffs.size(), 1u);
    data.Add("Beta Ltd", "GB 222 3333 44", 1);
    FileDialog::instance()->setNextFileName(data.CompanyFile());
    QTest::keyClick(form->gridDatasets, Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(form->gridDatasets->model()->rowCount(), 2);
    QTest::keyClick(form->gridDatasets, Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!form->isVisible());
}

TEST_F(MainWindowTest, EmptyTableAndDisabledSubmitSayWhy) {
    form->SelectFirstDataset();
    EXPECT_TRUE(form->gridDatasets->EmptyText().contains("Browse"));
    EXPECT_FALSE(form->btnSubmit->isEnabled());
    EXPECT_EQ(form->btnSubmit->toolTip(), "No dataset is selected.");
    data.Add("No Returns Ltd", "GB 111 2222 33", 0);
    data.Add("One Return Ltd", "GB 444 5555 66", 1);
    LoadAll();
    SelectRow(0);
    EXPECT_EQ(form->btnSubmit->toolTip(), "No VAT returns are stored for this company.");
    SelectRow(1);
    EXPECT_EQ(form->btnSubmit->toolTip(), "");
}

TEST_F(MainWindowTest, HeaderClicksSortAndTheSelectionFollowsTheDataset) {
    data.Add("beta Ltd", "GB 222 3333 44", 2);
    data.Add("Alpha Ltd", "GB 111 2222 33", 10);
    data.Add("Gamma Ltd", "GB 333 4444 55", 9);
    LoadAll();
    ShowActive(*form);
    QAbstractItemModel* model = form->gridDatasets->model();
    QStringList loaded;
    for (int r = 0; r < 3; ++r) {
        loaded << model->index(r, 0).data().toString();
    }
    QHeaderView* header = form->gridDatasets->horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    auto column = [&](int c) {
        QStringList texts;
        for (int r = 0; r < model->rowCount(); ++r) {
            texts << model->index(r, c).data().toString();
        }
        return texts;
    };
    clickHeader(0);
    EXPECT_EQ(column(0), QStringList({"Alpha Ltd", "beta Ltd", "Gamma Ltd"})) << "letter case ignored";
    clickHeader(3);
    EXPECT_EQ(column(3), QStringList({"2", "9", "10"})) << "numbers compare as numbers";
    SelectRow(2);
    EXPECT_EQ(CompanyOf(*form), "Alpha Ltd") << "the selected row's dataset, not the loaded order's";
    clickHeader(3);
    EXPECT_EQ(column(3), QStringList({"10", "9", "2"}));
    EXPECT_EQ(CompanyOf(*form), "Alpha Ltd") << "sorting keeps the selected dataset";
    QTest::keyClicks(form->gridDatasets, "g");
    EXPECT_EQ(CompanyOf(*form), "Gamma Ltd") << "type-ahead";
    clickHeader(3); // the third click gives the loaded order back
    EXPECT_EQ(column(0), loaded);
}

TEST_F(MainWindowTest, UnsavedColumnsFitTheirContentsAndSavedWidthsWin) {
    data.Add("A Company With A Rather Long Name Ltd", "GB 123 4567 89 000", 2);
    LoadAll();
    ShowActive(*form);
    QTableView* grid = form->gridDatasets;
    for (int c = 0; c < 5; ++c) {
        EXPECT_GE(grid->columnWidth(c), static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(c)) << c;
        EXPECT_GE(grid->columnWidth(c), grid->horizontalHeader()->sectionSizeHint(c)) << c;
    }
    EXPECT_GT(grid->columnWidth(0), 200);
    ASSERT_TRUE(form->close());
    // Fitted columns are fitted again next time; none was sized by hand, so none is saved.
    EXPECT_EQ(LoadColumnWidths(kDatasetGridSection, 6)[0], 0);

    SaveColumnWidths(kDatasetGridSection, {150, 0, 0, 0, 0, 0});
    Tform_main again(*mode);
    again.SetDataModule(&dm);
    ShowActive(again);
    EXPECT_EQ(again.gridDatasets->columnWidth(0), 150);
    EXPECT_GE(again.gridDatasets->columnWidth(2),
              static_cast<QAbstractItemView*>(again.gridDatasets)->sizeHintForColumn(2));
    // A column sized by hand is kept as the user left it.
    again.gridDatasets->horizontalHeader()->resizeSection(1, 300);
    ASSERT_TRUE(again.close());
    EXPECT_EQ(LoadColumnWidths(kDatasetGridSection, 6)[1], 300);
}

// Notes the text of the last view item it drew and how that text was to be cut to fit.
class TElideRecordingStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
        if (item && element == CE_ItemViewItem) {
            Elide = item->textElideMode;
            Text = item->text;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    mutable Qt::TextElideMode Elide = Qt::ElideNone;
    mutable QString Text;
};

TEST_F(MainWindowTest, PathsKeepTheirEndsAndTheFullPathIsTheHint) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    LoadAll();
    QModelIndex path = form->gridDatasets->model()->index(0, 5);
    EXPECT_EQ(path.data(Qt::ToolTipRole).toString(), path.data().toString());
    auto* delegate = dynamic_cast<QStyledItemDelegate*>(form->gridDatasets->itemDelegateForColumn(5));
    ASSERT_NE(delegate, nullptr);
    // Painted into a narrow cell, the path is cut in the middle, whatever the view asks for, so that
    // its last characters stay (measured by the style, whatever the fonts' widths).
    TElideRecordingStyle style;
    QWidget host;
    host.setStyle(&style);
    QStyleOptionViewItem option;
    option.initFrom(form->gridDatasets);
    option.widget = &host;
    QImage narrow(160, 24, QImage::Format_ARGB32);
    narrow.fill(Qt::white);
    QPainter painter(&narrow);
    option.rect = narrow.rect();
    option.textElideMode = Qt::ElideRight;
    delegate->paint(&painter, option, path);
    painter.end();
    EXPECT_EQ(style.Text, path.data().toString());
    EXPECT_EQ(style.Elide, Qt::ElideMiddle) << "the middle is cut, not the end";
}

TEST_F(MainWindowTest, WindowPlaceAndSizeAreRemembered) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->setGeometry(120, 90, 760, 480);
    const QRect placed = form->geometry();
    ASSERT_TRUE(form->close());
    Tform_main again(*mode);
    EXPECT_EQ(again.geometry(), placed);
}

TEST_F(MainWindowTest, CtrlClickKeepsTheRowSelected) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    LoadAll();
    ShowActive(*form);
    QTableView* grid = form->gridDatasets;
    QRect cell = grid->visualRect(grid->model()->index(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      QPoint(cell.center().x(), grid->viewport()->height() - 4));
    EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(CompanyOf(*form), "Alpha Ltd");
}

// Records the questions put to the web-update component.
class TRecordingUpdate : public IWebUpdate {
public:
    int Asked = 0;
    rtl::UnicodeString ManifestUrl() const override { return u"https://updates.example/update_v03.inf"; }
    void SetManifestUrl(const rtl::UnicodeString&) override {}
    bool NewVersionAvailable(bool) override {
        ++Asked;
        return false;
    }
    bool DoUpdate(bool) override { return false; }
};

int SkipValue() {
    rtl::TRegistry reg;
    reg.RootKey = rtl::TRootKey::CurrentUser;
    reg.OpenKey(kProductRegistryKey, true);
    return reg.ReadInteger(u"Skip upgrade check");
}

void SetSkipValue(int value) {
    rtl::TRegistry reg;
    reg.RootKey = rtl::TRootKey::CurrentUser;
    reg.OpenKey(kProductRegistryKey, true);
    reg.WriteInteger(u"Skip upgrade check", value);
}

TEST_F(MainWindowTest, FirstShowChecksForUpdatesOnceAndSelectsTheFirstDataset) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    LoadAll();
    TRecordingUpdate update;
    form->SetWebUpdate(&update);
    form->show();
    EXPECT_EQ(update.Asked, 1);
    EXPECT_EQ(form->gridDatasets->currentIndex().row(), 0);
    EXPECT_TRUE(form->btnSubmit->isEnabled());
    form->hide();
    form->show();
    EXPECT_EQ(update.Asked, 1);
}

TEST_F(MainWindowTest, SkipCounterOnFirstShow) {
    struct TCase {
        int Before, After;
        bool Checked;
    };
    for (TCase c : {TCase{1, 0, false}, TCase{4, 3, false}, TCase{9, 3, false}, TCase{0, 0, true},
                    TCase{-2, -2, true}}) {
        SetSkipValue(c.Before);
        TRecordingUpdate update;
        Tform_main window(*mode);
        window.SetWebUpdate(&update);
        window.show();
        EXPECT_EQ(update.Asked > 0, c.Checked) << c.Before;
        EXPECT_EQ(SkipValue(), c.After) << c.Before;
    }
}

TEST(MainWindowPlatformTest, FirstShowMaximisesWithoutAnUpdateCheck) {
    GuiApp();
    TRegistryScope registry;
    TTempFolder markers;
    std::filesystem::create_directories(markers.Path() / "data");
    for (const char* file : {"selector.exe", "browser.exe"}) {
        std::ofstream(markers.Path() / file) << "x";
    }
    TVenSystemMode platform(markers.Text(u"selector.exe"), markers.Text(u"browser.exe"),
                            markers.Text(u"data"));
    ASSERT_TRUE(platform.PlatformMode());
    TdmVenMTD dm(platform);
    Tform_main form(platform);
    form.SetDataModule(&dm);
    TRecordingUpdate update;
    form.SetWebUpdate(&update);
    form.show();
    EXPECT_EQ(update.Asked, 0);
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
}

} // namespace

namespace {

// The version column in number order: "8.2" before "10", "30.3" after "30".
TEST_F(MainWindowTest, VersionsSortAsNumbers) {
    const std::vector<std::pair<int, std::string>> versions = {{10, "10"}, {30, "30.3"}, {8, "8.2"}, {30, "30"}};
    std::vector<std::filesystem::path> folders;
    for (const auto& [major, text] : versions) {
        auto d = MakeDataset(data.Folder().Path() / ("v" + text), "Version " + text, "GB 111 2222 33", 0);
        d.MajorVersion = major;
        d.VersionByte = major;
        d.VersionText = text;
        WriteDataset(d);
        folders.push_back(d.Folder);
    }
    venturo::sample::WriteCompanyFile(data.Folder().Path() / "VERSIONS", folders);
    ASSERT_EQ(AddDatasetsFromFile(dm, data.Folder().Text(u"VERSIONS")).Added, 4);
    form->gridDatasets->sortByColumn(4, Qt::AscendingOrder);
    QStringList shown;
    for (int r = 0; r < 4; ++r) {
        shown << form->gridDatasets->model()->index(r, 4).data().toString();
    }
    EXPECT_EQ(shown, QStringList({"8.2", "10", "30", "30.3"}));
}

// Double-click submits, Browse selects what it added, the status line forgets the last hand-off
// when the company or the mode changes, and a window never on the screen keeps no place.
TEST_F(MainWindowTest, DoubleClickBrowseSelectionStatusLineAndPlace) {
    data.Add("Alpha Ltd", "GB 111 2222 33", 1);
    data.Add("Beta Ltd", "GB 444 5555 66", 1);
    LoadAll();
    ShowActive(*form);
    const QModelIndex beta = form->gridDatasets->model()->index(1, 0);
    const QPoint at = form->gridDatasets->visualRect(beta).center();
    QTest::mouseClick(form->gridDatasets->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(form->gridDatasets->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(handOffs.size(), 1u);
    EXPECT_TRUE(handOffs[0].Url.contains("company=Beta+Ltd"));
    EXPECT_FALSE(form->statusBar()->currentMessage().isEmpty());
    SelectRow(0);
    EXPECT_TRUE(form->statusBar()->currentMessage().isEmpty()) << "another company";
    form->btnSubmit->click();
    ASSERT_EQ(handOffs.size(), 2u);
    EXPECT_FALSE(form->statusBar()->currentMessage().isEmpty());
    form->cbSubmissionMode->SetOn(false);
    EXPECT_TRUE(form->statusBar()->currentMessage().isEmpty()) << "another mode";

    TDatasetFolder more;
    more.Add("Gamma Ltd", "GB 777 8888 99", 1);
    Browse(more.CompanyFile());
    EXPECT_EQ(CompanyOf(*form), "Gamma Ltd");

    form->move(120, 90);
    // Read once closed: a platform that draws a frame may still be placing the client area after the
    // move, and what counts is the place the window had when it closed.
    ASSERT_TRUE(form->close());
    const int left = form->geometry().left();
    Tform_main unseen(*mode);
    unseen.SetWebUpdate(nullptr);
    unseen.setGeometry(0, 0, 700, 500);
    unseen.show(); // closed before the system has put it on the screen
    unseen.close();
    EXPECT_EQ(LoadWindowBounds(kDatasetGridSection)->Left, left) << "the place of the window that was shown";
}

// Help > About and Check for Updates, and the accelerators of the status line and the switch.
TEST_F(MainWindowTest, HelpMenuAndAccelerators) {
    QMenu* help = form->findChild<QMenu*>("menuHelp");
    ASSERT_NE(help, nullptr);
    QStringList items;
    for (QAction* action : help->actions()) {
        items << action->text();
    }
    EXPECT_EQ(items, QStringList({"Check for &Updates", "", "&About Venturo MTD"}));
    QString version;
    AnswerModal<TfrmAbout>([&](TfrmAbout& w) {
        version = w.lblVersion->text();
        EXPECT_EQ(w.lblUpdateServer->text(), VENTURO_UPDATE_SERVER_URL);
        EXPECT_FALSE(w.memLicence->toPlainText().isEmpty());
        w.accept();
    });
    form->findChild<QAction*>("actAbout")->trigger();
    EXPECT_EQ(version, QStringLiteral("Venturo MTD " VENTURO_PRODUCT_VERSION));

    EXPECT_EQ(form->btnProblems->text(), "&Details...");
    ShowActive(*form);
    QTest::keyClick(form.get(), Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(form->cbSubmissionMode->hasFocus());
}

// A window larger than the screen (a large scale factor on a small screen) is made to fit it.
TEST_F(MainWindowTest, TheWindowFitsTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    form->setGeometry(area.x() + area.width() / 2, area.y() - 50, area.width() + 400, area.height() + 300);
    ShowActive(*form);
    EXPECT_TRUE(area.contains(form->frameGeometry())) << "within the available area";
}

} // namespace
