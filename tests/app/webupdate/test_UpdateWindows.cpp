// The update as the user meets it in the windows: the progress window takes the Cancel of a
// download that never ends, and the check asked for from the main window says what it came to.
#include "app/gui/frmUpdateProgress.h"

#include "UpdateSigning.h"
#include "app/core/VenDataModule.h"
#include "app/gui/GuiTestSupport.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/form_license_text.h"
#include "app/update/UpdateCheck.h"
#include "app/update/WebUpdate.h"
#include "app/webupdate/LocalHttpServer.h"
#include "rtl/Files.h"

#include <QAction>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using ven::MessageBox;

using orvitest::ReadText;
using orvitest::WriteText;

class UpdateWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteText(_program / "venturo_mtd", "old program");
        WriteText(_program / "data.txt", "old data");
        _update.Config.ManifestUrl = ven::FromQString(_server.Url("/updates/update_v03.inf"));
        _update.Config.ProgramVersion = u"1.2.0";
        _update.Config.PublicKey = rtl::U(venturo::signing::PublicKeyHex(_key));
        _update.Config.ProgramFile = _tmp.Text("program/venturo_mtd");
        _update.Config.TempFolder = _tmp.Text("work");
        _update.Config.LogFile = _tmp.Text("WUPDATE.LOG");
        _update.Config.TimeoutMs = 3000;
        _update.OnFailure = [this](ven::TWebUpdate&, const UnicodeString& message) {
            _failuresShown.push_back(rtl::StringToUtf8(message));
        };
        _update.OnAppRestart = [](ven::TWebUpdate&, bool& allow) { allow = false; };
        MessageBox::clearLastText();
    }

    // A signed release of version with the program and data.txt; listed gives data.txt's listed
    // bytes when the server does not serve them itself.
    void Publish(const std::string& version, const QByteArray& listed = "new data", bool license = false) {
        std::string manifest = venturo::signing::WithExpiry(
            "[WebUpdate]\nVersion=" + version + "\nDate=05/03/2024\nTime=14:30\n",
            std::chrono::system_clock::now() + std::chrono::days(1));
        for (const auto& [key, name, bytes] :
             {std::tuple<std::string, std::string, QByteArray>{"File", "venturo_mtd", "new program"},
              {"File", "data.txt", listed},
              {license ? "License" : "", "EULA.txt", "Terms"}}) {
            if (key.empty()) {
                continue;
            }
            manifest += key + "=" + std::to_string(bytes.size()) + " " +
                        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString() +
                        " " + name + "\n";
            _server.Serve("/updates/" + QString::fromStdString(name), bytes);
        }
        _server.Serve("/updates/update_v03.inf", QByteArray::fromStdString(manifest));
        _server.Serve("/updates/update_v03.inf.sig",
                      QByteArray::fromStdString(venturo::signing::SignHex(manifest, _key)));
    }

    void ExpectNothingInstalled() {
        EXPECT_EQ(ReadText(_program / "venturo_mtd"), "old program");
        EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
        EXPECT_FALSE(fs::exists(_program / ".webupdate"));
    }

    QApplication& _app = ven::testing::GuiApp();
    ven::testing::TRegistryScope _registry;
    ven::testing::TTempFolder _tmp;
    fs::path _program = _tmp.Path() / "program";
    ven::testing::TLocalHttpServer _server;
    venturo::signing::TSeed _key = venturo::signing::NewSeed();
    ven::TWebUpdate _update;
    std::vector<std::string> _failuresShown;
};

TEST_F(UpdateWindowsTest, CancelStopsADownloadThatTricklesAndTheUserIsTold) {
    QWidget owner;
    owner.show();
    ven::TfrmUpdateProgress form(&owner);
    form.Attach(_update);
    Publish("1.3.0", QByteArray(100000, ';')); // what the trickle promises; its deadline is 30 s
    _server.Trickle("/updates/data.txt");
    // While the second file trickles in, the user clicks Cancel in the progress window.
    QString shown;
    bool modal = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (form.isVisible() && form.btnCancel->isEnabled() &&
            form.lblCurrentFile->text().endsWith(QStringLiteral("data.txt"))) {
            shown = form.lblTotalFiles->text() + " | " + form.lblCurrentFile->text();
            modal = QApplication::activeModalWidget() == &form;
            QTest::mouseClick(form.btnCancel, Qt::LeftButton);
        }
    });
    user.start(20);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(_update.DoUpdate(true));
    user.stop();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(shown, "2 | 2 of 2: data.txt");
    EXPECT_TRUE(modal); // the main window takes no input while the download takes the window's
    EXPECT_FALSE(form.isVisible());
    // The user sees it was cancelled; it is no failure, so the next start does not rest.
    EXPECT_EQ(MessageBox::lastText(), "The update was cancelled. Nothing was installed.");
    EXPECT_TRUE(_failuresShown.empty());
    EXPECT_EQ(ven::ReadUpdateRecord().LastFailure, 0);
    ExpectNothingInstalled();
    EXPECT_FALSE(fs::exists(_tmp.Path() / "work" / "WebUpdate.tmp"));

    // The next update runs to its end through the same window, which then goes.
    MessageBox::clearLastText();
    Publish("1.3.0");
    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(form.pbFileProgress->value(), 100);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(MessageBox::lastText(), "");
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
}

TEST_F(UpdateWindowsTest, TheUserAsksForACheckFromTheMainWindow) {
    auto mode = ven::testing::DesktopMode();
    ven::Tform_main form(*mode);
    form.SetWebUpdate(&_update);
    QAction* check = form.findChild<QAction*>(QStringLiteral("actCheckForUpdates"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    // A failed update an hour ago rests the start-up check, not the user's.
    ASSERT_TRUE(ven::RecordUpdateFailure(u"earlier", rtl::Now() - 1.0 / 24));

    Publish("1.2.0");
    MessageBox::setNextAnswer(QMessageBox::Ok);
    check->trigger();
    EXPECT_EQ(MessageBox::lastText(), "There is no newer version of Venturo MTD.");

    _update.SetManifestUrl(u"http://127.0.0.1:1/update_v03.inf"); // nothing listens there
    MessageBox::setNextAnswer(QMessageBox::Ok);
    check->trigger();
    EXPECT_TRUE(
        MessageBox::lastText().startsWith("The update check failed: http://127.0.0.1:1/update_v03.inf: "))
        << MessageBox::lastText().toStdString();

    // A manifest that is not believed is shown once, by the component, and not called up to date.
    _update.SetManifestUrl(ven::FromQString(_server.Url("/updates/update_v03.inf")));
    _server.Serve("/updates/update_v03.inf.sig", "not a signature");
    MessageBox::clearLastText();
    check->trigger();
    EXPECT_EQ(_failuresShown.size(), 1u);
    EXPECT_EQ(MessageBox::lastText(), "");

    Publish("1.3.0");
    MessageBox::clearLastText();
    check->trigger();
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
    EXPECT_EQ(MessageBox::lastText(), ""); // the new program's start says enough
    EXPECT_EQ(ven::ReadUpdateRecord().InstalledVersion, u"1.3.0");
}

// The start-up check holds nothing up: the window shows at once, and the licence of the version
// offered comes afterwards, over the window, saying what it is about.
TEST_F(UpdateWindowsTest, TheStartupOfferComesAfterTheWindowAndOverIt) {
    auto mode = ven::testing::DesktopMode();
    ven::TdmVenMTD dm(*mode);
    ven::Tform_main form(*mode);
    form.SetDataModule(&dm);
    form.updApplication.Config = _update.Config;
    Publish("1.3.0", "new data", true);
    QString header;
    bool windowShown = false, overIt = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* frm = qobject_cast<ven::TfrmLicenseText*>(QApplication::activeModalWidget())) {
            header = frm->lblOffer->text();
            windowShown = form.isVisible();
            overIt =
                frm->parentWidget() == &form && form.frameGeometry().contains(frm->frameGeometry().center());
            frm->btnDecline->click();
        }
    });
    user.start(20);
    QElapsedTimer clock;
    clock.start();
    form.show();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(header.isEmpty()); // nothing is asked before the window is up
    EXPECT_TRUE(QTest::qWaitFor([&] { return !header.isEmpty(); }, 20000));
    EXPECT_TRUE(header.contains("Venturo MTD 1.3.0 is available")) << header.toStdString();
    EXPECT_TRUE(windowShown);
    EXPECT_TRUE(overIt);
    ExpectNothingInstalled();
}

} // namespace
