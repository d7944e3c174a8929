#include "rtl/TimeZone.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <filesystem>
#include <string>
#endif

namespace rtl {

namespace {

constexpr TDateTime kUnixEpoch = 25569.0;
constexpr std::int64_t kTwoDaysMs = 2 * 86400000LL;

#ifdef _WIN32

// Read once and on RefreshLocal: the dynamic form carries the zone's rules for every year. A zone
// chosen by name (SelectLocal) stands in for the system's until an empty name gives it back.
DYNAMIC_TIME_ZONE_INFORMATION g_zone{};
bool g_blSelected = false;

void LoadZone() {
    if (!g_blSelected)
        GetDynamicTimeZoneInformation(&g_zone);
}

// The Windows zone of a zone-database name (as the Unicode CLDR maps them), for the names in use here;
// a Windows zone's own key name ("GMT Standard Time") is taken as it is.
UnicodeString WindowsZoneKey(UnicodeStringView name) {
    static const std::pair<const char16_t*, const char16_t*> kZones[] = {
        {u"UTC", u"UTC"},
        {u"Etc/UTC", u"UTC"},
        {u"Europe/London", u"GMT Standard Time"},
        {u"Europe/Dublin", u"GMT Standard Time"},
        {u"Europe/Paris", u"Romance Standard Time"},
        {u"Europe/Berlin", u"W. Europe Standard Time"},
        {u"America/New_York", u"Eastern Standard Time"},
        {u"America/Los_Angeles", u"Pacific Standard Time"},
        {u"Australia/Sydney", u"AUS Eastern Standard Time"},
        {u"Pacific/Auckland", u"New Zealand Standard Time"},
    };
    for (const auto& [iana, windows] : kZones)
        if (name == iana)
            return windows;
    return UnicodeString(name);
}

bool SelectZone(UnicodeStringView zoneName) {
    if (zoneName.empty()) {
        g_blSelected = false;
        return true;
    }
    const UnicodeString key = WindowsZoneKey(zoneName);
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    for (DWORD i = 0; EnumDynamicTimeZoneInformation(i, &zone) == ERROR_SUCCESS; ++i) {
        if (key == reinterpret_cast<const char16_t*>(zone.TimeZoneKeyName)) {
            g_zone = zone;
            g_blSelected = true;
            return true;
        }
    }
    return false;
}

std::int64_t OffsetAt(std::int64_t unixSeconds) {
    // FILETIME counts 100 ns steps from 1601; earlier moments take the rules of 1601.
    constexpr std::int64_t kSecondsFrom1601 = 11644473600LL;
    const std::int64_t since1601 = std::max<std::int64_t>(unixSeconds + kSecondsFrom1601, 0);
    ULARGE_INTEGER utc{};
    utc.QuadPart = static_cast<ULONGLONG>(since1601) * 10000000ULL;
    const FILETIME ftUtc{utc.LowPart, utc.HighPart};
    SYSTEMTIME stUtc{}, stLocal{};
    FILETIME ftLocal{};
    // The rules of that moment's year (GetTimeZoneInformationForYear reads the dynamic zone), applied
    // with the call every Windows and Wine version has.
    TIME_ZONE_INFORMATION rules{};
    if (!FileTimeToSystemTime(&ftUtc, &stUtc) || !GetTimeZoneInformationForYear(stUtc.wYear, &g_zone, &rules) ||
        !SystemTimeToTzSpecificLocalTime(&rules, &stUtc, &stLocal) ||
        !SystemTimeToFileTime(&stLocal, &ftLocal))
        return 0;
    ULARGE_INTEGER local{};
    local.LowPart = ftLocal.dwLowDateTime;
    local.HighPart = ftLocal.dwHighDateTime;
    return (static_cast<std::int64_t>(local.QuadPart) - static_cast<std::int64_t>(utc.QuadPart)) / 10000000LL;
}

#else

void LoadZone() {
    // localtime_r reads TZ only once; tzset makes it read the zone again.
    tzset();
}

bool ZoneExists(const std::string& name) {
    if (name.find("..") != std::string::npos || name.front() == '/')
        return false;
    const char* dir = std::getenv("TZDIR");
    std::error_code error;
    return std::filesystem::is_regular_file(
        std::filesystem::path(dir && *dir ? dir : "/usr/share/zoneinfo") / name, error);
}

bool SelectZone(UnicodeStringView zoneName) {
    const std::string name = StringToUtf8(zoneName);
    if (name.empty())
        ::unsetenv("TZ");
    else if (!ZoneExists(name) || ::setenv("TZ", name.c_str(), 1) != 0)
        return false;
    return true;
}

std::int64_t OffsetAt(std::int64_t unixSeconds) {
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return 0;
    return tm.tm_gmtoff;
}

#endif

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Milliseconds since 1 January 1970 of a date-time read as UTC; out-of-range values are refused so
// that neither the conversion nor the zone look-up sees a meaningless number.
std::int64_t UnixMs(TDateTime value) {
    if (!IsValidDateTime(value))
        throw EConvertError(u"Date-time arithmetic out of range");
    return MilliSecondDifference(value, kUnixEpoch);
}

std::int64_t OffsetAtMs(std::int64_t unixMs) {
    return OffsetAt(FloorDiv(unixMs, 1000));
}

} // namespace

const TTimeZone& TTimeZone::Local() {
    static const TTimeZone zone = (LoadZone(), TTimeZone());
    return zone;
}

void TTimeZone::RefreshLocal() {
    Local();
    LoadZone();
}

bool TTimeZone::SelectLocal(UnicodeStringView zoneName) {
    if (!SelectZone(zoneName))
        return false;
    RefreshLocal();
    return true;
}

std::int64_t TTimeZone::UtcOffsetSeconds(TDateTime utc) const {
    return OffsetAtMs(UnixMs(utc));
}

TDateTime TTimeZone::ToLocalTime(TDateTime utc) const {
    return IncMilliSecond(utc, UtcOffsetSeconds(utc) * 1000);
}

TTimeZone::TCandidates TTimeZone::_Candidates(TDateTime local) const {
    // Offsets change at most once within a few days, so the offsets two days either side are the
    // only ones a local time can have; each fits when the moment it gives really shows that time.
    const std::int64_t localMs = UnixMs(local);
    TCandidates c{};
    c.before = OffsetAtMs(localMs - kTwoDaysMs);
    c.after = OffsetAtMs(localMs + kTwoDaysMs);
    c.beforeFits = OffsetAtMs(localMs - c.before * 1000) == c.before;
    c.afterFits = OffsetAtMs(localMs - c.after * 1000) == c.after;
    return c;
}

TDateTime TTimeZone::ToUniversalTime(TDateTime local) const {
    const TCandidates c = _Candidates(local);
    // The earlier offset wins whenever it fits (repeated times) and also when neither fits (skipped).
    const std::int64_t offset = !c.beforeFits && c.afterFits ? c.after : c.before;
    return IncMilliSecond(local, -offset * 1000);
}

bool TTimeZone::IsInvalidTime(TDateTime local) const {
    const TCandidates c = _Candidates(local);
    return !c.beforeFits && !c.afterFits;
}

bool TTimeZone::IsAmbiguousTime(TDateTime local) const {
    const TCandidates c = _Candidates(local);
    return c.before != c.after && c.beforeFits && c.afterFits;
}

} // namespace rtl
