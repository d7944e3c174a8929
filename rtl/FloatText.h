#pragma once
// Real numbers as text in the general decimal form, with the decimal separator of given settings.
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

namespace rtl {

/// Up to 15 significant digits, no trailing zeros; exponent form ("1.5E20", "1E-7") for very large
/// or small values; "NAN", "INF", "-INF" for the special values.
RTL_API UnicodeString FloatToStr(double value, const TFormatSettings& settings);
/// Optional blanks, sign, digits with settings' decimal separator, optional exponent ("E" or "e"),
/// optional blanks. False for anything else, an empty text, or a value outside the double range.
RTL_API bool TryStrToFloat(UnicodeStringView s, double& value, const TFormatSettings& settings);
/// As TryStrToFloat, raising EConvertError "'<s>' is not a valid floating point value".
RTL_API double StrToFloat(UnicodeStringView s, const TFormatSettings& settings);

} // namespace rtl
