#pragma once
// Date-time texts of HTTP headers, mail headers (RFC 822, RFC 5322) and XML, written and read in GMT
// or local time, and calendar intervals between date-times.
//
// Writers: a date-time within 3e-9 days of zero stands for the current moment. They raise
// EConvertError "Unable to create formatted string from TDateTime" for a value outside years 1 to 9999.
// Readers: every failure is an EConvertError; see each reader for what it accepts.
#include "rtl/DateTime.h"
#include "rtl/UnicodeString.h"
#include "utils/UtilsApi.h"

namespace orvi {

/// 1 January 878 01:00:00.000; anything earlier counts as an unbounded past.
UTILS_API extern const rtl::TDateTime ORVISinceForever;
/// 31 December 5999 23:59:59.999; anything later counts as an unbounded future.
UTILS_API extern const rtl::TDateTime ORVIForForever;

/// "Tue, 05 Mar 2024 14:07:09 GMT".
UTILS_API rtl::UnicodeString GMTimeToHTTPDate(rtl::TDateTime dtGMT);
/// "Tue, 05 Mar 2024 14:07:09 +0000".
UTILS_API rtl::UnicodeString GMTimeToRFC822Date(rtl::TDateTime dtGMT);
/// The same text as GMTimeToRFC822Date.
UTILS_API rtl::UnicodeString GMTimeToRFC5322Date(rtl::TDateTime dtGMT);
/// "2024-03-05T14:07:09Z".
UTILS_API rtl::UnicodeString GMTimeToXMLDate(rtl::TDateTime dtGMT);

/// The GMT writers after converting the local date-time to GMT (skipped and repeated local times
/// resolve as rtl::TTimeZone says).
UTILS_API rtl::UnicodeString LocalTimeToHTTPDate(rtl::TDateTime dtLocal);
UTILS_API rtl::UnicodeString LocalTimeToRFC822Date(rtl::TDateTime dtLocal);
UTILS_API rtl::UnicodeString LocalTimeToRFC5322Date(rtl::TDateTime dtLocal);
UTILS_API rtl::UnicodeString LocalTimeToXMLDate(rtl::TDateTime dtLocal);

/// Exactly "Ddd, dd Mmm yyyy hh:nn:ss GMT"; day and month names in any letter case, "GMT" as written;
/// the day name must be the date's weekday.
UTILS_API rtl::TDateTime HTTPDateToGMTime(const rtl::UnicodeString& szDate);
/// "[Ddd, ]dd Mmm yy[yy] hh:nn[:ss] zone": a year of two or three digits is 20yy below 80, else
/// 19yy; the zone is +hhmm or -hhmm (hours to 14, minutes to 59) or a zone word (GMT, UT, EST, A..Z
/// without J, ...); the month name in its exact case.
UTILS_API rtl::TDateTime RFC822DateToGMTime(const rtl::UnicodeString& szDate);
/// "[Ddd, ]dd Mmm yyyy hh:nn[:ss] +hhmm" (or -hhmm; hours to 14, minutes to 59); the month name in
/// its exact case.
UTILS_API rtl::TDateTime RFC5322DateToGMTime(const rtl::UnicodeString& szDate);
/// "yyyy-mm-ddThh:nn:ssZ", "yyyy-mm-dd" (midnight) or "hh:nn:ss" (on day zero); any other text is
/// the zero date-time, without error.
UTILS_API rtl::TDateTime XMLDateToGMTime(const rtl::UnicodeString& szDate);

/// The GMT readers followed by conversion to local time, of every result (an XML time of day, on day
/// zero, too).
UTILS_API rtl::TDateTime HTTPDateToLocalTime(const rtl::UnicodeString& szDate);
UTILS_API rtl::TDateTime RFC822DateToLocalTime(const rtl::UnicodeString& szDate);
UTILS_API rtl::TDateTime RFC5322DateToLocalTime(const rtl::UnicodeString& szDate);
UTILS_API rtl::TDateTime XMLDateToLocalTime(const rtl::UnicodeString& szDate);

/// The calendar interval from dtFrom to dtTo as "1 year, 2 months, 3 days, 1 hour, ..." (zero counts
/// left out; "" for equal values; every count negative when dtTo is earlier); "for ever" when either
/// value is unbounded.
UTILS_API rtl::UnicodeString DescribeInterval(rtl::TDateTime dtFrom, rtl::TDateTime dtTo);
/// dtStartDate moved by the calendar interval from dtIntervalFrom to dtIntervalTo (years, then months
/// with the day clamped to the month's end, then the rest); ORVIForForever when any value is unbounded.
/// A result past either sentinel is returned as it is; one outside years 1 to 9999 raises EConvertError
/// "Date-time arithmetic out of range".
UTILS_API rtl::TDateTime GetIntervalEndDate(rtl::TDateTime dtIntervalFrom, rtl::TDateTime dtIntervalTo,
                                            rtl::TDateTime dtStartDate);

} // namespace orvi
