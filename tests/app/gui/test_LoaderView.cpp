// Start-up as the program runs it: the real loader thread over a generated Wine-style prefix,
// progress on the splash through rtl's synchronised calls, then the hand-over to the main window.
#include "app/gui/LoaderView.h"

#include "app/core/DatasetLoader.h"
#include "app/gui/DesktopForTests.h"
#include "app/gui/GuiTestSupport.h"
#include "app/gui/MessageBox.h"
#include "app/gui/form_main.h"
#include "app/gui/form_splash.h"

#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace ven;
using namespace ven::testing;

// Passes every call on to the real view and notes what the splash shows afterwards.
class TRecordingView : public ILoaderView {
public:
    TRecordingView(ILoaderView& view, Tform_splash* splash) : _view(view), _splash(splash) {}
    void ShowProgress(const rtl::UnicodeString& text) override {
        EXPECT_TRUE(rtl::IsMainThread());
        _view.ShowProgress(text);
        Labels.push_back(_splash ? _splash->lblMessage->text() : QString());
    }
    void SetSplashOnTop(bool onTop) override { _view.SetSplashOnTop(onTop); }
    void ShowMessage(const rtl::UnicodeString& text) override { _view.ShowMessage(text); }
    void FinishLoading() override {
        EXPECT_TRUE(rtl::IsMainThread());
        _view.FinishLoading();
    }
    QStringList Labels;

private:
    ILoaderView& _view;
    QPointer<Tform_splash> _splash;
};

// The folder-name macros are fixed when the libraries load, so the search reaches a Wine-style
// prefix only when WINEPREFIX is set before the process starts: the test runs itself again (on
// Windows the search reads the system's folders, where the demo's COMPANY files are put meanwhile).
const char kChildPrefixVariable[] = "VENTURO_GUI_TEST_DEMO_DATASETS"; // set in the child: datasets expected

TEST(StartUpTest, LoaderFillsTheGridThenTheMainWindowReplacesTheSplash) {
    GuiApp();
    if (!std::getenv(kChildPrefixVariable)) {
        TTempFolder temp;
        const TDemoDatasets demo(temp.Path());
        if (demo.Loadable() == 0) {
            GTEST_SKIP() << "the system's Sage folders hold an installation's files";
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        demo.Prepare(env);
        env.insert(kChildPrefixVariable, QString::number(demo.Loadable()));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=StartUpTest.LoaderFillsTheGridThenTheMainWindowReplacesTheSplash"});
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
        return;
    }
    TRegistryScope registry;
    int loadable = std::atoi(std::getenv(kChildPrefixVariable));

    TStartUpWindows windows;
    Tform_main& form = windows.Form;
    QPointer<Tform_splash>& splash = windows.Splash;
    TdmVenMTD& dm = windows.DataModule;
    TLoaderView& view = windows.View;
    TRecordingView recorder(view, splash);
    dm.LoadDatasets(recorder, TLoaderPacing::None());

    QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 30000);
    QTRY_VERIFY(splash.isNull());
    EXPECT_EQ(form.gridDatasets->model()->rowCount(), loadable);
    EXPECT_EQ(form.gridDatasets->currentIndex().row(), 0);
    ASSERT_FALSE(recorder.Labels.isEmpty());
    EXPECT_EQ(recorder.Labels.back(), QString("Found: %1 Sage companies").arg(loadable));
    bool sawAmpersand = false;
    for (const QString& label : recorder.Labels) {
        EXPECT_FALSE(label.contains("&&")) << label.toStdString();
        sawAmpersand = sawAmpersand || label.contains(" & ");
    }
    EXPECT_TRUE(sawAmpersand);
}

TEST(StartUpTest, ViewOutlivesTheSplash) {
    GuiApp();
    std::unique_ptr<TVenSystemMode> mode = DesktopMode();
    Tform_main form(*mode);
    QPointer<Tform_splash> splash = new Tform_splash;
    TLoaderView view(splash, &form);
    splash->close();
    QTRY_VERIFY(splash.isNull());
    view.ShowProgress(u"late");
    view.SetSplashOnTop(false);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    view.ShowMessage(u"The list file could not be read");
    EXPECT_EQ(MessageBox::lastText(), "The list file could not be read");
    view.FinishLoading();
    EXPECT_TRUE(form.isVisible());
}

} // namespace
