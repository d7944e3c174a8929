#pragma once
// UTF-16 text and the conversions and comparisons the rest of the product relies on.
#include "RtlApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

using UnicodeString = std::u16string;
using UnicodeStringView = std::u16string_view;
using TBytes = std::vector<std::uint8_t>;

// --- Conversions -------------------------------------------------------------------------
/// UTF-8 to UTF-16; invalid sequences become U+FFFD.
RTL_API UnicodeString Utf8ToString(std::string_view utf8);
/// Utf8ToString appended to out, so that a caller converting many texts can reuse one string.
RTL_API void AppendUtf8AsString(UnicodeString& out, std::string_view utf8);
/// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
RTL_API std::string StringToUtf8(UnicodeStringView text);
/// StringToUtf8 appended to out, so that a caller converting many texts can reuse one buffer.
RTL_API void AppendStringAsUtf8(std::string& out, UnicodeStringView text);
/// The system's bytes (POSIX file names, arguments, environment) to text without loss: valid UTF-8
/// as UTF-8, and each byte of an invalid sequence as the lone low surrogate U+DC00 + byte
/// (U+DC80..U+DCFF), so that StringToNative gives back the very same bytes.
RTL_API UnicodeString NativeToString(std::string_view bytes);
/// NativeToString appended to out, so that a caller converting many names can reuse one string.
RTL_API void AppendNativeAsString(UnicodeString& out, std::string_view bytes);
/// Text to the system's bytes: UTF-8, each lone U+DC80..U+DCFF back to its byte; other unpaired
/// surrogates become U+FFFD.
RTL_API std::string StringToNative(UnicodeStringView text);
/// StringToNative appended to out, so that a caller converting many names can reuse one buffer.
RTL_API void AppendStringAsNative(std::string& out, UnicodeStringView text);
/// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
RTL_API bool IsValidUtf8(std::string_view bytes);
/// Each byte to the character of the same code (U+0000..U+00FF).
RTL_API UnicodeString Latin1ToString(std::string_view bytes);
/// Each character to the low 8 bits of its code unit.
RTL_API std::string StringToLatin1(UnicodeStringView text);
/// Windows-1252 bytes to text (0x80..0x9F follow the code page; its five holes map to U+0080.. as is).
RTL_API UnicodeString Win1252ToString(std::string_view bytes);
/// Text to Windows-1252; characters outside the code page become '?'.
RTL_API std::string StringToWin1252(UnicodeStringView text);
/// The platform's default 8-bit reading: valid UTF-8 as UTF-8, anything else as Windows-1252.
RTL_API UnicodeString AnsiToString(std::string_view bytes);
/// Decodes a whole text file: a BOM selects UTF-8, UTF-16 LE or BE; otherwise AnsiToString.
RTL_API UnicodeString DecodeText(std::string_view bytes);
/// Shorthand for literals and test code: u"..." from UTF-8 text.
inline UnicodeString U(std::string_view utf8) {
    return Utf8ToString(utf8);
}

// --- Case and comparison (folding only A..Z, as the product's comparisons require) --------
/// The value of a hexadecimal digit (either case), or -1 when c is none.
RTL_API int HexDigitValue(char16_t c) noexcept;
RTL_API char16_t UpCaseAscii(char16_t c);
RTL_API char16_t LoCaseAscii(char16_t c);
RTL_API UnicodeString UpperCase(UnicodeStringView s);
RTL_API UnicodeString LowerCase(UnicodeStringView s);
/// <0, 0, >0 comparing code units after folding a..z to A..Z.
RTL_API int CompareText(UnicodeStringView a, UnicodeStringView b);
RTL_API bool SameText(UnicodeStringView a, UnicodeStringView b);
/// Ordinal, case-sensitive comparison of code units.
RTL_API int CompareStr(UnicodeStringView a, UnicodeStringView b);

// --- Editing ---------------------------------------------------------------------------
/// Removes leading and trailing characters whose code is at most U+0020.
RTL_API UnicodeString Trim(UnicodeStringView s);
RTL_API UnicodeString TrimLeft(UnicodeStringView s);
RTL_API UnicodeString TrimRight(UnicodeStringView s);
/// 1-based position of sub in s, 0 when absent.
RTL_API int Pos(UnicodeStringView sub, UnicodeStringView s);
enum class TReplaceFlag { rfNone = 0, rfReplaceAll = 1, rfIgnoreCase = 2, rfAll_IgnoreCase = 3 };
RTL_API UnicodeString StringReplace(UnicodeStringView s, UnicodeStringView oldPattern,
                                    UnicodeStringView newPattern, TReplaceFlag flags);
RTL_API bool StartsText(UnicodeStringView prefix, UnicodeStringView s);
RTL_API bool EndsText(UnicodeStringView suffix, UnicodeStringView s);

// --- Numbers ---------------------------------------------------------------------------
RTL_API UnicodeString IntToStr(std::int64_t value);
/// Decimal integer, optional sign, surrounding blanks rejected; false on overflow or junk.
RTL_API bool TryStrToInt(UnicodeStringView s, int& value);
RTL_API bool TryStrToInt64(UnicodeStringView s, std::int64_t& value);
/// As TryStrToInt, raising EConvertError "'<s>' is not a valid integer value".
RTL_API int StrToInt(UnicodeStringView s);
RTL_API std::int64_t StrToInt64(UnicodeStringView s);

} // namespace rtl
