#pragma once
// The local time zone as the operating system keeps it: UTC offsets from its zone database, daylight
// saving and historical changes included.
#include "DateTime.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>

namespace rtl {

/// The process's local time zone. Conversions hold for every date-time of years 1 to 9999 with the
/// offset the zone database gives for that moment (before its first entry, its earliest offset).
///
/// Local times that a change of offset makes skipped or repeated resolve with the offset in force
/// before the change:
/// - a skipped local time (clocks go forward) lands after the change by the length of the gap:
///   01:30 on the night London moves to summer time is 01:30 UTC, which is 02:30 BST;
/// - a repeated local time (clocks go back) is its first occurrence, still in summer time:
///   01:30 on the night London leaves summer time is 00:30 UTC, not 01:30 UTC.
class RTL_API TTimeZone {
public:
    /// The local zone: TZ, else /etc/localtime, on POSIX; the system's zone on Windows.
    static const TTimeZone& Local();
    /// Reads the local zone again after it changed. Call while no other thread converts times.
    static void RefreshLocal();
    /// Makes the named database zone ("Europe/London") the process's local zone, or with an empty
    /// name the system's default again; false, changing nothing, when the zone is not in the
    /// database or the platform cannot select zones by name (Windows). For tests and tools; call
    /// while no other thread converts times.
    static bool SelectLocal(UnicodeStringView zoneName);

    /// Local time minus UTC at the UTC moment, in seconds (positive east of Greenwich).
    std::int64_t UtcOffsetSeconds(TDateTime utc) const;
    /// The local date-time of a UTC moment; EConvertError when it falls outside years 1 to 9999.
    TDateTime ToLocalTime(TDateTime utc) const;
    /// The UTC moment of a local date-time, resolved as above; EConvertError outside years 1 to 9999.
    TDateTime ToUniversalTime(TDateTime local) const;
    /// True for a local time that the clock skips.
    bool IsInvalidTime(TDateTime local) const;
    /// True for a local time that the clock shows twice.
    bool IsAmbiguousTime(TDateTime local) const;

private:
    TTimeZone() = default;
    // The offsets in force two days before and after the local time, and whether each yields it.
    struct TCandidates {
        std::int64_t before, after;
        bool beforeFits, afterFits;
    };
    TCandidates _Candidates(TDateTime local) const;
};

} // namespace rtl
