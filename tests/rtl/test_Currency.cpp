#include "rtl/Currency.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

using namespace rtl;

namespace {

TFormatSettings Uk() {
    return TFormatSettings{u'/', u':', u'.', u','};
}
TFormatSettings German() {
    return TFormatSettings{u'.', u':', u',', u'.'};
}

std::int64_t Raw(UnicodeStringView s, const TFormatSettings& fs = Uk()) {
    Currency c = Currency::FromRaw(-777);
    if (!TryStrToCurr(s, c, fs))
        return -777;
    return c.Raw();
}

} // namespace

TEST(Currency, ParsesWithTheDecimalSeparator) {
    EXPECT_EQ(Raw(u"1234.5"), 12345000);
    EXPECT_EQ(Raw(u"  -0.01 "), -100);
    EXPECT_EQ(Raw(u"+7"), 70000);
    EXPECT_EQ(Raw(u".5"), 5000);
    EXPECT_EQ(Raw(u"5."), 50000);
    EXPECT_EQ(Raw(u"1234,5", German()), 12345000);
    EXPECT_EQ(Raw(u"1234.5", German()), -777);
}

TEST(Currency, RejectsJunk) {
    for (const char16_t* s : {u"", u"  ", u"-", u".", u"1,234.00", u"1e3", u"12a", u"--1", u"1 2", u"£5"})
        EXPECT_EQ(Raw(s), -777) << std::string(s, s + std::char_traits<char16_t>::length(s));
    EXPECT_THROW(StrToCurr(u"x", Uk()), EConvertError);
    try {
        StrToCurr(u"1e3", Uk());
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"'1e3' is not a valid floating point value");
    }
}

TEST(Currency, FifthDecimalRoundsHalfAwayFromZero) {
    EXPECT_EQ(Raw(u"0.00005"), 1);
    EXPECT_EQ(Raw(u"0.000049999"), 0);
    EXPECT_EQ(Raw(u"-0.00005"), -1);
    EXPECT_EQ(Raw(u"1.23456789"), 12346);
}

TEST(Currency, Utf8TextParsesAsItsDecodedText) {
    const TFormatSettings arabic{u'/', u':', u'\u066B', u'\u066C'};
    const char* inputs[] = {"1234.5",
                            "  -0.01 ",
                            "+7",
                            ".5",
                            "5.",
                            "1234,5",
                            "",
                            " \t ",
                            "-",
                            "1.2.3",
                            "--1",
                            "1e3",
                            "0.00005",
                            "-0.00005",
                            "1.23456789",
                            "0.000049999",
                            "922337203685477.5807",
                            "922337203685477.58075",
                            "99999999999999999999",
                            "\xC2\xA3"
                            "5",
                            "12\xC2\xA0",
                            "12\xD9\xAB"
                            "34",
                            "\xD9\xAB"
                            "5",
                            "12\xFF"
                            "34",
                            "1\xD9"};
    for (const TFormatSettings& settings : {Uk(), German(), arabic}) {
        for (const char* input : inputs) {
            Currency fromText = Currency::FromRaw(-777);
            Currency fromBytes = Currency::FromRaw(-777);
            const bool textOk = TryStrToCurr(Utf8ToString(input), fromText, settings);
            EXPECT_EQ(TryUtf8ToCurr(input, fromBytes, settings), textOk) << input;
            EXPECT_EQ(fromBytes, fromText) << input;
        }
    }
    Currency value;
    ASSERT_TRUE(TryUtf8ToCurr("12\xD9\xAB"
                              "34",
                              value, arabic));
    EXPECT_EQ(value.Raw(), 123400);
    ASSERT_TRUE(TryUtf8ToCurr(" -2.99995\n", value, Uk()));
    EXPECT_EQ(value.Raw(), -30000);
}

TEST(Currency, LimitsAndOverflow) {
    EXPECT_EQ(Raw(u"922337203685477.5807"), INT64_MAX);
    EXPECT_EQ(Raw(u"-922337203685477.5808"), INT64_MIN);
    EXPECT_EQ(Raw(u"922337203685477.5808"), -777);
    EXPECT_EQ(Raw(u"922337203685477.58075"), -777); // rounding pushes past the limit
    EXPECT_EQ(Raw(u"99999999999999999999"), -777);
    EXPECT_EQ(Raw(u"1000000000000000"), -777) << "sixteen digits";
    EXPECT_EQ(Raw(u"-0000000000000000000001.50"), -15000) << "leading zeros are not counted";
    EXPECT_EQ(Raw(u"00"), 0);
}

TEST(Currency, ExactArithmetic) {
    Currency total;
    for (int i = 0; i < 10; ++i)
        total += StrToCurr(u"0.1", Uk());
    EXPECT_EQ(total, Currency::FromPounds(1));
    EXPECT_EQ(-(Currency::FromPounds(3) - Currency::FromRaw(1)), Currency::FromRaw(-29999));
    EXPECT_LT(Currency::FromRaw(-1), Currency());
}

// A sum of amounts read from files must never wrap round into a plausible wrong figure.
TEST(Currency, ArithmeticThatWouldOverflowRaises) {
    const Currency max = Currency::FromRaw(INT64_MAX);
    const Currency min = Currency::FromRaw(INT64_MIN);
    Currency c = max;
    EXPECT_THROW(c += Currency::FromRaw(1), EOverflow);
    EXPECT_EQ(c, max) << "the value is left as it was";
    EXPECT_THROW(min - Currency::FromRaw(1), EOverflow);
    EXPECT_THROW(-min, EOverflow);
    EXPECT_THROW(Currency::FromPounds(INT64_MAX / 10000 + 1), EOverflow);
    EXPECT_EQ(max + min, Currency::FromRaw(-1));
    Currency sum = Currency::FromRaw(5);
    EXPECT_FALSE(TryAdd(max, Currency::FromRaw(1), sum));
    EXPECT_EQ(sum, Currency::FromRaw(5));
    EXPECT_TRUE(TryAdd(max, Currency::FromRaw(-1), sum));
    EXPECT_EQ(sum, Currency::FromRaw(INT64_MAX - 1));
}

TEST(Currency, TwoDecimalTextRoundsHalfAwayFromZero) {
    EXPECT_EQ(CurrToStrF2(Currency::FromRaw(12345), Uk()), u"1.23");
    EXPECT_EQ(CurrToStrF2(Currency::FromRaw(12350), Uk()), u"1.24");
    EXPECT_EQ(CurrToStrF2(Currency::FromRaw(-12350), Uk()), u"-1.24");
    EXPECT_EQ(CurrToStrF2(Currency::FromRaw(-49), Uk()), u"0.00");
    EXPECT_EQ(CurrToStrF2(Currency::FromPounds(1234567), German()), u"1234567,00");
    EXPECT_EQ(CurrToStrF2(Currency::FromRaw(INT64_MIN), Uk()), u"-922337203685477.58");
}

TEST(Currency, PatternFormatting) {
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency::FromRaw(12345000), Uk()), u"£1,234.50");
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency::FromRaw(-12345000), Uk()), u"-£1,234.50");
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency::FromRaw(-5000), Uk()), u"-£0.50");
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency(), Uk()), u"£0.00");
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency::FromRaw(9999950), Uk()), u"£1,000.00");
    EXPECT_EQ(FormatCurr(u"£#,##0.00", Currency::FromPounds(123456789), German()), u"£123.456.789,00");
    EXPECT_EQ(FormatCurr(u"#,##0.00 'GBP'", Currency::FromPounds(999), Uk()), u"999.00 GBP");
    EXPECT_EQ(FormatCurr(u"0.##", Currency::FromRaw(15000), Uk()), u"1.5");
}
