#pragma once
// Folder-name macros: machine-specific folders written as portable text ("{:ProgramFiles:}\Sage")
// and expanded back. A fixed table of well-known folders is registered when the library loads;
// more pairs may be registered at run time. The maps are not locked: register while no other
// thread expands or encodes.
#include "utils/UtilsApi.h"
#include "rtl/UnicodeString.h"

#include <utility>

namespace orvi {

/// A plain folder path; a type of its own so it never mixes with the macro form.
struct TFolderName {
    rtl::UnicodeString Value;
    TFolderName() = default;
    explicit TFolderName(rtl::UnicodeString value) : Value(std::move(value)) {}
    friend bool operator==(const TFolderName&, const TFolderName&) = default;
};

/// A folder path in macro form.
struct TEncodedFolderName {
    rtl::UnicodeString Value;
    TEncodedFolderName() = default;
    explicit TEncodedFolderName(rtl::UnicodeString value) : Value(std::move(value)) {}
    friend bool operator==(const TEncodedFolderName&, const TEncodedFolderName&) = default;
};

/// Replaces a registered folder macro at the start and segment macros anywhere; separators become the
/// platform's; a name in double quotes stays quoted. Unregistered macros stay as they are.
UTILS_API rtl::UnicodeString ExpandFolderName(const rtl::UnicodeString& szEncoded);
/// As ExpandFolderName on the plain text.
UTILS_API TFolderName ExpandFolderName(const TEncodedFolderName& encoded);

/// Replaces the longest registered folder that is the whole path or a whole-segment prefix of it by its
/// macro, then every whole segment that is a registered segment; separators become the platform's.
UTILS_API rtl::UnicodeString EncodeFolderName(const rtl::UnicodeString& szFolder);
/// As EncodeFolderName on the plain text.
UTILS_API TEncodedFolderName EncodeFolderName(const TFolderName& folder);

/// Registers a folder and its macro ("{:" and ":}" added when missing); a later registration of the same
/// folder or macro replaces the earlier one. An empty folder or macro registers nothing.
UTILS_API void RegisterFolderNameEncoding(const rtl::UnicodeString& szFolder,
                                          const rtl::UnicodeString& szEncoding);
/// Removes the pair only where the stored value matches exactly (macro in full, braces and case included).
UTILS_API void UnregisterFolderNameEncoding(const rtl::UnicodeString& szFolder,
                                            const rtl::UnicodeString& szEncoding);
/// Registers a single path segment and its macro, as given. An empty segment or macro registers nothing.
UTILS_API void RegisterFolderSegmentEncoding(const rtl::UnicodeString& szSegment,
                                             const rtl::UnicodeString& szEncoding);
/// Removes the segment pair only where the stored value matches exactly.
UTILS_API void UnregisterFolderSegmentEncoding(const rtl::UnicodeString& szSegment,
                                               const rtl::UnicodeString& szEncoding);

/// Registers the built-in table of well-known folders from the platform's current answers, as the
/// library's load does; earlier registrations stay unless replaced.
UTILS_API void ORVIRegisterBuiltInFolderNameEncodings();
/// Releases all four maps, as the library's last unload does: every macro is unregistered.
UTILS_API void ORVIReleaseFolderNameEncodings();

} // namespace orvi
