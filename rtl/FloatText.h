#pragma once
// Real numbers as text in the general decimal form, with the decimal separator of given settings. The
// process's C locale (LC_NUMERIC) plays no part, so text written under any locale reads back.
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

namespace rtl {

/// The most digits after the decimal point that FloatToStrFixed writes.
inline constexpr int kMaxFixedDecimals = 20;

/// Up to 15 significant digits, no trailing zeros; exponent form ("1.5E20", "1E-7") for very large
/// or small values; "NAN", "INF", "-INF" for the special values.
RTL_API UnicodeString FloatToStr(double value, const TFormatSettings& settings);
/// value with nDecimals digits after the decimal point (0 to 20), padded with leading blanks to
/// nMinWidth characters, as printf's "%<nMinWidth>.<nDecimals>f" in the "C" locale; "NAN", "INF" and
/// "-INF" for the special values.
RTL_API UnicodeString FloatToStrFixed(double value, int nDecimals, int nMinWidth, const TFormatSettings& settings);
/// Optional blanks, sign, digits with settings' decimal separator, optional exponent ("E" or "e"),
/// optional blanks. False for anything else, an empty text, or a value outside the double range.
RTL_API bool TryStrToFloat(UnicodeStringView s, double& value, const TFormatSettings& settings);
/// As TryStrToFloat, raising EConvertError "'<s>' is not a valid floating point value".
RTL_API double StrToFloat(UnicodeStringView s, const TFormatSettings& settings);

} // namespace rtl
