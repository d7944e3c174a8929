// The two-state slider switch.
#include "app/gui/SliderSwitch.h"

#include "app/gui/GuiTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(SliderSwitchTest, StartsOnAndTogglesByMouseKeyAndCode) {
    ven::testing::GuiApp();
    ven::TSliderSwitch sw;
    sw.SetOnCaption("Live");
    sw.SetOffCaption("Test");
    sw.resize(sw.sizeHint());
    EXPECT_TRUE(sw.On());
    EXPECT_EQ(sw.StateCaption(), "Live");
    QSignalSpy spy(&sw, &ven::TSliderSwitch::StateChanged);

    QTest::mouseClick(&sw, Qt::LeftButton);
    EXPECT_FALSE(sw.On());
    EXPECT_EQ(sw.StateCaption(), "Test");
    EXPECT_EQ(sw.accessibleName(), "Test");
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_TRUE(sw.On());
    sw.SetOn(true); // no change, no signal
    sw.SetOn(false);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toBool(), false);
    EXPECT_EQ(spy.at(1).at(0).toBool(), true);
    EXPECT_EQ(spy.at(2).at(0).toBool(), false);
}

TEST(SliderSwitchTest, DisabledSwitchIgnoresClicks) {
    ven::testing::GuiApp();
    ven::TSliderSwitch sw;
    sw.resize(80, 26);
    sw.setEnabled(false);
    QTest::mouseClick(&sw, Qt::LeftButton);
    EXPECT_TRUE(sw.On());
}

TEST(SliderSwitchTest, SizeHintFitsTheLongerCaption) {
    ven::testing::GuiApp();
    ven::TSliderSwitch sw;
    sw.SetOnCaption("On");
    sw.SetOffCaption("A much longer caption");
    EXPECT_GT(sw.sizeHint().width(), sw.fontMetrics().horizontalAdvance("A much longer caption"));
}

} // namespace
