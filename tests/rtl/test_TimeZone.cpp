#include "rtl/TimeZone.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using namespace rtl;

namespace {

TDateTime At(int y, int mo, int d, int h, int mi = 0, int s = 0) {
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

UnicodeString Text(TDateTime value) {
    return FormatDateTime(u"yyyy-mm-dd hh:nn:ss", value);
}

// Each test runs in a fixed zone and leaves the process's zone as it found it.
class TimeZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        _blHadZone = tz != nullptr;
        _szZone = tz ? Utf8ToString(tz) : UnicodeString();
        if (!TTimeZone::SelectLocal(u"UTC"))
            GTEST_SKIP() << "the platform does not select zones by name";
    }
    void TearDown() override {
        if (!_blHadZone || !TTimeZone::SelectLocal(_szZone))
            TTimeZone::SelectLocal(u"");
    }
    // The zone database (tzdata) is a dependency of the tests.
    static void Use(UnicodeStringView zone) {
        ASSERT_TRUE(TTimeZone::SelectLocal(zone)) << StringToUtf8(zone);
    }
    static const TTimeZone& Zone() { return TTimeZone::Local(); }

private:
    bool _blHadZone = false;
    UnicodeString _szZone;
};

TEST_F(TimeZoneTest, UtcIsTheIdentity) {
    Use(u"UTC");
    const TDateTime t = At(2024, 7, 1, 12, 34, 56);
    EXPECT_EQ(Zone().UtcOffsetSeconds(t), 0);
    EXPECT_EQ(Text(Zone().ToLocalTime(t)), Text(t));
    EXPECT_EQ(Text(Zone().ToUniversalTime(t)), Text(t));
    EXPECT_EQ(Text(UtcToLocal(t)), Text(t));
}

TEST_F(TimeZoneTest, LondonSummerWinterAndHistory) {
    Use(u"Europe/London");
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 7, 1, 12)), 3600);
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 1, 15, 12)), 0);
    // From 1968 to 1971 Britain kept summer time all year: the database knows, a fixed rule would not.
    EXPECT_EQ(Text(Zone().ToLocalTime(At(1970, 1, 1, 0))), u"1970-01-01 01:00:00");
    EXPECT_EQ(Text(LocalToUtc(At(2024, 7, 1, 13))), u"2024-07-01 12:00:00");
}

TEST_F(TimeZoneTest, LondonSkippedHourMovesForward) {
    Use(u"Europe/London"); // 31 March 2024: 01:00 GMT becomes 02:00 BST
    EXPECT_FALSE(Zone().IsInvalidTime(At(2024, 3, 31, 0, 59, 59)));
    EXPECT_TRUE(Zone().IsInvalidTime(At(2024, 3, 31, 1, 30)));
    EXPECT_FALSE(Zone().IsInvalidTime(At(2024, 3, 31, 2, 0)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 3, 31, 0, 59, 59))), u"2024-03-31 00:59:59");
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 3, 31, 1, 30))), u"2024-03-31 01:30:00");
    EXPECT_EQ(Text(Zone().ToLocalTime(At(2024, 3, 31, 1, 30))), u"2024-03-31 02:30:00");
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 3, 31, 2, 0))), u"2024-03-31 01:00:00");
}

TEST_F(TimeZoneTest, LondonRepeatedHourIsFirstOccurrence) {
    Use(u"Europe/London"); // 27 October 2024: 02:00 BST becomes 01:00 GMT
    EXPECT_TRUE(Zone().IsAmbiguousTime(At(2024, 10, 27, 1, 30)));
    EXPECT_FALSE(Zone().IsAmbiguousTime(At(2024, 10, 27, 2, 0)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 10, 27, 1, 30))), u"2024-10-27 00:30:00");
    EXPECT_EQ(Text(Zone().ToLocalTime(At(2024, 10, 27, 0, 30))), u"2024-10-27 01:30:00");
    EXPECT_EQ(Text(Zone().ToLocalTime(At(2024, 10, 27, 1, 30))), u"2024-10-27 01:30:00");
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 10, 27, 0, 59))), u"2024-10-26 23:59:00");
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 10, 27, 2, 0))), u"2024-10-27 02:00:00");
}

TEST_F(TimeZoneTest, NewYorkBothChanges) {
    Use(u"America/New_York");
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 1, 15, 12)), -5 * 3600);
    EXPECT_TRUE(Zone().IsInvalidTime(At(2024, 3, 10, 2, 30)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 3, 10, 2, 30))), u"2024-03-10 07:30:00"); // 03:30 EDT
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 3, 10, 3, 0))), u"2024-03-10 07:00:00");
    EXPECT_TRUE(Zone().IsAmbiguousTime(At(2024, 11, 3, 1, 30)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 11, 3, 1, 30))), u"2024-11-03 05:30:00"); // EDT
    EXPECT_EQ(Text(Zone().ToLocalTime(At(2024, 11, 3, 6, 30))), u"2024-11-03 01:30:00");     // EST
}

TEST_F(TimeZoneTest, AucklandSouthernSummerAcrossTheDateLine) {
    Use(u"Pacific/Auckland");
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 1, 15, 0)), 13 * 3600);
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 7, 15, 0)), 12 * 3600);
    // 29 September 2024: 02:00 NZST becomes 03:00 NZDT.
    EXPECT_TRUE(Zone().IsInvalidTime(At(2024, 9, 29, 2, 30)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 9, 29, 2, 30))), u"2024-09-28 14:30:00");
    // 7 April 2024: 03:00 NZDT becomes 02:00 NZST.
    EXPECT_TRUE(Zone().IsAmbiguousTime(At(2024, 4, 7, 2, 30)));
    EXPECT_EQ(Text(Zone().ToUniversalTime(At(2024, 4, 7, 2, 30))), u"2024-04-06 13:30:00");
    EXPECT_EQ(Text(Zone().ToLocalTime(At(2024, 4, 6, 14, 30))), u"2024-04-07 02:30:00");
}

TEST_F(TimeZoneTest, RoundTripsEveryHourOfAYear) {
    for (UnicodeStringView zone : {u"Europe/London", u"America/New_York", u"Pacific/Auckland"}) {
        Use(zone);
        int repeated = 0;
        for (int hour = 0; hour < 366 * 24; ++hour) {
            const TDateTime utc = IncMinute(At(2024, 1, 1, 0), hour * 60LL + 17);
            const TDateTime local = Zone().ToLocalTime(utc);
            const TDateTime back = Zone().ToUniversalTime(local);
            // Only the second showing of a repeated hour maps back to the first.
            if (CompareDateTime(back, utc) != 0) {
                ++repeated;
                EXPECT_TRUE(Zone().IsAmbiguousTime(local)) << StringToUtf8(Text(utc));
                EXPECT_EQ(MilliSecondDifference(utc, back), 3600000);
            }
        }
        EXPECT_EQ(repeated, 1) << StringToUtf8(zone);
    }
}

TEST_F(TimeZoneTest, EdgesOfTheRangeAndBadValues) {
    Use(u"Pacific/Auckland");
    EXPECT_THROW(Zone().ToLocalTime(At(9999, 12, 31, 20)), EConvertError);
    EXPECT_EQ(Text(Zone().ToLocalTime(At(1, 1, 1, 0))).substr(0, 10), u"0001-01-01");
    EXPECT_THROW(Zone().ToLocalTime(std::numeric_limits<double>::quiet_NaN()), EConvertError);
    EXPECT_THROW(Zone().ToUniversalTime(1e300), EConvertError);
    EXPECT_FALSE(TTimeZone::SelectLocal(u"No/Such_Zone"));
    EXPECT_FALSE(TTimeZone::SelectLocal(u"../../etc/passwd"));
    EXPECT_EQ(Zone().UtcOffsetSeconds(At(2024, 1, 15, 0)), 13 * 3600); // unchanged by the refusals
}

} // namespace
