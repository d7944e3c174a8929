#include "utils/text/ORVI.DateUtils.h"

#include "rtl/Exceptions.h"
#include "rtl/TimeZone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

using namespace orvi;
using rtl::EConvertError;
using rtl::TDateTime;
using rtl::UnicodeString;

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return rtl::EncodeDateTime(y, mo, d, h, mi, s, ms);
}

std::string Text(TDateTime value) {
    return rtl::StringToUtf8(rtl::FormatDateTime(u"yyyy-mm-dd hh:nn:ss.zzz", value));
}

// The message of the conversion error that reading raises, or "" when it does not raise.
template <class F> UnicodeString ErrorOf(F read, const UnicodeString& text) {
    try {
        read(text);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return u"";
}

UnicodeString Unable(const UnicodeString& text) {
    return u"Unable to convert \"" + text + u"\" to TDateTime";
}

UnicodeString WrongDay(const UnicodeString& text) {
    return u"Convert \"" + text + u"\" to TDateTime but found a different day of week";
}

TEST(DateUtilsSentinels, AreTheOutermostBoundedMoments) {
    EXPECT_EQ(Text(ORVISinceForever), "0878-01-01 01:00:00.000");
    EXPECT_EQ(Text(ORVIForForever), "5999-12-31 23:59:59.999");
}

TEST(DateUtilsWrite, FourFormsOfOneMoment) {
    const TDateTime t = At(2024, 3, 5, 14, 7, 9, 800); // milliseconds are dropped, not rounded
    EXPECT_EQ(GMTimeToHTTPDate(t), u"Tue, 05 Mar 2024 14:07:09 GMT");
    EXPECT_EQ(GMTimeToRFC822Date(t), u"Tue, 05 Mar 2024 14:07:09 +0000");
    EXPECT_EQ(GMTimeToRFC5322Date(t), u"Tue, 05 Mar 2024 14:07:09 +0000");
    EXPECT_EQ(GMTimeToXMLDate(t), u"2024-03-05T14:07:09Z");
    EXPECT_EQ(GMTimeToXMLDate(At(1066, 10, 14, 9)), u"1066-10-14T09:00:00Z"); // before day zero
}

TEST(DateUtilsWrite, ZeroMeansNowAndImpossibleValuesFail) {
    const TDateTime before = rtl::IncSecond(rtl::NowUtc(), -1);
    const TDateTime written = XMLDateToGMTime(GMTimeToXMLDate(2e-9));
    EXPECT_GE(rtl::CompareDateTime(written, before), 0);
    EXPECT_LE(rtl::CompareDateTime(written, rtl::NowUtc()), 0);
    for (const TDateTime bad : {1e300, -1e7, std::nan(""), At(9999, 12, 31) + 0.99999999999}) {
        try {
            GMTimeToHTTPDate(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), u"Unable to create formatted string from TDateTime");
        }
        EXPECT_THROW(LocalTimeToXMLDate(bad), EConvertError);
    }
}

TEST(DateUtilsRead, HTTP) {
    EXPECT_EQ(Text(HTTPDateToGMTime(u"Tue, 05 Mar 2024 14:07:09 GMT")), "2024-03-05 14:07:09.000");
    EXPECT_EQ(Text(HTTPDateToGMTime(u"tue, 05 mar 2024 14:07:09 GMT")), "2024-03-05 14:07:09.000");
    EXPECT_EQ(Text(HTTPDateToGMTime(u"TUE, 05 MAR 2024 14:07:09 GMT")), "2024-03-05 14:07:09.000");
    EXPECT_EQ(ErrorOf(HTTPDateToGMTime, u"Wed, 05 Mar 2024 14:07:09 GMT"),
              WrongDay(u"Wed, 05 Mar 2024 14:07:09 GMT"));
    EXPECT_EQ(ErrorOf(HTTPDateToGMTime, u"Xyz, 05 Mar 2024 14:07:09 GMT"),
              WrongDay(u"Xyz, 05 Mar 2024 14:07:09 GMT"));
    for (const UnicodeString bad :
         {u"Tue, 05 Mxr 2024 14:07:09 GMT", u"Tue, 05 Mar 2024 14:07:09 gmt", u"Tue, 5 Mar 2024 14:07:09 GMT",
          u"Tue, 05 Mar 2024 14:07:09 GMT\n", u" Tue, 05 Mar 2024 14:07:09 GMT",
          u"Tue, 05 Mar 2024 14:07 GMT", u"Tue, 05 Mar 2024 14:07:09 +0000", u"",
          u"Tue, \u0665\u0665 Mar 2024 14:07:09 GMT"})
        EXPECT_EQ(ErrorOf(HTTPDateToGMTime, bad), Unable(bad));
    // Impossible fields are refused by the calendar with its own conversion error.
    for (const UnicodeString bad : {u"Sat, 31 Feb 2024 14:07:09 GMT", u"Tue, 05 Mar 2024 24:00:00 GMT",
                                    u"Tue, 05 Mar 2024 23:59:60 GMT", u"Sat, 01 Jan 0000 00:00:00 GMT",
                                    u"Tue, 00 Mar 2024 14:07:09 GMT"})
        EXPECT_THROW(HTTPDateToGMTime(bad), EConvertError) << rtl::StringToUtf8(bad);
}

TEST(DateUtilsRead, RFC5322) {
    EXPECT_EQ(Text(RFC5322DateToGMTime(u"05 Mar 2024 14:07 +0100")), "2024-03-05 13:07:00.000");
    EXPECT_EQ(Text(RFC5322DateToGMTime(u"Tue, 05 Mar 2024 14:07:09 -0530")), "2024-03-05 19:37:09.000");
    EXPECT_EQ(Text(RFC5322DateToGMTime(u"sat, 01 Jan 2000 00:30:00 +1400")), "1999-12-31 10:30:00.000");
    EXPECT_EQ(Text(RFC5322DateToGMTime(u"01 Jan 2000 00:30 +1300")), "1999-12-31 11:30:00.000");
    EXPECT_EQ(Text(RFC5322DateToGMTime(u"31 Dec 2023 20:00 -1459")), "2024-01-01 10:59:00.000");
    EXPECT_EQ(ErrorOf(RFC5322DateToGMTime, u"Wed, 05 Mar 2024 14:07 +0000"),
              WrongDay(u"Wed, 05 Mar 2024 14:07 +0000"));
    for (const UnicodeString bad :
         {u"05 mar 2024 14:07 +0100", u"05 Mar 2024 14:07 +1500", u"05 Mar 2024 14:07 +0060",
          u"05 Mar 2024 14:07 GMT", u"05 Mar 24 14:07 +0000", u"05 Mar 2024 14:07:9 +0000",
          u"Tue 05 Mar 2024 14:07 +0000"})
        EXPECT_EQ(ErrorOf(RFC5322DateToGMTime, bad), Unable(bad));
    // The zone may carry a moment past either end of the calendar: such a text does not convert.
    for (const UnicodeString beyond : {u"01 Jan 0001 00:00 +0100", u"31 Dec 9999 23:00 -1400"}) {
        EXPECT_EQ(ErrorOf(RFC5322DateToGMTime, beyond), Unable(beyond));
        EXPECT_EQ(ErrorOf(RFC822DateToGMTime, beyond), Unable(beyond));
    }
}

TEST(DateUtilsRead, RFC822YearsAndZones) {
    EXPECT_EQ(Text(RFC822DateToGMTime(u"05 Mar 24 14:07 EST")), "2024-03-05 19:07:00.000");
    EXPECT_EQ(Text(RFC822DateToGMTime(u"Fri, 05 Mar 99 14:07 GMT")), "1999-03-05 14:07:00.000");
    EXPECT_EQ(Text(RFC822DateToGMTime(u"05 Mar 1999 14:07 GMT")), "1999-03-05 14:07:00.000");
    EXPECT_EQ(Text(RFC822DateToGMTime(u"05 Mar 79 14:07 GMT")), "2079-03-05 14:07:00.000");
    EXPECT_EQ(Text(RFC822DateToGMTime(u"05 Mar 80 14:07 GMT")), "1980-03-05 14:07:00.000");
    EXPECT_EQ(Text(RFC822DateToGMTime(u"05 Mar 2024 14:07:30 +1400")), "2024-03-05 00:07:30.000");
    const struct {
        const char16_t* zone;
        int hours;
    } table[] = {{u"GMT", 0},  {u"UTC", 0},  {u"UT", 0},   {u"Z", 0},    {u"A", -1},   {u"B", -2},
                 {u"C", -3},   {u"D", -4},   {u"E", -5},   {u"F", -6},   {u"G", -7},   {u"H", -8},
                 {u"I", -9},   {u"K", -10},  {u"L", -11},  {u"M", -12},  {u"N", 1},    {u"O", 2},
                 {u"P", 3},    {u"Q", 4},    {u"R", 5},    {u"S", 6},    {u"T", 7},    {u"U", 8},
                 {u"V", 9},    {u"W", 10},   {u"X", 11},   {u"Y", 12},   {u"EDT", -4}, {u"EST", -5},
                 {u"CDT", -5}, {u"CST", -6}, {u"MDT", -6}, {u"MST", -7}, {u"PDT", -7}, {u"PST", -8}};
    const TDateTime stated = At(2024, 3, 5, 12);
    for (const auto& row : table) {
        const UnicodeString text = u"Tue, 05 Mar 2024 12:00 " + UnicodeString(row.zone);
        EXPECT_EQ(Text(RFC822DateToGMTime(text)), Text(rtl::IncHour(stated, -row.hours)))
            << rtl::StringToUtf8(text);
    }
    for (const UnicodeString bad : {u"05 Mar 2024 12:00 J", u"05 Mar 2024 12:00 est",
                                    u"05 Mar 2024 12:00 BST", u"05 Mar 2024 12:00 gmt", u"05 Mar 2 12:00 GMT",
                                    u"05 Mar 20245 12:00 GMT", u"05 Mar 2024 12:00 +1500"})
        EXPECT_EQ(ErrorOf(RFC822DateToGMTime, bad), Unable(bad));
}

TEST(DateUtilsRead, XML) {
    EXPECT_EQ(Text(XMLDateToGMTime(u"2024-03-05T14:07:09Z")), "2024-03-05 14:07:09.000");
    EXPECT_EQ(Text(XMLDateToGMTime(u"1066-10-14T09:00:00Z")), "1066-10-14 09:00:00.000");
    EXPECT_EQ(Text(XMLDateToGMTime(u"2024-02-29")), "2024-02-29 00:00:00.000");
    EXPECT_EQ(XMLDateToGMTime(u"14:07:09"), rtl::EncodeTime(14, 7, 9, 0));
    for (const UnicodeString bad : {u"2024-02-30", u"2023-02-29T00:00:00Z", u"2024-13-01", u"0000-01-01",
                                    u"2024-01-01T24:00:00Z", u"23:59:60", u"23:60:00"})
        EXPECT_EQ(ErrorOf(XMLDateToGMTime, bad), Unable(bad));
    for (const UnicodeString none :
         {u"", u"2024-03-05T14:07:09", u"2024-03-05 14:07:09Z", u"garbage", u"2024-3-5"})
        EXPECT_EQ(XMLDateToGMTime(none), 0.0);
}

// Random moments of years 1 to 9999, whole seconds, written and read back in every form.
TEST(DateUtilsRoundTrip, EveryFormGivesBackTheMoment) {
    std::mt19937_64 random(20240305);
    std::uniform_int_distribution<std::int64_t> seconds(0, rtl::DateTimeToUnix(At(9999, 12, 31, 23, 59, 59)) -
                                                               rtl::DateTimeToUnix(At(1, 1, 1)));
    for (int i = 0; i < 2000; ++i) {
        const TDateTime t = rtl::IncSecond(At(1, 1, 1), seconds(random));
        EXPECT_EQ(rtl::CompareDateTime(HTTPDateToGMTime(GMTimeToHTTPDate(t)), t), 0) << Text(t);
        EXPECT_EQ(rtl::CompareDateTime(RFC822DateToGMTime(GMTimeToRFC822Date(t)), t), 0) << Text(t);
        EXPECT_EQ(rtl::CompareDateTime(RFC5322DateToGMTime(GMTimeToRFC5322Date(t)), t), 0) << Text(t);
        EXPECT_EQ(rtl::CompareDateTime(XMLDateToGMTime(GMTimeToXMLDate(t)), t), 0) << Text(t);
    }
}

// Local forms in two zones; the process's zone is restored afterwards.
class DateUtilsLocal : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        _szZone = tz ? rtl::Utf8ToString(tz) : UnicodeString();
        if (!rtl::TTimeZone::SelectLocal(u"UTC"))
            GTEST_SKIP() << "the platform does not select zones by name";
    }
    void TearDown() override {
        if (_szZone.empty() || !rtl::TTimeZone::SelectLocal(_szZone))
            rtl::TTimeZone::SelectLocal(u"");
    }

private:
    UnicodeString _szZone;
};

TEST_F(DateUtilsLocal, LondonAndAuckland) {
    ASSERT_TRUE(rtl::TTimeZone::SelectLocal(u"Europe/London"));
    EXPECT_EQ(LocalTimeToHTTPDate(At(2024, 7, 1, 13, 0, 5)), u"Mon, 01 Jul 2024 12:00:05 GMT");
    EXPECT_EQ(LocalTimeToXMLDate(At(2024, 1, 1, 13)), u"2024-01-01T13:00:00Z");
    EXPECT_EQ(LocalTimeToRFC822Date(At(2024, 3, 31, 1, 30)),
              u"Sun, 31 Mar 2024 01:30:00 +0000"); // skipped hour
    EXPECT_EQ(LocalTimeToRFC5322Date(At(2024, 10, 27, 1, 30)),
              u"Sun, 27 Oct 2024 00:30:00 +0000"); // repeated
    EXPECT_EQ(Text(RFC5322DateToLocalTime(u"Mon, 01 Jul 2024 12:00 +0000")), "2024-07-01 13:00:00.000");
    EXPECT_EQ(Text(XMLDateToLocalTime(u"2024-07-01")), "2024-07-01 01:00:00.000");

    ASSERT_TRUE(rtl::TTimeZone::SelectLocal(u"Pacific/Auckland"));
    EXPECT_EQ(LocalTimeToHTTPDate(At(2024, 1, 1, 12)), u"Sun, 31 Dec 2023 23:00:00 GMT");
    EXPECT_EQ(LocalTimeToXMLDate(At(2024, 7, 1, 12)), u"2024-07-01T00:00:00Z");
    EXPECT_EQ(Text(HTTPDateToLocalTime(u"Sun, 31 Dec 2023 23:00:00 GMT")), "2024-01-01 12:00:00.000");
    EXPECT_EQ(Text(RFC822DateToLocalTime(u"30 Jun 24 12:00 EDT")), "2024-07-01 04:00:00.000");
    // Day zero is a moment like any other: midnight and one second later stay one second apart.
    EXPECT_EQ(rtl::MilliSecondDifference(XMLDateToLocalTime(u"00:00:01"), XMLDateToLocalTime(u"00:00:00")), 1000);
    EXPECT_NE(XMLDateToLocalTime(u"00:00:00"), 0.0);
    // Past the end of the calendar once in local time.
    EXPECT_THROW(XMLDateToLocalTime(u"9999-12-31T23:00:00Z"), EConvertError);
    // Zero still means now, in GMT.
    const TDateTime now = XMLDateToGMTime(LocalTimeToXMLDate(0));
    EXPECT_LE(std::llabs(rtl::MilliSecondDifference(rtl::NowUtc(), now)), 5000);
}

// --- Intervals ---------------------------------------------------------------------------

TEST(DateUtilsInterval, DescribesCalendarIntervalsBothWays) {
    const struct {
        TDateTime from, to;
        const char16_t* forward;
        const char16_t* backward;
    } cases[] = {
        {At(2024, 1, 1), At(2024, 1, 2, 1, 30), u"1 day, 1 hour, 30 minutes",
         u"-1 day, -1 hour, -30 minutes"},
        {At(2023, 12, 31), At(2024, 1, 1), u"1 day", u"-1 day"},
        {At(2024, 1, 31), At(2024, 2, 1), u"1 day", u"-1 day"},
        {At(2024, 1, 31), At(2024, 3, 1), u"1 month, 1 day", u"-1 month, -1 day"},
        {At(2024, 1, 31), At(2024, 2, 29), u"1 month", u"-1 month"},
        {At(2023, 1, 1), At(2024, 3, 1), u"1 year, 2 months", u"-1 year, -2 months"},
        {At(2024, 2, 29), At(2025, 2, 28), u"1 year", u"-1 year"},
        {At(2024, 2, 29), At(2025, 3, 1), u"1 year, 1 day", u"-1 year, -1 day"},
        {At(2024, 2, 29), At(2028, 2, 29), u"4 years", u"-4 years"},
        {At(2023, 12, 31, 23, 59, 59, 999), At(2024, 1, 1), u"1 millisecond", u"-1 millisecond"},
        {At(2024, 3, 31, 12), At(2024, 4, 30, 11), u"29 days, 23 hours", u"-29 days, -23 hours"},
        {At(1899, 12, 29, 18), At(1900, 1, 1, 6, 1, 2), u"2 days, 12 hours, 1 minute, 2 seconds",
         u"-2 days, -12 hours, -1 minute, -2 seconds"},
        {ORVISinceForever, ORVIForForever,
         u"5121 years, 11 months, 30 days, 22 hours, 59 minutes, 59 seconds, 999 milliseconds",
         u"-5121 years, -11 months, -30 days, -22 hours, -59 minutes, -59 seconds, -999 milliseconds"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeInterval(c.from, c.to), c.forward) << Text(c.from) << " to " << Text(c.to);
        EXPECT_EQ(DescribeInterval(c.to, c.from), c.backward) << Text(c.to) << " to " << Text(c.from);
    }
    EXPECT_EQ(DescribeInterval(At(2024, 3, 1), At(2023, 1, 1)), u"-1 year, -2 months");
    EXPECT_EQ(DescribeInterval(At(2024, 5, 5, 5), At(2024, 5, 5, 5)), u"");
    EXPECT_EQ(DescribeInterval(At(2024, 1, 1), rtl::IncMilliSecond(ORVIForForever)), u"for ever");
    EXPECT_EQ(DescribeInterval(rtl::IncMilliSecond(ORVISinceForever, -1), At(2024, 1, 1)), u"for ever");
    EXPECT_EQ(DescribeInterval(std::nan(""), At(2024, 1, 1)), u"for ever");
}

TEST(DateUtilsInterval, EndDateAppliesTheCalendarInterval) {
    EXPECT_EQ(Text(GetIntervalEndDate(At(2024, 1, 1), At(2024, 2, 1), At(2024, 1, 31))),
              "2024-02-29 00:00:00.000");
    EXPECT_EQ(Text(GetIntervalEndDate(At(2024, 3, 1), At(2024, 2, 1), At(2024, 3, 31))),
              "2024-02-29 00:00:00.000");
    EXPECT_EQ(GetIntervalEndDate(At(2024, 1, 1), ORVIForForever + 1, At(2024, 1, 1)), ORVIForForever);
    EXPECT_EQ(GetIntervalEndDate(At(2024, 1, 1), At(2024, 1, 2), ORVISinceForever - 1), ORVIForForever);
    // Bounded inputs give plain dates past the sentinels; beyond the calendar the arithmetic raises.
    EXPECT_EQ(Text(GetIntervalEndDate(At(2024, 1, 1), At(2025, 1, 1), At(5999, 6, 1))), "6000-06-01 00:00:00.000");
    EXPECT_EQ(Text(GetIntervalEndDate(At(2024, 1, 2), At(2024, 1, 1), ORVISinceForever)), "0877-12-31 01:00:00.000");
    EXPECT_THROW(GetIntervalEndDate(At(900, 1, 1), At(5000, 1, 1), At(5999, 1, 1)), EConvertError);
    EXPECT_THROW(GetIntervalEndDate(At(5000, 1, 1), At(1000, 1, 1), At(1000, 1, 1)), EConvertError);
    // An interval applied to its own start ends at its end, whatever the month lengths on the way.
    std::mt19937 random(878);
    std::uniform_int_distribution<std::int64_t> minutes(0, 200LL * 365 * 1440);
    for (int i = 0; i < 3000; ++i) {
        const TDateTime from = rtl::IncMinute(At(1890, 1, 1), minutes(random));
        const TDateTime to = rtl::IncSecond(rtl::IncMinute(from, minutes(random) / 20), i);
        EXPECT_EQ(rtl::CompareDateTime(GetIntervalEndDate(from, to, from), to), 0)
            << Text(from) << " " << Text(to);
    }
}

} // namespace
