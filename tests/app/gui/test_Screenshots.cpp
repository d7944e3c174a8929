// Pictures of the splash and of the main window in live and test mode, for the documentation.
// Runs only when VENTURO_SCREENSHOT_DIR names the folder to write to, with WINEPREFIX pointing at a
// demo prefix (venturo_sample_datasets --demo) before the program starts.
#include "app/core/DatasetLoader.h"
#include "app/core/ProductInfo.h"
#include "app/gui/GuiTestSupport.h"
#include "app/gui/LoaderView.h"
#include "app/gui/SliderSwitch.h"
#include "app/gui/form_license_text.h"
#include "app/gui/form_main.h"
#include "app/gui/form_splash.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace ven;
using namespace ven::testing;

// Grabs the splash once it shows a dataset whose name holds an ampersand (or the last one found).
class TGrabbingView : public ILoaderView {
public:
    TGrabbingView(ILoaderView& view, Tform_splash* splash) : _view(view), _splash(splash) {}
    void ShowProgress(const rtl::UnicodeString& text) override {
        _view.ShowProgress(text);
        QString shown = _splash ? _splash->lblMessage->text() : QString();
        if (_splash && shown.startsWith("Found:") && shown.contains('\n') &&
            (Splash.isNull() || !_blAmpersand)) {
            Splash = _splash->grab();
            _blAmpersand = shown.contains('&');
        }
    }
    void SetSplashOnTop(bool onTop) override { _view.SetSplashOnTop(onTop); }
    void ShowMessage(const rtl::UnicodeString& text) override { _view.ShowMessage(text); }
    void FinishLoading() override { _view.FinishLoading(); }
    QPixmap Splash;

private:
    ILoaderView& _view;
    QPointer<Tform_splash> _splash;
    bool _blAmpersand = false;
};

TEST(Screenshots, SplashAndMainWindowOnDemoData) {
    const char* dir = std::getenv("VENTURO_SCREENSHOT_DIR");
    if (!dir || !std::getenv("WINEPREFIX")) {
        GTEST_SKIP() << "set VENTURO_SCREENSHOT_DIR and WINEPREFIX to take screenshots";
    }
    GuiApp();
    QDir out(QString::fromLocal8Bit(dir));
    ASSERT_TRUE(out.mkpath("."));
    TRegistryScope registry;
    TStartUpWindows windows;
    Tform_main& form = windows.Form;
    QPointer<Tform_splash>& splash = windows.Splash;
    TdmVenMTD& dm = windows.DataModule;
    TLoaderView& view = windows.View;
    TGrabbingView grabber(view, splash);
    dm.LoadDatasets(grabber);
    QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 60000);
    ASSERT_FALSE(grabber.Splash.isNull());
    EXPECT_TRUE(grabber.Splash.save(out.filePath("splash.png")));

    // A dataset with several returns reads better than the first row, which has none.
    for (int row = 0; row < form.gridDatasets->model()->rowCount(); ++row) {
        if (form.gridDatasets->model()->index(row, 3).data().toInt() > 1) {
            form.gridDatasets->selectRow(row);
            break;
        }
    }
    QTest::qWait(50);
    EXPECT_TRUE(form.grab().save(out.filePath("main-live.png")));
    form.cbSubmissionMode->SetOn(false);
    QTest::qWait(50);
    EXPECT_TRUE(form.grab().save(out.filePath("main-test.png")));
}

// The licence an update asks the user to accept, here the program's own.
TEST(Screenshots, LicenceWindow) {
    const char* dir = std::getenv("VENTURO_SCREENSHOT_DIR");
    if (!dir) {
        GTEST_SKIP() << "set VENTURO_SCREENSHOT_DIR to take screenshots";
    }
    GuiApp();
    QDir out(QString::fromLocal8Bit(dir));
    ASSERT_TRUE(out.mkpath("."));
    TfrmLicenseText form;
    rtl::TStringList lines;
    lines.SetText(LicenceText());
    form.SetLines(lines);
    form.SetOffer(u"1.1.0");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(50);
    EXPECT_TRUE(form.grab().save(out.filePath("license_text.png")));
}

} // namespace
