#pragma once
// Small string helpers: joining and splitting, case-insensitive search, tokens, code-point comparison
// of UTF-8 text, the text form of rectangles and Soundex similarity; and the number and date format
// settings of the en_GB and en_US locales.
#include "utils/UtilsApi.h"
#include "utils/values/ORVI.Types.h"

#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "rtl/Geometry.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <string_view>
#include <vector>

namespace orvi {

/// Malformed UTF-8 met by UTF8CompareStr.
class UTILS_API EORVIUTF8EncodingError : public rtl::Exception {
public:
    using Exception::Exception;
    std::shared_ptr<const Exception> Clone() const override {
        return std::make_shared<EORVIUTF8EncodingError>(*this);
    }
};

/// The format settings of the en_GB and en_US locales ("." decimal point, "," thousands, "/" dates, ":"
/// times), made when the library first loads and kept until it last unloads.
UTILS_API const rtl::TFormatSettings& GBFormatSettings();
UTILS_API const rtl::TFormatSettings& USFormatSettings();

/// Appends szSeparator and szValue to s; s := szValue when s is empty; nothing when szValue is empty.
UTILS_API void ConcatenateWithSeparator(rtl::UnicodeString& s, const rtl::UnicodeString& szSeparator,
                                        const rtl::UnicodeString& szValue);
/// When szSeparator occurs in szText (letter case ignored unless blCaseSensitive), pParts is cleared and
/// given the texts before, between and after the occurrences, and the result is true. Otherwise, or for
/// an empty separator, false and pParts is untouched.
UTILS_API bool FindRepeatedEmbeddedString(const rtl::UnicodeString& szText, const rtl::UnicodeString& szSeparator,
                                          rtl::TStringList* pParts, bool blCaseSensitive);
/// 1-based index of szSubStr in s at or after nOffset, letter case ignored (A..Z); 0 when absent, when
/// szSubStr is empty or nOffset is below 1.
UTILS_API int TextPos(rtl::UnicodeStringView szSubStr, rtl::UnicodeStringView s, int nOffset = 1);

/// Compares two texts code point by code point: -1, 0 or 1. A surrogate pair of the UTF-16 side is one
/// code point, a lone surrogate its own value. Raises EORVIUTF8EncodingError "expected byte not found"
/// for a UTF-8 sequence cut off by the end and "expected continuation byte not found" for a sequence
/// broken by another byte; a lead byte that starts no sequence reads as code point 0.
UTILS_API int UTF8CompareStr(std::string_view a, std::string_view b);
UTILS_API int UTF8CompareStr(std::string_view a, rtl::UnicodeStringView b);
UTILS_API int UTF8CompareStr(rtl::UnicodeStringView a, std::string_view b);

/// "(Left,Top,Right,Bottom)" in the general decimal form of GBFormatSettings. StringToRect
/// (ORVI.Types.h) reads it back.
UTILS_API rtl::UnicodeString RectToString(const rtl::TRectF& r);

/// The text before the first delimiter (all of s when there is none).
UTILS_API rtl::UnicodeString FirstToken(rtl::UnicodeStringView s, rtl::UnicodeStringView szDelimiters);
UTILS_API rtl::UnicodeString FirstToken(rtl::UnicodeStringView s, const std::vector<char16_t>& delimiters);
/// The text after the last delimiter (all of s when there is none).
UTILS_API rtl::UnicodeString LastToken(rtl::UnicodeStringView s, rtl::UnicodeStringView szDelimiters);
UTILS_API rtl::UnicodeString LastToken(rtl::UnicodeStringView s, const std::vector<char16_t>& delimiters);
/// The text before the first character of szDelimiters or szMoreDelimiters (all of s when none);
/// s becomes the text after that character (empty when none).
UTILS_API rtl::UnicodeString GetToken(rtl::UnicodeString& s, rtl::UnicodeStringView szDelimiters,
                                      rtl::UnicodeStringView szMoreDelimiters = {});

/// The Soundex code of szText, nLength characters long (padded with "0"); empty for empty text.
UTILS_API rtl::UnicodeString Soundex(rtl::UnicodeStringView szText, std::size_t nLength = 4);
/// Similarity of two texts' Soundex codes from 0 to 1 (1 for equal texts).
UTILS_API double SoundexConfidenceCompare(rtl::UnicodeStringView a, rtl::UnicodeStringView b);

} // namespace orvi
