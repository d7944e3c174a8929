// What the main window tells the user: the status line after a hand-off, the refusal of a live
// return without a VAT number, and the list of what could not be read, driven from the keyboard.
#include "app/gui/form_main.h"

#include "app/core/DatasetBrowse.h"
#include "app/core/DatasetLoader.h"
#include "app/gui/DesktopForTests.h"
#include "app/gui/FileDialog.h"
#include "app/gui/GuiTestSupport.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/SliderSwitch.h"
#include "app/gui/form_hand_off_failure.h"
#include "app/gui/form_read_problems.h"
#include "rtl/Files.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QHeaderView>
#include <QTreeWidget>
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

class MainWindowFeedbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiApp();
        MessageBox::clearLastText();
        form = std::make_unique<Tform_main>(*mode);
        form->SetWebUpdate(nullptr);
        form->SetDataModule(&dm);
        form->SetHandOffHook([this](const sage::TSageDatasetVatReturn& r, const TPortalTarget& target) {
            urls.push_back(ToQString(BuildPortalUrl(r, target)));
        });
    }
    void TearDown() override {
        form.reset();
        MessageBox::setNextAnswer(QMessageBox::NoButton);
    }

    void Show() {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void LoadAll() { ASSERT_GT(AddDatasetsFromFile(dm, FromQString(data.CompanyFile())).Added, 0); }
    // Presses a button as the keyboard does: focus, then Space.
    void Press(QPushButton* button) {
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
    }
    QString Status() const { return form->statusBar()->currentMessage(); }

    TRegistryScope registry;
    std::unique_ptr<TVenSystemMode> mode = DesktopMode();
    TdmVenMTD dm{*mode};
    TDatasetFolder data;
    std::unique_ptr<Tform_main> form;
    std::vector<QString> urls;
};

TEST_F(MainWindowFeedbackTest, StatusLineSaysWhichPortalWasOpenedForWhat) {
    data.Add("Harrogate Tea Rooms Ltd", "GB 444 5555 66", 1);
    LoadAll();
    Show();
    EXPECT_TRUE(Status().isEmpty());
    Press(form->btnSubmit);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(Status(),
              "Opened the Live portal for Harrogate Tea Rooms Ltd, 01/01/2020 - 31/03/2020 in your browser");

    form->cbSubmissionMode->SetOn(false);
    Press(form->btnSubmit);
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(Status(),
              "Opened the Test portal for Harrogate Tea Rooms Ltd, 01/01/2020 - 31/03/2020 in your browser");
    EXPECT_TRUE(MessageBox::lastText().isEmpty());
}

// An opener that starts but fails (no desktop to hand the link to): the status line says the
// portal was not opened, and the link is offered to copy.
TEST_F(MainWindowFeedbackTest, AnOpenerThatFailsLeavesNoClaimOfAnOpenedPortalAndOffersTheLink) {
    data.Add("Harrogate Tea Rooms Ltd", "GB 444 5555 66", 1);
    LoadAll();
    Show();
    Press(form->btnSubmit);
    ASSERT_EQ(urls.size(), 1u);
    form->SetHandOffHook(nullptr); // the real hand-off
    const TBrokenUrlOpener opener(TBrokenUrlOpener::TKind::Failing, data.Folder().Path());
    QString message;
    QString link;
    AnswerModal<TfrmHandOffFailure>([&](TfrmHandOffFailure& w) {
        message = w.lblMessage->text();
        link = w.txtUrl->text();
        EXPECT_TRUE(w.txtUrl->isReadOnly());
        QTest::keyClick(w.btnCopy, Qt::Key_Space);
        EXPECT_EQ(QApplication::clipboard()->text(), link);
        QTest::keyClick(w.btnClose, Qt::Key_Space);
    });
    Press(form->btnSubmit);
    EXPECT_EQ(link, urls[0]);
    EXPECT_TRUE(message.contains(opener.Reason())) << message.toStdString();
    EXPECT_EQ(Status(), "The Live portal was not opened for Harrogate Tea Rooms Ltd, 01/01/2020 - 31/03/2020");
}

TEST_F(MainWindowFeedbackTest, ALiveReturnWithoutAVatNumberIsRefusedAndTestModeStillSends) {
    data.Add("No Number Ltd", "", 1);
    LoadAll();
    Show();
    ASSERT_TRUE(form->btnSubmit->isEnabled());
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Press(form->btnSubmit);
    EXPECT_TRUE(urls.empty()) << "nothing is sent with an empty VAT number";
    EXPECT_TRUE(MessageBox::lastText().contains("no VAT number")) << MessageBox::lastText().toStdString();
    EXPECT_TRUE(Status().isEmpty());

    form->cbSubmissionMode->SetOn(false);
    MessageBox::clearLastText();
    Press(form->btnSubmit);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(QUrlQuery(QUrl(urls[0]).query()).queryItemValue("vatno"), "test");
    EXPECT_TRUE(MessageBox::lastText().isEmpty());
}

TEST_F(MainWindowFeedbackTest, WhatCouldNotBeReadIsCountedMarkedAndListed) {
    Show();
    EXPECT_FALSE(form->lblProblems->isVisible()) << "nothing to say while everything reads";
    EXPECT_FALSE(form->btnProblems->isVisible());

    const TDamagedData damaged = WriteDamagedData(data.Folder().Path() / "damaged");
    const std::filesystem::path list = data.Folder().Path() / "Venturo_MTD.COMPANY";
    std::ofstream(list, std::ios::binary) << damaged.Incomplete.string() << "\r\n"
                                          << damaged.UnknownVersion.string() << "\r\n";
    TPlatformLoader loader(&dm, nullptr, TLoaderPacing::None(), u"/nonexistent/selector.exe", ToText(list));
    loader.Load();
    QApplication::processEvents();

    EXPECT_TRUE(form->lblProblems->isVisible());
    EXPECT_EQ(form->lblProblems->text(), "3 items could not be read");
    ASSERT_EQ(form->gridDatasets->model()->rowCount(), 1);
    const QModelIndex company = form->gridDatasets->model()->index(0, 0);
    EXPECT_FALSE(company.data(Qt::DecorationRole).isNull()) << "the incomplete dataset is marked";
    EXPECT_TRUE(company.data(Qt::ToolTipRole).toString().contains("returns may be missing"));
    EXPECT_EQ(form->gridDatasets->model()->index(0, 2).data().toString(), "01/01/2020 - 31/03/2020");

    QStringList items;
    QStringList reasons;
    QStringList plain;
    QStringList companies;
    AnswerModal<TfrmReadProblems>([&](TfrmReadProblems& w) {
        for (int i = 0; i < w.lvProblems->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = w.lvProblems->topLevelItem(i);
            items << item->text(TfrmReadProblems::colItem);
            reasons << item->text(TfrmReadProblems::colDetails);
            plain << item->text(TfrmReadProblems::colReason);
            companies << item->text(TfrmReadProblems::colCompany);
        }
        // The whole path shows, and the last column takes what a wider window gives.
        EXPECT_EQ(w.lvProblems->textElideMode(), Qt::ElideNone);
        const int before = w.lvProblems->header()->sectionSize(TfrmReadProblems::colDetails);
        w.resize(4000, w.height());
        QApplication::processEvents();
        EXPECT_GT(w.lvProblems->header()->sectionSize(TfrmReadProblems::colDetails), before);
        EXPECT_EQ(w.lblSummary->text().left(25), "3 items could not be read");
        QTest::keyClick(w.btnClose, Qt::Key_Space);
    });
    Press(form->btnProblems);
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0], ToQ(ToText(damaged.UnknownVersion)));
    EXPECT_EQ(reasons[0], ToQ(u"ACCDATA" + rtl::UnicodeString(1, rtl::PathDelim) +
                              u"SETUP.DTA: Unknown version byte 31 in SETUP.DTA"));
    EXPECT_EQ(plain[0], "Sage version 31 is not supported yet");
    const int newest = static_cast<int>(items.indexOf(ToQ(ToText(damaged.NewestReturn))));
    ASSERT_GE(newest, 0) << "the unreadable return file is named";
    EXPECT_TRUE(reasons[newest].startsWith("Malformed XML: "));
    EXPECT_TRUE(plain[newest].startsWith("The return file is damaged (XML error at line "))
        << plain[newest].toStdString();
    EXPECT_EQ(companies[newest], "Harrogate Tea Rooms Ltd");
    const int second = static_cast<int>(items.indexOf(ToQ(ToText(damaged.SecondReturn))));
    ASSERT_GE(second, 0) << "the return left out for its adjustments is named";
    EXPECT_TRUE(reasons[second].startsWith(ToQ(ToText(damaged.BadAdjustments)) + ": Malformed XML: "))
        << reasons[second].toStdString();
}

TEST_F(MainWindowFeedbackTest, BrowseOfAFileThatIsNoDatasetSaysWhy) {
    const TDamagedData damaged = WriteDamagedData(data.Folder().Path() / "damaged");
    FileDialog::instance()->setNextFileName(ToQ(ToText(damaged.UnknownVersion / "ACCDATA" / "SETUP.DTA")));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Press(form->btnBrowse);
    EXPECT_TRUE(MessageBox::lastText().contains("Unknown version byte 31 in SETUP.DTA"))
        << MessageBox::lastText().toStdString();
    EXPECT_FALSE(MessageBox::lastText().contains("No new unique dataset"));
    EXPECT_EQ(form->gridDatasets->model()->rowCount(), 0);
}

} // namespace
