#pragma once
// The update manifest: a small text file on the update server naming the newest version, its
// release date and time, the files that make it up (with sizes and SHA-256 digests) and an
// optional licence text. Format described in docs/UPDATE_MANIFEST.md.
#include "rtl/DateTime.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ven {

/// One file of a release: where it goes (relative to the program's folder, "/" separated; also
/// its address relative to the manifest), its exact size and its SHA-256 digest (64 lower-case hex).
struct TManifestFile {
    rtl::UnicodeString Name;
    std::int64_t Size = 0;
    rtl::UnicodeString Sha256;
};

/// A parsed manifest.
struct TUpdateManifest {
    rtl::UnicodeString Version;
    rtl::TDateTime ReleaseDate = 0; // date and time of day together
    std::vector<TManifestFile> Files;
    std::optional<TManifestFile> License; // downloaded and shown, never installed
};

/// The date and time patterns of the manifest and their separators ("/" and ":" in the patterns
/// stand for them).
struct TManifestFormat {
    rtl::UnicodeString Signature = u"WebUpdate";
    rtl::UnicodeString DateFormat = u"dd/mm/yyyy";
    char16_t DateSeparator = u'/';
    rtl::UnicodeString TimeFormat = u"hh:nn";
    char16_t TimeSeparator = u':';
};

/// The largest file a manifest may name (bytes).
inline constexpr std::int64_t kMaxManifestFileSize = std::int64_t(1) << 31;

/// Parses manifest text; raises EConvertError naming the line and the fault for anything
/// malformed (no section named after the signature, missing or bad version, date, time, sizes,
/// digests, unsafe or duplicate file names, no files).
TUpdateManifest ParseUpdateManifest(rtl::UnicodeStringView text, const TManifestFormat& format = {});

/// True for a dotted version of decimal numbers ("1", "1.0.12").
bool IsValidVersion(rtl::UnicodeStringView version);
/// <0, 0, >0 comparing dotted versions number by number, missing numbers counting as 0 ("1.2" ==
/// "1.2.0" < "1.10"); raises EConvertError for an invalid version.
int CompareVersions(rtl::UnicodeStringView a, rtl::UnicodeStringView b);

/// True for a relative file name that stays inside its folder: "/"-separated parts of letters,
/// digits, space and ._-+() that are neither "." nor "..", no leading or trailing space.
bool IsSafeRelativeName(rtl::UnicodeStringView name);

/// Reads text in a date pattern (d, dd, m, mm, yy, yyyy; "/" is separator); false when it does not
/// match or names no real date.
bool TryParseManifestDate(rtl::UnicodeStringView text, rtl::UnicodeStringView pattern, char16_t separator,
                          rtl::TDateTime& date);
/// Reads text in a time pattern (h, hh, n, nn, s, ss; ":" is separator); false when it does not
/// match or names no real time of day.
bool TryParseManifestTime(rtl::UnicodeStringView text, rtl::UnicodeStringView pattern, char16_t separator,
                          rtl::TDateTime& time);

} // namespace ven
