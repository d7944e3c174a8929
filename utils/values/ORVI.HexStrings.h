#pragma once
// Hexadecimal text of byte arrays.
#include "utils/UtilsApi.h"

#include "rtl/UnicodeString.h"

namespace orvi {

/// Each byte as two upper-case hex digits, no separators.
UTILS_API rtl::UnicodeString BytesToHexString(const rtl::TBytes& Bytes);
/// As above with Spacing spaces between the bytes of a group; after every GroupSize bytes (GroupSize
/// not 0) GroupSeparator comes before the next byte instead of the spaces.
UTILS_API rtl::UnicodeString BytesToHexString(const rtl::TBytes& Bytes, int Spacing, int GroupSize,
                                              rtl::UnicodeStringView GroupSeparator);
/// Reads pairs of hex digits (first digit high), ignoring white space. Empty text gives no bytes.
/// Raises EConvertError "HexStringToBytes: String contains invalid characters" for any other character
/// or an odd count of digits, and "HexStringToBytes: could not match hex characters" for text of white
/// space only. Bytes is set only on success.
UTILS_API void HexStringToBytes(rtl::UnicodeStringView S, rtl::TBytes& Bytes);

} // namespace orvi
