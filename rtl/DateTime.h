#pragma once
// TDateTime: days since 30 December 1899, the fraction the time of day; 0 means "no date".
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>

namespace rtl {

using TDateTime = double;
using Word = std::uint16_t;

RTL_API bool IsLeapYear(int year);
RTL_API int DaysInAMonth(int year, int month);
/// False for an impossible date (month 0 or 13, 31 April, 29 February of a common year, year 0).
RTL_API bool TryEncodeDate(int year, int month, int day, TDateTime& result);
/// Raises EConvertError for an impossible date.
RTL_API TDateTime EncodeDate(int year, int month, int day);
RTL_API void DecodeDate(TDateTime value, int& year, int& month, int& day);
RTL_API bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
RTL_API TDateTime EncodeTime(int hour, int min, int sec, int msec);
RTL_API void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
/// A date and a time of day in one value (days before day zero carry the time negated, as the type
/// requires). Raises EConvertError when either part is impossible.
RTL_API TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
/// False for a value that is not a finite date-time of years 1 to 9999 (to the millisecond).
RTL_API bool IsValidDateTime(TDateTime value);
/// -1, 0 or 1 as a is before, at or after b, to the millisecond. Plain comparison of the doubles is
/// wrong before day zero, where a later time of the same day is a more negative number.
RTL_API int CompareDateTime(TDateTime a, TDateTime b);
/// to - from in milliseconds, negative when to is earlier.
RTL_API std::int64_t MilliSecondDifference(TDateTime to, TDateTime from);
/// 1 = Sunday ... 7 = Saturday.
RTL_API int DayOfWeek(TDateTime value);
/// The English three-letter month name ("Jan" for 1); empty outside 1 to 12.
RTL_API UnicodeStringView ShortMonthName(int month);
/// The English three-letter day name ("Sun" for 1, as DayOfWeek counts); empty outside 1 to 7.
RTL_API UnicodeStringView ShortDayName(int day);
/// Calendar increments; a day past the end of the target month is clamped to its last day.
RTL_API TDateTime IncYear(TDateTime value, int years = 1);
RTL_API TDateTime IncMonth(TDateTime value, int months = 1);
RTL_API TDateTime IncDay(TDateTime value, int days = 1);
RTL_API TDateTime IncHour(TDateTime value, std::int64_t hours = 1);
RTL_API TDateTime IncMinute(TDateTime value, std::int64_t minutes = 1);
RTL_API TDateTime IncSecond(TDateTime value, std::int64_t seconds = 1);
RTL_API TDateTime IncMilliSecond(TDateTime value, std::int64_t msecs = 1);
/// The date part (time of day dropped).
RTL_API TDateTime DateOf(TDateTime value);
RTL_API TDateTime Now();
RTL_API TDateTime Date();
RTL_API TDateTime NowUtc();
/// TTimeZone::Local().ToUniversalTime (see TimeZone.h for skipped and repeated local times).
RTL_API TDateTime LocalToUtc(TDateTime local);
/// TTimeZone::Local().ToLocalTime.
RTL_API TDateTime UtcToLocal(TDateTime utc);
RTL_API std::int64_t DateTimeToUnix(TDateTime value);
RTL_API TDateTime UnixToDateTime(std::int64_t seconds);

/// Formats with the patterns d, dd, m, mm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz; "/" is the date
/// separator and ":" the time separator of settings; text in quotes is copied.
RTL_API UnicodeString FormatDateTime(UnicodeStringView pattern, TDateTime value,
                                     const TFormatSettings& settings = FormatSettings());

} // namespace rtl
