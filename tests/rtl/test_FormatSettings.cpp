#include "rtl/FormatSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace rtl;

TEST(FormatSettings, CLocaleGivesTheDefaults) {
    setenv("LC_ALL", "C", 1);
    const TFormatSettings fs = LocaleFormatSettings();
    EXPECT_EQ(fs.DateSeparator, u'/');
    EXPECT_EQ(fs.TimeSeparator, u':');
    EXPECT_EQ(fs.DecimalSeparator, u'.');
    EXPECT_EQ(fs.ThousandSeparator, u',');
}

TEST(FormatSettings, UnknownLocaleFallsBackToTheDefaults) {
    setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
    const TFormatSettings fs = LocaleFormatSettings();
    EXPECT_EQ(fs.DecimalSeparator, u'.');
    EXPECT_EQ(fs.DateSeparator, u'/');
}

TEST(FormatSettings, GlobalIsOverridableAndReloadable) {
    setenv("LC_ALL", "C", 1);
    FormatSettings().DecimalSeparator = u',';
    EXPECT_EQ(FormatSettings().DecimalSeparator, u',');
    LoadLocaleFormatSettings();
    EXPECT_EQ(FormatSettings().DecimalSeparator, u'.');
}
