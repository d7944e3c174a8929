#include "rtl/FloatText.h"

#include "rtl/Exceptions.h"

#include "CommaDecimalLocale.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rtl;

TEST(FloatText, GeneralFormWithTheSettingsDecimalSeparator) {
    const TFormatSettings point{};
    TFormatSettings comma{};
    comma.DecimalSeparator = u',';
    EXPECT_EQ(FloatToStr(0, point), u"0");
    EXPECT_EQ(FloatToStr(-2.5, comma), u"-2,5");
    EXPECT_EQ(FloatToStr(0.1, point), u"0.1");
    EXPECT_EQ(FloatToStr(1e20, point), u"1E20");
    EXPECT_EQ(FloatToStr(1.5e-7, point), u"1.5E-7");
    EXPECT_EQ(FloatToStr(123456789012345.0, point), u"123456789012345");
    EXPECT_EQ(FloatToStr(std::nan(""), point), u"NAN");
    EXPECT_EQ(FloatToStr(-INFINITY, point), u"-INF");
}

TEST(FloatText, ReadsOnlyTheRuntimeGrammar) {
    const TFormatSettings point{};
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(u" +1.25E2 ", v, point));
    EXPECT_DOUBLE_EQ(v, 125);
    EXPECT_TRUE(TryStrToFloat(u".5", v, point));
    EXPECT_DOUBLE_EQ(v, 0.5);
    for (const char16_t* bad : {u"", u" ", u"1,5", u"1e", u"0x10", u"inf", u"nan", u"1 2", u"--1", u"1e999"})
        EXPECT_FALSE(TryStrToFloat(bad, v, point)) << StringToUtf8(bad);
    try {
        StrToFloat(u"abc", point);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"'abc' is not a valid floating point value");
    }
}

TEST(FloatText, FixedFormPadsToTheWidth) {
    TFormatSettings comma{};
    comma.DecimalSeparator = u',';
    EXPECT_EQ(FloatToStrFixed(3.14159, 2, 4, {}), u"3.14");
    EXPECT_EQ(FloatToStrFixed(1, 2, 6, comma), u"  1,00");
    EXPECT_EQ(FloatToStrFixed(-2.5, 0, 0, {}), u"-2"); // halves to even, as printf
    EXPECT_EQ(FloatToStrFixed(1e300, 1, 0, {}).size(), 303u);
    EXPECT_EQ(FloatToStrFixed(-INFINITY, 2, 5, {}), u" -INF");
}

TEST(FloatText, TheCLocaleDoesNotChangeTheText) {
    UNDER_COMMA_DECIMAL_LOCALE(locale);
    const TFormatSettings point{};
    EXPECT_EQ(FloatToStr(1.5, point), u"1.5");
    EXPECT_EQ(FloatToStr(-2.25e-7, point), u"-2.25E-7");
    EXPECT_EQ(FloatToStrFixed(2.5, 2, 4, point), u"2.50");
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(u"1.25", v, point));
    EXPECT_DOUBLE_EQ(v, 1.25);
    EXPECT_FALSE(TryStrToFloat(u"1,25", v, point));
}
