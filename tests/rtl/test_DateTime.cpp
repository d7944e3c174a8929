#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rtl;

namespace {

struct TYmd {
    int y, m, d;
    bool operator==(const TYmd&) const = default;
};

TYmd Ymd(TDateTime v) {
    TYmd r{};
    DecodeDate(v, r.y, r.m, r.d);
    return r;
}

TFormatSettings Settings(char16_t date, char16_t time) {
    TFormatSettings fs;
    fs.DateSeparator = date;
    fs.TimeSeparator = time;
    return fs;
}

} // namespace

TEST(DateTime, EncodeKnownDays) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2024, 3, 5), 45356.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
}

TEST(DateTime, RejectsImpossibleDates) {
    TDateTime d = 123;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, d));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d)); // century, not leap
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, d));  // 400-year rule
    EXPECT_FALSE(TryEncodeDate(2024, 4, 31, d));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, d));
    EXPECT_FALSE(TryEncodeDate(2024, 0, 1, d));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, d));
    EXPECT_FALSE(TryEncodeDate(2024, 1, 0, d));
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, d));
    EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, d));
}

TEST(DateTime, DecodeRoundTripsEveryDayOfSeveralCenturies) {
    for (int y : {1, 1600, 1899, 1900, 2000, 2023, 2024, 9999})
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= DaysInAMonth(y, m); ++d)
                ASSERT_EQ(Ymd(EncodeDate(y, m, d)), (TYmd{y, m, d})) << y << "-" << m << "-" << d;
}

TEST(DateTime, ConsecutiveDaysEncodeOneApart) {
    TDateTime previous = EncodeDate(1898, 12, 31);
    for (int y = 1899; y <= 2101; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= DaysInAMonth(y, m); ++d) {
                const TDateTime day = EncodeDate(y, m, d);
                ASSERT_EQ(day, previous + 1) << y << "-" << m << "-" << d;
                previous = day;
            }
}

TEST(DateTime, NegativeValuesKeepTheTimeInTheAbsoluteFraction) {
    // -1.25 is 29 December 1899, 06:00.
    EXPECT_EQ(Ymd(-1.25), (TYmd{1899, 12, 29}));
    int h, n, s, z;
    DecodeTime(-1.25, h, n, s, z);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn", -1.25), u"1899-12-29 06:00");
    // One hour later is 07:00 on the same day: -1.2916..., not -1.25 + 1/24.
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn", IncHour(-1.25)), u"1899-12-29 07:00");
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn", IncHour(-1.25, 18)), u"1899-12-30 00:00");
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn", IncHour(0.0, -1)), u"1899-12-29 23:00");
    EXPECT_EQ(DayOfWeek(-1.25), 6); // Friday
    EXPECT_EQ(DateOf(-1.25), -1.0);
}

TEST(DateTime, DayOfWeekSundayIsOne) {
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7); // Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 3)), 1);   // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 5)), 3);   // Tuesday
}

TEST(DateTime, CalendarIncrementsClampToMonthEnd) {
    EXPECT_EQ(Ymd(IncMonth(EncodeDate(2024, 1, 31))), (TYmd{2024, 2, 29}));
    EXPECT_EQ(Ymd(IncMonth(EncodeDate(2023, 1, 31))), (TYmd{2023, 2, 28}));
    EXPECT_EQ(Ymd(IncMonth(EncodeDate(2024, 3, 31), -1)), (TYmd{2024, 2, 29}));
    EXPECT_EQ(Ymd(IncMonth(EncodeDate(2024, 1, 15), -13)), (TYmd{2022, 12, 15}));
    EXPECT_EQ(Ymd(IncMonth(EncodeDate(2023, 12, 31), 3)), (TYmd{2024, 3, 31}));
    EXPECT_EQ(Ymd(IncYear(EncodeDate(2024, 2, 29))), (TYmd{2025, 2, 28}));
    EXPECT_EQ(Ymd(IncYear(EncodeDate(2024, 2, 29), 4)), (TYmd{2028, 2, 29}));
    EXPECT_EQ(Ymd(IncDay(EncodeDate(2024, 2, 28), 2)), (TYmd{2024, 3, 1}));
    EXPECT_THROW(IncYear(EncodeDate(9999, 1, 1)), EConvertError);
    // The time of day is kept.
    const TDateTime t = EncodeDate(2024, 1, 31) + EncodeTime(13, 45, 0, 0);
    EXPECT_EQ(FormatDateTime(u"dd/mm/yyyy hh:nn", IncMonth(t), Settings(u'/', u':')), u"29/02/2024 13:45");
}

TEST(DateTime, SmallUnitsCrossMidnight) {
    const TDateTime t = EncodeDate(2023, 12, 31) + EncodeTime(23, 59, 59, 999);
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss.zzz", IncMilliSecond(t)), u"2024-01-01 00:00:00.000");
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss", IncSecond(t, -60)), u"2023-12-31 23:58:59");
    EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn", IncMinute(t, 2)), u"2024-01-01 00:01");
}

TEST(DateTime, FormatPatternsAndSeparators) {
    const TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
    EXPECT_EQ(FormatDateTime(u"dd/mm/yyyy", t, Settings(u'.', u':')), u"05.03.2024");
    EXPECT_EQ(FormatDateTime(u"yyyy/mm/dd", t, Settings(u'-', u':')), u"2024-03-05");
    EXPECT_EQ(FormatDateTime(u"d/m/yy h:n:s", t, Settings(u'/', u'.')), u"5/3/24 14.7.9");
    EXPECT_EQ(FormatDateTime(u"hh:mm z zzz", t, Settings(u'/', u':')), u"14:07 45 045");
    EXPECT_EQ(FormatDateTime(u"ddd, dd mmm yyyy hh':'nn':'ss 'GMT'", t, Settings(u'/', u'.')),
              u"Tue, 05 Mar 2024 14:07:09 GMT");
    EXPECT_EQ(FormatDateTime(u"yyyy'-'mm'-'dd'T'hh':'nn':'ss'Z'", t), u"2024-03-05T14:07:09Z");
    EXPECT_EQ(FormatDateTime(u"\"day\" d", t), u"day 5");
    EXPECT_EQ(FormatDateTime(u"dd/mm/yyyy", 0.0, Settings(u'/', u':')), u"30/12/1899");
}

TEST(DateTime, UnixConversions) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(DateTimeToUnix(EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0)), 1709647629);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(-86400 * 30000LL)), -86400 * 30000LL);
    const TDateTime now = NowUtc();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_NEAR(UtcToLocal(LocalToUtc(now)), now, 1e-9);
}

TEST(DateTime, OutOfRangeArithmeticAndValuesAreSafe) {
    EXPECT_THROW(IncMilliSecond(0.0, INT64_MAX), EConvertError);
    EXPECT_THROW(IncHour(0.0, INT64_MIN), EConvertError);
    EXPECT_THROW(IncDay(EncodeDate(9999, 12, 31)), EConvertError);
    EXPECT_EQ(FormatDateTime(u"mmm", -800000.0), u""); // before year 1: no month name
}

TEST(DateTime, DateAndTimeInOneValueOrderBeforeDayZero) {
    // Before day zero the time of day is subtracted, so plain comparison of the doubles misorders.
    const TDateTime morning = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
    const TDateTime evening = EncodeDateTime(1899, 12, 29, 18, 0, 0, 0);
    EXPECT_EQ(morning, -1.25);
    EXPECT_EQ(evening, -1.75);
    EXPECT_EQ(CompareDateTime(morning, evening), -1);
    EXPECT_EQ(MilliSecondDifference(evening, morning), 12 * 3600000LL);
    EXPECT_EQ(MilliSecondDifference(EncodeDateTime(1900, 1, 1, 0, 0, 0, 0), evening), 54 * 3600000LL);
    EXPECT_EQ(CompareDateTime(1.5, 1.5 + 1e-10), 0);
    EXPECT_THROW(EncodeDateTime(2024, 2, 30, 0, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeDateTime(2024, 2, 1, 24, 0, 0, 0), EConvertError);
}

TEST(DateTime, ValidValuesSpanYearsOneToNineThousandNineHundredNinetyNine) {
    EXPECT_TRUE(IsValidDateTime(EncodeDateTime(1, 1, 1, 0, 0, 0, 0)));
    EXPECT_TRUE(IsValidDateTime(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999)));
    EXPECT_FALSE(IsValidDateTime(EncodeDate(9999, 12, 31) + 0.99999999999));
    EXPECT_FALSE(IsValidDateTime(EncodeDate(1, 1, 1) - 1));
    EXPECT_FALSE(IsValidDateTime(std::nan("")));
    EXPECT_FALSE(IsValidDateTime(1e300));
}
