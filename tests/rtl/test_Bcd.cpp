#include "rtl/Bcd.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

using namespace rtl;

namespace {
const TFormatSettings kDot{};
TFormatSettings Comma() {
    TFormatSettings fs;
    fs.DecimalSeparator = u',';
    fs.ThousandSeparator = u'.';
    return fs;
}
UnicodeString RoundTrip(UnicodeStringView s, const TFormatSettings& fs = kDot) {
    return BcdToStr(StrToBcd(s, fs), fs);
}
} // namespace

TEST(Bcd, TextReadsAndWritesTheShortestForm) {
    EXPECT_EQ(RoundTrip(u"0"), u"0");
    EXPECT_EQ(RoundTrip(u"-0.000"), u"0");
    EXPECT_EQ(RoundTrip(u"+007.2500"), u"7.25");
    EXPECT_EQ(RoundTrip(u"-.5"), u"-0.5");
    EXPECT_EQ(RoundTrip(u"0.00120"), u"0.0012");
    EXPECT_EQ(RoundTrip(u"12E3"), u"12000");
    EXPECT_EQ(RoundTrip(u"12.5e-4"), u"0.00125");
    EXPECT_EQ(RoundTrip(u"0e999999999999999"), u"0");
    EXPECT_EQ(RoundTrip(u"-1234,5", Comma()), u"-1234,5");
    const TBcd v = StrToBcd(u"0.00120", kDot);
    EXPECT_EQ(BcdPrecision(v), 4); // "0012", all after the point
    EXPECT_EQ(BcdScale(v), 4);
}

TEST(Bcd, TextBeyondTheRecordIsRejected) {
    TBcd v = IntegerToBcd(9);
    const UnicodeString digits64(64, u'9');
    EXPECT_TRUE(TryStrToBcd(digits64, v, kDot));
    EXPECT_EQ(BcdPrecision(v), 64);
    EXPECT_FALSE(TryStrToBcd(digits64 + u"9", v, kDot));
    EXPECT_FALSE(TryStrToBcd(u"1e64", v, kDot));
    EXPECT_TRUE(TryStrToBcd(u"1e63", v, kDot));
    EXPECT_FALSE(TryStrToBcd(u"1e-64", v, kDot));
    EXPECT_TRUE(TryStrToBcd(u"1e-63", v, kDot));
    EXPECT_FALSE(TryStrToBcd(u"1e99999999999999999999", v, kDot));
    EXPECT_TRUE(TryStrToBcd(u"1" + UnicodeString(500, u'0') + u"e-500", v, kDot));
    EXPECT_EQ(BcdToStr(v, kDot), u"1");
    for (const char16_t* bad : {u"", u"-", u".", u"1e", u"1e+", u" 1", u"1 ", u"1,000", u"1.2.3", u"--1"})
        EXPECT_FALSE(TryStrToBcd(bad, v, kDot)) << StringToUtf8(bad);
    try {
        StrToBcd(u"x1", kDot);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid BCD value");
    }
}

TEST(Bcd, CompareOrdersByValueWhateverTheLayout) {
    EXPECT_EQ(BcdCompare(StrToBcd(u"1.50", kDot), StrToBcd(u"001.5", kDot)), 0);
    EXPECT_EQ(BcdCompare(StrToBcd(u"-0", kDot), StrToBcd(u"0.000", kDot)), 0);
    EXPECT_EQ(BcdCompare(StrToBcd(u"2", kDot), StrToBcd(u"19", kDot)), -1);
    EXPECT_EQ(BcdCompare(StrToBcd(u"-2", kDot), StrToBcd(u"-19", kDot)), 1);
    EXPECT_EQ(BcdCompare(StrToBcd(u"-0.001", kDot), StrToBcd(u"0", kDot)), -1);
    EXPECT_EQ(BcdCompare(StrToBcd(u"1.23", kDot), StrToBcd(u"1.2", kDot)), 1);
    EXPECT_EQ(BcdCompare(IntegerToBcd(INT64_MIN), StrToBcd(u"-9223372036854775808", kDot)), 0);
}

TEST(Bcd, RecordsFromDigitsAndNegation) {
    const std::uint8_t d[] = {0, 0, 0, 1, 2, 0};
    const TBcd v = BcdFromDigits(d, 6, 5, true);
    EXPECT_EQ(BcdToStr(v, kDot), u"-0.0012");
    EXPECT_EQ(BcdToStr(BcdNegated(v), kDot), u"0.0012");
    EXPECT_FALSE(IsBcdNegative(BcdNegated(TBcd())));
    EXPECT_THROW(BcdFromDigits(d, 65, 0, false), EBcdOverflowException);
    EXPECT_THROW(BcdFromDigits(d, 6, 64, false), EBcdOverflowException);
}
