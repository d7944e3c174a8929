#include "rtl/DateTime.h"

#include "rtl/Exceptions.h"
#include "rtl/TimeZone.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace rtl {

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// 30 December 1899 in a day count where 1 January 0001 is day 1.
constexpr std::int64_t kDateDelta = 693594;
constexpr TDateTime kUnixDateDelta = 25569.0;
constexpr int kMonthDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days of a common year before each month.
constexpr int kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr const char16_t* kShortDayNames[7] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
constexpr const char16_t* kLongDayNames[7] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                              u"Thursday", u"Friday", u"Saturday"};
constexpr const char16_t* kShortMonthNames[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                  u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr const char16_t* kLongMonthNames[12] = {u"January",   u"February", u"March",    u"April",
                                                 u"May",       u"June",     u"July",     u"August",
                                                 u"September", u"October",  u"November", u"December"};

// A TDateTime split as the runtime reads it: whole days (truncated toward zero) and the time of
// day in milliseconds taken from the absolute value of the fraction.
struct TStamp {
    std::int64_t days; // relative to 30 December 1899
    std::int64_t msecs;
};

TStamp ToStamp(TDateTime value) {
    const auto total = static_cast<std::int64_t>(std::llround(value * kMSecsPerDay));
    return {total / kMSecsPerDay, (total < 0 ? -total : total) % kMSecsPerDay};
}

TDateTime FromStamp(const TStamp& ts) {
    const double time = static_cast<double>(ts.msecs) / kMSecsPerDay;
    const auto days = static_cast<double>(ts.days);
    return ts.days < 0 ? days - time : days + time;
}

// A continuous millisecond count, so that arithmetic crosses midnight and day zero correctly.
std::int64_t ToLinearMs(TDateTime value) {
    const TStamp ts = ToStamp(value);
    return ts.days * kMSecsPerDay + ts.msecs;
}

TDateTime FromLinearMs(std::int64_t ms) {
    std::int64_t days = ms / kMSecsPerDay;
    std::int64_t rest = ms % kMSecsPerDay;
    if (rest < 0) {
        --days;
        rest += kMSecsPerDay;
    }
    return FromStamp({days, rest});
}

void CheckRange(std::int64_t ms) {
    // 1 January 0001 .. 31 December 9999.
    if (ms < (1 - kDateDelta) * kMSecsPerDay || ms >= 2958466LL * kMSecsPerDay)
        throw EConvertError(u"Date-time arithmetic out of range");
}

// The whole representable span, 1 January 0001 to 31 December 9999, in milliseconds.
constexpr std::int64_t kMaxSpanMs = (2958466LL + kDateDelta) * kMSecsPerDay;

TDateTime AddUnits(TDateTime value, std::int64_t count, std::int64_t unitMs) {
    // Checked before multiplying so that a huge count cannot overflow.
    if (count > kMaxSpanMs / unitMs || count < -kMaxSpanMs / unitMs)
        throw EConvertError(u"Date-time arithmetic out of range");
    const std::int64_t ms = ToLinearMs(value) + count * unitMs;
    CheckRange(ms);
    return FromLinearMs(ms);
}

TDateTime WithTimeOf(TDateTime date, TDateTime source) {
    return FromStamp({ToStamp(date).days, ToStamp(source).msecs});
}

// Out-of-range values (before year 1) have no name rather than reading past the table.
template <std::size_t N> const char16_t* Name(const char16_t* const (&names)[N], int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N ? names[index] : u"";
}

void AppendNumber(UnicodeString& out, int value, int width) {
    UnicodeString digits = IntToStr(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), u'0');
    out += digits;
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInAMonth(int year, int month) {
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kMonthDays[month];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInAMonth(year, month))
        return false;
    std::int64_t days = day + kDaysBeforeMonth[month] + (month > 2 && IsLeapYear(year) ? 1 : 0);
    const std::int64_t y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    result = static_cast<TDateTime>(days - kDateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError(u"Invalid argument to date encode");
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    // Days since 1 January 0001, counted from 0.
    std::int64_t d = ToStamp(value).days + kDateDelta - 1;
    if (d < 0) {
        year = month = day = 0;
        return;
    }
    const std::int64_t n400 = d / 146097;
    d %= 146097;
    std::int64_t n100 = d / 36524;
    if (n100 == 4)
        n100 = 3; // the last day of a 400-year cycle
    d -= n100 * 36524;
    const std::int64_t n4 = d / 1461;
    d %= 1461;
    std::int64_t n1 = d / 365;
    if (n1 == 4)
        n1 = 3; // the last day of a leap year
    d -= n1 * 365;
    year = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
    // The month from the table of month starts; after February a leap year is a day further on.
    const int leap = IsLeapYear(year) ? 1 : 0;
    month = 12;
    while (month > 1 && d < kDaysBeforeMonth[month] + (month > 2 ? leap : 0))
        --month;
    day = static_cast<int>(d - kDaysBeforeMonth[month] - (month > 2 ? leap : 0)) + 1;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        return false;
    result = static_cast<TDateTime>(((hour * 60LL + min) * 60 + sec) * 1000 + msec) / kMSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime result = 0;
    if (!TryEncodeTime(hour, min, sec, msec, result))
        throw EConvertError(u"Invalid argument to time encode");
    return result;
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
    std::int64_t ms = ToStamp(value).msecs;
    msec = static_cast<int>(ms % 1000);
    ms /= 1000;
    sec = static_cast<int>(ms % 60);
    ms /= 60;
    min = static_cast<int>(ms % 60);
    hour = static_cast<int>(ms / 60);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
    return FromStamp(
        {ToStamp(EncodeDate(year, month, day)).days, ToStamp(EncodeTime(hour, min, sec, msec)).msecs});
}

bool IsValidDateTime(TDateTime value) {
    // The magnitude test keeps llround within range; the span test then works in milliseconds.
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return false;
    const std::int64_t ms = ToLinearMs(value);
    return ms >= (1 - kDateDelta) * kMSecsPerDay && ms < 2958466LL * kMSecsPerDay;
}

int CompareDateTime(TDateTime a, TDateTime b) {
    const std::int64_t ma = ToLinearMs(a);
    const std::int64_t mb = ToLinearMs(b);
    return ma < mb ? -1 : (ma > mb ? 1 : 0);
}

std::int64_t MilliSecondDifference(TDateTime to, TDateTime from) {
    return ToLinearMs(to) - ToLinearMs(from);
}

UnicodeStringView ShortMonthName(int month) {
    return Name(kShortMonthNames, month - 1);
}

UnicodeStringView ShortDayName(int day) {
    return Name(kShortDayNames, day - 1);
}

int DayOfWeek(TDateTime value) {
    // Day 1 (1 January 0001) was a Monday.
    const std::int64_t d = ToStamp(value).days + kDateDelta;
    return static_cast<int>(((d % 7) + 7) % 7) + 1;
}

TDateTime IncMonth(TDateTime value, int months) {
    int year = 0, month = 0, day = 0;
    DecodeDate(value, year, month, day);
    const std::int64_t index = static_cast<std::int64_t>(year) * 12 + (month - 1) + months;
    const auto newYear = static_cast<int>(index >= 0 ? index / 12 : -1);
    const int newMonth = static_cast<int>(index % 12) + 1;
    if (newYear < 1 || newYear > 9999)
        throw EConvertError(u"Date-time arithmetic out of range");
    const int newDay = std::min(day, DaysInAMonth(newYear, newMonth));
    return WithTimeOf(EncodeDate(newYear, newMonth, newDay), value);
}

TDateTime IncYear(TDateTime value, int years) {
    return IncMonth(value, years * 12);
}

TDateTime IncDay(TDateTime value, int days) {
    return AddUnits(value, days, kMSecsPerDay);
}
TDateTime IncHour(TDateTime value, std::int64_t hours) {
    return AddUnits(value, hours, 3600000);
}
TDateTime IncMinute(TDateTime value, std::int64_t minutes) {
    return AddUnits(value, minutes, 60000);
}
TDateTime IncSecond(TDateTime value, std::int64_t seconds) {
    return AddUnits(value, seconds, 1000);
}
TDateTime IncMilliSecond(TDateTime value, std::int64_t msecs) {
    return AddUnits(value, msecs, 1);
}

TDateTime DateOf(TDateTime value) {
    return static_cast<TDateTime>(ToStamp(value).days);
}

TDateTime NowUtc() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return FromLinearMs(static_cast<std::int64_t>(kUnixDateDelta) * kMSecsPerDay + ms);
}

TDateTime Now() {
    return UtcToLocal(NowUtc());
}

TDateTime Date() {
    return DateOf(Now());
}

TDateTime UtcToLocal(TDateTime utc) {
    return TTimeZone::Local().ToLocalTime(utc);
}

TDateTime LocalToUtc(TDateTime local) {
    return TTimeZone::Local().ToUniversalTime(local);
}

std::int64_t DateTimeToUnix(TDateTime value) {
    const std::int64_t ms = ToLinearMs(value) - static_cast<std::int64_t>(kUnixDateDelta) * kMSecsPerDay;
    // Nearest second, halves away from zero.
    return ms >= 0 ? (ms + 500) / 1000 : -((-ms + 500) / 1000);
}

TDateTime UnixToDateTime(std::int64_t seconds) {
    return FromLinearMs((static_cast<std::int64_t>(kUnixDateDelta) * 86400 + seconds) * 1000);
}

UnicodeString FormatDateTime(UnicodeStringView pattern, TDateTime value, const TFormatSettings& settings) {
    int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, min, sec, msec);
    UnicodeString out;
    bool afterHour = false; // "m" right after an hour means minutes
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char16_t c = pattern[i];
        const char16_t lc = LoCaseAscii(c);
        if (c == u'\'' || c == u'"') {
            const std::size_t end = pattern.find(c, i + 1);
            const std::size_t stop = end == UnicodeStringView::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop == pattern.size() ? stop : stop + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && LoCaseAscii(pattern[i + run]) == lc)
            ++run;
        bool consumed = true;
        switch (lc) {
        case u'd':
            if (run >= 4)
                out += Name(kLongDayNames, DayOfWeek(value) - 1);
            else if (run == 3)
                out += Name(kShortDayNames, DayOfWeek(value) - 1);
            else
                AppendNumber(out, day, static_cast<int>(run));
            afterHour = false;
            break;
        case u'm':
            if (afterHour && run <= 2)
                AppendNumber(out, min, static_cast<int>(run));
            else if (run >= 4)
                out += Name(kLongMonthNames, month - 1);
            else if (run == 3)
                out += Name(kShortMonthNames, month - 1);
            else
                AppendNumber(out, month, static_cast<int>(run));
            afterHour = false;
            break;
        case u'y':
            if (run <= 2)
                AppendNumber(out, year % 100, 2);
            else
                AppendNumber(out, year, 4);
            afterHour = false;
            break;
        case u'h':
            AppendNumber(out, hour, run >= 2 ? 2 : 1);
            afterHour = true;
            break;
        case u'n':
            AppendNumber(out, min, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case u's':
            AppendNumber(out, sec, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case u'z':
            AppendNumber(out, msec, run >= 3 ? 3 : 1);
            afterHour = false;
            break;
        default:
            consumed = false;
            break;
        }
        if (consumed) {
            i += run;
            continue;
        }
        if (c == u'/')
            out += settings.DateSeparator;
        else if (c == u':')
            out += settings.TimeSeparator;
        else
            out += c;
        ++i;
    }
    return out;
}

} // namespace rtl
