#pragma once
// The process-wide registry of text encodings by name. The platform's six standard encodings are
// registered under their display names when the library first loads; the map goes when it last
// unloads. Not locked: register while no other thread looks encodings up.
#include "utils/UtilsApi.h"

#include "rtl/Encoding.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <compare>
#include <utility>

namespace orvi {

/// The name of a registered encoding; a type of its own so it never mixes with other text.
/// Names compare exactly (letter case counts).
struct TORVIEncodingName {
    rtl::UnicodeString Value;
    TORVIEncodingName() = default;
    TORVIEncodingName(rtl::UnicodeString value) : Value(std::move(value)) {}
    TORVIEncodingName(const char16_t* value) : Value(value) {}
    friend auto operator<=>(const TORVIEncodingName&, const TORVIEncodingName&) = default;
};

/// Stores pEncoding under szName, replacing an earlier one; nothing for an empty name or no encoding.
/// The registry does not own the encoding.
UTILS_API void ORVIRegisterEncoding(const TORVIEncodingName& szName, rtl::TEncoding* pEncoding);
/// Removes szName only when it is registered with this very encoding object.
UTILS_API void ORVIUnregisterEncoding(const TORVIEncodingName& szName, const rtl::TEncoding* pEncoding);
/// The encoding registered under szName, or null.
UTILS_API rtl::TEncoding* ORVIGetEncoding(const TORVIEncodingName& szName);
/// The class of the encoding registered under szName, or null.
UTILS_API const rtl::TEncodingClass* ORVIGetEncodingClass(const TORVIEncodingName& szName);
/// Appends every registered name to pStrings (which is not cleared); returns how many it appended (a
/// sorted list may ignore a name it already holds). 0 for no list.
UTILS_API int ORVIGetRegisteredEncodings(rtl::TStringList* pStrings);

/// Registers the six standard encodings under their display names, as the library's load does.
UTILS_API void ORVIRegisterBuiltInEncodings();
/// Releases the map, as the library's last unload does.
UTILS_API void ORVIReleaseEncodings();

} // namespace orvi
