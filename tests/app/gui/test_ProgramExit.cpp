// The program as its users run it: venturo_mtd on generated datasets, asked to close once its main
// window is up. Closing saves the window's settings, and the process must end promptly after.
#include "app/core/CoreTestSupport.h"
#include "app/core/GridColumnSizes.h"
#include "app/gui/GuiTestSupport.h"
#include "app/update/UpdateCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace ven;
using namespace ven::testing;

// Loading keeps the splash up for 3 seconds; the main window is up well within this.
constexpr int kWindowUpMs = 7000;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Under a sanitizer the child's end includes the sanitizer's own exit work (the leak scan alone takes
// 100-200 ms), so the bound there only catches an exit that waits for something.
constexpr qint64 kPromptExitMs = 1500;
#else
constexpr qint64 kPromptExitMs = 300;
#endif

class ProgramExitTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiApp();
        // The installer test names the installed program; otherwise the one built beside the tests.
        program = qEnvironmentVariable("VENTURO_PROGRAM_UNDER_TEST");
        for (const char* name : {"/venturo_mtd", "/venturo_mtd.exe"}) {
            if (!program.isEmpty())
                break;
            if (QFile::exists(QCoreApplication::applicationDirPath() + name)) {
                program = QCoreApplication::applicationDirPath() + name;
            }
        }
        if (program.isEmpty()) {
            GTEST_SKIP() << "venturo_mtd is not built beside the tests";
        }
        // On Windows the program searches the system's folders instead, and closes the same way
        // over whatever it finds there.
        venturo::sample::WriteDemoPrefix(tmp.Path() / "prefix");
    }

    // Starts the program, lets it show its window, asks it to close (as a session's end does) and
    // returns how long the process took to end after that.
    qint64 RunAndClose() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", QString::fromStdString((tmp.Path() / "prefix").string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(program, {});
        if (!child.waitForStarted(10000)) {
            ADD_FAILURE() << "venturo_mtd did not start";
            return -1;
        }
        QTest::qWait(kWindowUpMs);
        EXPECT_EQ(child.state(), QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        child.terminate();
        const bool ended = child.waitForFinished(10000);
        const qint64 elapsed = clock.elapsed();
        EXPECT_TRUE(ended);
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << "closed, not killed";
        EXPECT_EQ(child.exitCode(), 0);
        return elapsed;
    }

    TRegistryScope registry{TUserRegistry::SharedWithChildren}; // the program started reads and writes it
    TTempFolder tmp;
    QString program;
};

TEST_F(ProgramExitTest, ClosingSavesTheWindowAndEndsPromptly) {
    // First close: nothing saved yet, so the window's place is written on the way out.
    const qint64 first = RunAndClose();
    EXPECT_GE(first, 0);
    EXPECT_LT(first, kPromptExitMs) << "first close took " << first << " ms";
    RecordProperty("FirstCloseToExitMs", static_cast<int>(first));
    std::optional<TWindowBounds> bounds = LoadWindowBounds(kDatasetGridSection);
    ASSERT_TRUE(bounds.has_value()) << "the write finished before the process ended";
    EXPECT_GT(bounds->Width, 0);

    // Second close: settings unchanged, nothing to write.
    const qint64 second = RunAndClose();
    EXPECT_GE(second, 0);
    EXPECT_LT(second, kPromptExitMs) << "second close took " << second << " ms";
    RecordProperty("SecondCloseToExitMs", static_cast<int>(second));
    EXPECT_EQ(LoadWindowBounds(kDatasetGridSection), bounds);
}

// --version needs no display and names the version an update recorded as installed.
TEST_F(ProgramExitTest, VersionAnswersWithoutAWindow) {
    RecordInstalledVersion(u"9.8.7");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("none-such"));
    child.setProcessEnvironment(env);
    child.start(program, {QStringLiteral("--version")});
    ASSERT_TRUE(child.waitForFinished(kWindowUpMs));
    EXPECT_EQ(child.exitCode(), 0);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("Venturo MTD "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("9.8.7"))) << out.toStdString();
}

} // namespace
