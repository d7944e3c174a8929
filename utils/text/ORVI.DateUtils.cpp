#include "utils/text/ORVI.DateUtils.h"

#include "rtl/Exceptions.h"
#include "rtl/RegularExpression.h"
#include "rtl/TimeZone.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace orvi {

const rtl::TDateTime ORVISinceForever = rtl::EncodeDateTime(878, 1, 1, 1, 0, 0, 0);
const rtl::TDateTime ORVIForForever = rtl::EncodeDateTime(5999, 12, 31, 23, 59, 59, 999);

namespace {

using rtl::TDateTime;
using rtl::TRegEx;
using rtl::TRegExGroups;
using rtl::UnicodeString;
using rtl::UnicodeStringView;

constexpr const char16_t* kHTTPPattern = u"ddd, dd mmm yyyy hh':'nn':'ss 'GMT'";
constexpr const char16_t* kRFCPattern = u"ddd, dd mmm yyyy hh':'nn':'ss '+0000'";
constexpr const char16_t* kXMLPattern = u"yyyy'-'mm'-'dd'T'hh':'nn':'ss'Z'";

// Anchored with \A and \z: "$" would also accept a trailing line break.
const TRegEx& HTTPPattern() {
    static const TRegEx re(u"\\A([A-Za-z]{3}), ([0-9]{2}) ([A-Za-z]{3}) ([0-9]{4}) "
                           u"([0-9]{2}):([0-9]{2}):([0-9]{2}) GMT\\z");
    return re;
}

// Groups: day name, day, month, year, hour, minute, second, zone.
const TRegEx& RFC5322Pattern() {
    static const TRegEx re(u"\\A(?:([A-Za-z]{3}), )?([0-9]{2}) ([A-Za-z]{3}) ([0-9]{4}) "
                           u"([0-9]{2}):([0-9]{2})(?::([0-9]{2}))? ([+-][0-9]{4})\\z");
    return re;
}

const TRegEx& RFC822Pattern() {
    static const TRegEx re(u"\\A(?:([A-Za-z]{3}), )?([0-9]{2}) ([A-Za-z]{3}) ([0-9]{2,4}) "
                           u"([0-9]{2}):([0-9]{2})(?::([0-9]{2}))? ([+-][0-9]{4}|[A-Za-z]+)\\z");
    return re;
}

const TRegEx& XMLDateTimePattern() {
    static const TRegEx re(u"\\A([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})Z\\z");
    return re;
}

const TRegEx& XMLDatePattern() {
    static const TRegEx re(u"\\A([0-9]{4})-([0-9]{2})-([0-9]{2})\\z");
    return re;
}

const TRegEx& XMLTimePattern() {
    static const TRegEx re(u"\\A([0-9]{2}):([0-9]{2}):([0-9]{2})\\z");
    return re;
}

[[noreturn]] void RaiseUnableToConvert(const UnicodeString& szDate) {
    throw rtl::EConvertError(u"Unable to convert \"" + szDate + u"\" to TDateTime");
}

[[noreturn]] void RaiseDifferentDayOfWeek(const UnicodeString& szDate) {
    throw rtl::EConvertError(u"Convert \"" + szDate + u"\" to TDateTime but found a different day of week");
}

// The text of a group; empty when the group took no part.
UnicodeStringView Group(UnicodeStringView text, const TRegExGroups& groups, int index) {
    if (index >= groups.Count || groups.Offset(index) < 0)
        return {};
    return text.substr(static_cast<std::size_t>(groups.Offset(index)),
                       static_cast<std::size_t>(groups.Length(index)));
}

// A group the pattern limits to at most four ASCII digits, so it cannot overflow.
int Number(UnicodeStringView text, const TRegExGroups& groups, int index) {
    int value = 0;
    for (const char16_t c : Group(text, groups, index))
        value = value * 10 + (c - u'0');
    return value;
}

// 1-based number of the name among count names, 0 when absent.
int IndexOf(UnicodeStringView (*nameOf)(int), int count, UnicodeStringView name, bool blIgnoreCase) {
    for (int i = 1; i <= count; ++i)
        if (blIgnoreCase ? rtl::SameText(name, nameOf(i)) : name == nameOf(i))
            return i;
    return 0;
}

int MonthNumber(UnicodeStringView name, bool blIgnoreCase) {
    return IndexOf(&rtl::ShortMonthName, 12, name, blIgnoreCase);
}

struct TStated {
    int year, month, day, hour, minute, second;
};

// The calendar date reports an impossible day (31 February) with its own conversion error.
TDateTime Encode(const TStated& s) {
    return rtl::EncodeDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second, 0);
}

void CheckDayName(UnicodeStringView dayName, TDateTime date, const UnicodeString& szDate) {
    if (IndexOf(&rtl::ShortDayName, 7, dayName, true) != rtl::DayOfWeek(date))
        RaiseDifferentDayOfWeek(szDate);
}

// Offset east of Greenwich in minutes from "+hhmm" or "-hhmm"; real zones reach +14:00.
int NumericZoneMinutes(UnicodeStringView zone, const UnicodeString& szDate) {
    const int hours = (zone[1] - u'0') * 10 + (zone[2] - u'0');
    const int minutes = (zone[3] - u'0') * 10 + (zone[4] - u'0');
    if (hours > 14 || minutes > 59)
        RaiseUnableToConvert(szDate);
    return (zone[0] == u'-' ? -1 : 1) * (hours * 60 + minutes);
}

struct TZoneWord {
    const char16_t* name;
    int hours;
};

constexpr TZoneWord kZoneWords[] = {
    {u"GMT", 0},  {u"UTC", 0},  {u"UT", 0},   {u"Z", 0},    {u"A", -1},   {u"B", -2},
    {u"C", -3},   {u"D", -4},   {u"E", -5},   {u"F", -6},   {u"G", -7},   {u"H", -8},
    {u"I", -9},   {u"K", -10},  {u"L", -11},  {u"M", -12},  {u"N", 1},    {u"O", 2},
    {u"P", 3},    {u"Q", 4},    {u"R", 5},    {u"S", 6},    {u"T", 7},    {u"U", 8},
    {u"V", 9},    {u"W", 10},   {u"X", 11},   {u"Y", 12},   {u"EDT", -4}, {u"EST", -5},
    {u"CDT", -5}, {u"CST", -6}, {u"MDT", -6}, {u"MST", -7}, {u"PDT", -7}, {u"PST", -8},
};

int RFC822ZoneMinutes(UnicodeStringView zone, const UnicodeString& szDate) {
    if (zone[0] == u'+' || zone[0] == u'-')
        return NumericZoneMinutes(zone, szDate);
    for (const TZoneWord& word : kZoneWords)
        if (zone == word.name)
            return word.hours * 60;
    RaiseUnableToConvert(szDate);
}

// Shared by both RFC forms: groups as RFC5322Pattern; the year already widened by the caller.
TDateTime ReadRFC(UnicodeStringView text, const TRegExGroups& groups, int year, int zoneMinutes,
                  const UnicodeString& szDate) {
    const int month = MonthNumber(Group(text, groups, 3), false);
    if (month == 0)
        RaiseUnableToConvert(szDate);
    const TDateTime stated = Encode({year, month, Number(text, groups, 2), Number(text, groups, 5),
                                     Number(text, groups, 6), Number(text, groups, 7)});
    const UnicodeStringView dayName = Group(text, groups, 1);
    if (!dayName.empty())
        CheckDayName(dayName, stated, szDate);
    // A zone can move a stated time at either end of the calendar outside it.
    try {
        return rtl::IncMinute(stated, -zoneMinutes);
    } catch (const rtl::EConvertError&) {
        RaiseUnableToConvert(szDate);
    }
}

UnicodeString Write(TDateTime dtGMT, const char16_t* pattern) {
    if (std::fabs(dtGMT) < 3e-9)
        dtGMT = rtl::NowUtc();
    if (!rtl::IsValidDateTime(dtGMT))
        throw rtl::EConvertError(u"Unable to create formatted string from TDateTime");
    return rtl::FormatDateTime(pattern, dtGMT);
}

UnicodeString WriteLocal(TDateTime dtLocal, const char16_t* pattern) {
    if (std::fabs(dtLocal) < 3e-9)
        return Write(0.0, pattern);
    if (!rtl::IsValidDateTime(dtLocal))
        throw rtl::EConvertError(u"Unable to create formatted string from TDateTime");
    TDateTime gmt = 0;
    try {
        gmt = rtl::TTimeZone::Local().ToUniversalTime(dtLocal);
    } catch (const rtl::EConvertError& e) {
        throw rtl::EConvertError(u"Unable to create formatted string from TDateTime", e.Clone());
    }
    return Write(gmt, pattern);
}

// A reading converted to local time; day zero (an XML time of day) is a moment like any other.
TDateTime ToLocal(TDateTime gmt, const UnicodeString& szDate) {
    try {
        return rtl::TTimeZone::Local().ToLocalTime(gmt);
    } catch (const rtl::EConvertError& e) {
        throw rtl::EConvertError(u"Unable to convert \"" + szDate + u"\" to TDateTime", e.Clone());
    }
}

// --- Intervals ---------------------------------------------------------------------------

struct TInterval {
    std::int64_t counts[7]; // years, months, days, hours, minutes, seconds, milliseconds
};

constexpr const char16_t* kUnitNames[7] = {u"year",   u"month",  u"day",        u"hour",
                                           u"minute", u"second", u"millisecond"};
constexpr std::int64_t kSmallUnitMs[5] = {86400000, 3600000, 60000, 1000, 1};

bool IsUnbounded(TDateTime value) {
    return !rtl::IsValidDateTime(value) || rtl::CompareDateTime(value, ORVISinceForever) < 0 ||
           rtl::CompareDateTime(value, ORVIForForever) > 0;
}

// The largest n in {guess - 1, guess} whose step from base does not pass dtTo.
int LargestStep(TDateTime base, TDateTime dtTo, int guess, TDateTime (*step)(TDateTime, int)) {
    return rtl::CompareDateTime(step(base, guess), dtTo) > 0 ? guess - 1 : guess;
}

TDateTime AddYears(TDateTime value, int years) {
    return rtl::IncYear(value, years);
}

TDateTime AddMonths(TDateTime value, int months) {
    return rtl::IncMonth(value, months);
}

// dtFrom is not after dtTo: whole years, then whole months, then the rest in fixed units.
TInterval CountForward(TDateTime dtFrom, TDateTime dtTo) {
    int yFrom = 0, yTo = 0, mBase = 0, mTo = 0, day = 0;
    rtl::DecodeDate(dtFrom, yFrom, mBase, day);
    rtl::DecodeDate(dtTo, yTo, mTo, day);
    TInterval result{};
    const int years = LargestStep(dtFrom, dtTo, yTo - yFrom, &AddYears);
    TDateTime base = AddYears(dtFrom, years);
    int yBase = 0;
    rtl::DecodeDate(base, yBase, mBase, day);
    const int months = LargestStep(base, dtTo, (yTo - yBase) * 12 + (mTo - mBase), &AddMonths);
    base = AddMonths(base, months);
    result.counts[0] = years;
    result.counts[1] = months;
    std::int64_t rest = rtl::MilliSecondDifference(dtTo, base);
    for (int i = 0; i < 5; ++i) {
        result.counts[2 + i] = rest / kSmallUnitMs[i];
        rest %= kSmallUnitMs[i];
    }
    return result;
}

TInterval CountInterval(TDateTime dtFrom, TDateTime dtTo) {
    if (rtl::CompareDateTime(dtTo, dtFrom) >= 0)
        return CountForward(dtFrom, dtTo);
    TInterval result = CountForward(dtTo, dtFrom);
    for (std::int64_t& count : result.counts)
        count = -count;
    return result;
}

TDateTime ApplyInterval(TDateTime dtStart, const TInterval& interval) {
    TDateTime result = rtl::IncYear(dtStart, static_cast<int>(interval.counts[0]));
    result = rtl::IncMonth(result, static_cast<int>(interval.counts[1]));
    result = rtl::IncDay(result, static_cast<int>(interval.counts[2]));
    result = rtl::IncHour(result, interval.counts[3]);
    result = rtl::IncMinute(result, interval.counts[4]);
    result = rtl::IncSecond(result, interval.counts[5]);
    return rtl::IncMilliSecond(result, interval.counts[6]);
}

} // namespace

UnicodeString GMTimeToHTTPDate(TDateTime dtGMT) {
    return Write(dtGMT, kHTTPPattern);
}
UnicodeString GMTimeToRFC822Date(TDateTime dtGMT) {
    return Write(dtGMT, kRFCPattern);
}
UnicodeString GMTimeToRFC5322Date(TDateTime dtGMT) {
    return Write(dtGMT, kRFCPattern);
}
UnicodeString GMTimeToXMLDate(TDateTime dtGMT) {
    return Write(dtGMT, kXMLPattern);
}

UnicodeString LocalTimeToHTTPDate(TDateTime dtLocal) {
    return WriteLocal(dtLocal, kHTTPPattern);
}
UnicodeString LocalTimeToRFC822Date(TDateTime dtLocal) {
    return WriteLocal(dtLocal, kRFCPattern);
}
UnicodeString LocalTimeToRFC5322Date(TDateTime dtLocal) {
    return WriteLocal(dtLocal, kRFCPattern);
}
UnicodeString LocalTimeToXMLDate(TDateTime dtLocal) {
    return WriteLocal(dtLocal, kXMLPattern);
}

TDateTime HTTPDateToGMTime(const UnicodeString& szDate) {
    TRegExGroups groups;
    if (!HTTPPattern().Match(szDate, groups))
        RaiseUnableToConvert(szDate);
    const int month = MonthNumber(Group(szDate, groups, 3), true);
    if (month == 0)
        RaiseUnableToConvert(szDate);
    const TDateTime result =
        Encode({Number(szDate, groups, 4), month, Number(szDate, groups, 2), Number(szDate, groups, 5),
                Number(szDate, groups, 6), Number(szDate, groups, 7)});
    CheckDayName(Group(szDate, groups, 1), result, szDate);
    return result;
}

TDateTime RFC5322DateToGMTime(const UnicodeString& szDate) {
    TRegExGroups groups;
    if (!RFC5322Pattern().Match(szDate, groups))
        RaiseUnableToConvert(szDate);
    const int zone = NumericZoneMinutes(Group(szDate, groups, 8), szDate);
    return ReadRFC(szDate, groups, Number(szDate, groups, 4), zone, szDate);
}

TDateTime RFC822DateToGMTime(const UnicodeString& szDate) {
    TRegExGroups groups;
    if (!RFC822Pattern().Match(szDate, groups))
        RaiseUnableToConvert(szDate);
    int year = Number(szDate, groups, 4);
    if (groups.Length(4) < 4)
        year += year < 80 ? 2000 : 1900;
    const int zone = RFC822ZoneMinutes(Group(szDate, groups, 8), szDate);
    return ReadRFC(szDate, groups, year, zone, szDate);
}

TDateTime XMLDateToGMTime(const UnicodeString& szDate) {
    TRegExGroups groups;
    TDateTime date = 0, time = 0;
    if (XMLDateTimePattern().Match(szDate, groups)) {
        const TStated s{Number(szDate, groups, 1), Number(szDate, groups, 2), Number(szDate, groups, 3),
                        Number(szDate, groups, 4), Number(szDate, groups, 5), Number(szDate, groups, 6)};
        if (!rtl::TryEncodeDate(s.year, s.month, s.day, date) ||
            !rtl::TryEncodeTime(s.hour, s.minute, s.second, 0, time))
            RaiseUnableToConvert(szDate);
        return Encode(s);
    }
    if (XMLDatePattern().Match(szDate, groups)) {
        if (!rtl::TryEncodeDate(Number(szDate, groups, 1), Number(szDate, groups, 2),
                                Number(szDate, groups, 3), date))
            RaiseUnableToConvert(szDate);
        return date;
    }
    if (XMLTimePattern().Match(szDate, groups)) {
        if (!rtl::TryEncodeTime(Number(szDate, groups, 1), Number(szDate, groups, 2),
                                Number(szDate, groups, 3), 0, time))
            RaiseUnableToConvert(szDate);
        return time;
    }
    return 0;
}

TDateTime HTTPDateToLocalTime(const UnicodeString& szDate) {
    return ToLocal(HTTPDateToGMTime(szDate), szDate);
}
TDateTime RFC822DateToLocalTime(const UnicodeString& szDate) {
    return ToLocal(RFC822DateToGMTime(szDate), szDate);
}
TDateTime RFC5322DateToLocalTime(const UnicodeString& szDate) {
    return ToLocal(RFC5322DateToGMTime(szDate), szDate);
}
TDateTime XMLDateToLocalTime(const UnicodeString& szDate) {
    return ToLocal(XMLDateToGMTime(szDate), szDate);
}

UnicodeString DescribeInterval(TDateTime dtFrom, TDateTime dtTo) {
    if (IsUnbounded(dtFrom) || IsUnbounded(dtTo))
        return u"for ever";
    const TInterval interval = CountInterval(dtFrom, dtTo);
    UnicodeString result;
    for (int i = 0; i < 7; ++i) {
        const std::int64_t count = interval.counts[i];
        if (count == 0)
            continue;
        if (!result.empty())
            result += u", ";
        result += rtl::IntToStr(count) + u" " + kUnitNames[i];
        if (count >= 2 || count <= -2)
            result += u's';
    }
    return result;
}

TDateTime GetIntervalEndDate(TDateTime dtIntervalFrom, TDateTime dtIntervalTo, TDateTime dtStartDate) {
    if (IsUnbounded(dtIntervalFrom) || IsUnbounded(dtIntervalTo) || IsUnbounded(dtStartDate))
        return ORVIForForever;
    // Bounded inputs give a plain date, past either sentinel too; one outside the calendar raises.
    return ApplyInterval(dtStartDate, CountInterval(dtIntervalFrom, dtIntervalTo));
}

} // namespace orvi
