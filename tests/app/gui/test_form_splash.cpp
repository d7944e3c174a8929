// The splash window: its shape, the progress label's text and the Message property.
#include "app/gui/form_splash.h"

#include "app/gui/GuiTestSupport.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

using ven::Tform_splash;

TEST(SplashTest, ShapeAndInitialText) {
    ven::testing::GuiApp();
    Tform_splash splash;
    EXPECT_EQ(splash.size(), QSize(690, 496));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(splash.imgBackground->geometry(), QRect(0, 0, 690, 496));
    EXPECT_TRUE(splash.imgBackground->hasScaledContents());
    EXPECT_EQ(splash.lblMessage->geometry(), QRect(288, 457, 377, 31));
    EXPECT_EQ(splash.lblMessage->text(), "Finding Sage data sets");
    EXPECT_TRUE(splash.lblMessage->alignment() & Qt::AlignRight);
    EXPECT_EQ(splash.lblMessage->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST(SplashTest, ProgressShowsDoubledAmpersandsOnceAndBreaksAtCarriageReturn) {
    ven::testing::GuiApp();
    Tform_splash splash;
    splash.ShowProgress(u"Found: Smith && Jones version: 27.2\r/data/S&&J");
    // Each line is cut in the middle where the label's font makes it wider than the label.
    const QFontMetrics metrics(splash.lblMessage->font());
    const auto fitted = [&](const QString& line) {
        return metrics.elidedText(line, Qt::ElideMiddle, splash.lblMessage->width());
    };
    EXPECT_EQ(splash.lblMessage->text(),
              fitted("Found: Smith & Jones version: 27.2") + "\n" + fitted("/data/S&J"));
    EXPECT_FALSE(splash.lblMessage->text().contains("&&"));
    EXPECT_EQ(splash.lblMessage->textFormat(), Qt::PlainText);
}

TEST(SplashTest, LongFolderKeepsItsEndsOnTheLabel) {
    ven::testing::GuiApp();
    Tform_splash splash;
    rtl::UnicodeString folder = u"/start";
    for (int i = 0; i < 40; ++i) {
        folder += u"/folder" + rtl::IntToStr(i);
    }
    splash.ShowProgress(u"Found: A && B\r" + folder + u"/Company.000");
    QStringList lines = splash.lblMessage->text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Found: A & B");
    EXPECT_TRUE(lines[1].startsWith("/start")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("/Company.000")) << lines[1].toStdString();
    EXPECT_LE(splash.lblMessage->fontMetrics().horizontalAdvance(lines[1]), splash.lblMessage->width());
}

TEST(SplashTest, LabelTextOfAccelerators) {
    EXPECT_EQ(Tform_splash::LabelText(u"&&&&"), "&&");
    EXPECT_EQ(Tform_splash::LabelText(u"&File"), "File");
    EXPECT_EQ(Tform_splash::LabelText(u"a&"), "a");
    EXPECT_EQ(Tform_splash::LabelText(u"one\r\ntwo\nthree"), "one\ntwo\nthree");
    EXPECT_EQ(Tform_splash::LabelText(u""), "");
}

TEST(SplashTest, MessagePropertyAcrossThreads) {
    ven::testing::GuiApp();
    Tform_splash splash;
    EXPECT_EQ(splash.Message(), u"Initialising ...");
    std::thread writer([&splash] {
        for (int i = 0; i < 1000; ++i) {
            splash.SetMessage(i % 2 ? u"odd message" : u"even");
        }
    });
    for (int i = 0; i < 1000; ++i) {
        rtl::UnicodeString m = splash.Message();
        ASSERT_TRUE(m == u"odd message" || m == u"even" || m == u"Initialising ...");
    }
    writer.join();
}

TEST(SplashTest, OnTopSwitchKeepsTheSplashShown) {
    ven::testing::GuiApp();
    Tform_splash splash;
    splash.show();
    splash.SetOnTop(false);
    EXPECT_FALSE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash.isVisible());
    splash.SetOnTop(true);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash.isVisible());
}

TEST(SplashTest, ClosingReleasesTheWindow) {
    ven::testing::GuiApp();
    QPointer<Tform_splash> splash = new Tform_splash;
    splash->show();
    splash->close();
    QTRY_VERIFY(splash.isNull());
    EXPECT_TRUE(splash.isNull());
}

} // namespace
