#pragma once
// Helpers for the packed-decimal record: zero test, compact form, long division and reading numbers
// out of text.
#include "utils/UtilsApi.h"

#include "rtl/Bcd.h"
#include "rtl/FormatSettings.h"

namespace orvi {

/// True when every digit within Precision is zero (the sign is ignored).
UTILS_API bool ORVI_BcdIsZero(const rtl::TBcd& Value) noexcept;
/// Value = Mantissa × 10^Exponent, the mantissa holding Value's significant digits with one before the
/// point and Value's sign. Zero gives a copy of Value and 0.
UTILS_API void ORVI_BcdCompact(const rtl::TBcd& Value, rtl::TBcd& Mantissa, int& Exponent);
/// Dividend / Divisor by long division, truncated after 60 places or 64 digits in all (a leading zero
/// before the point counts). Raises EDivByZero "Divide by Zero" for a zero divisor and
/// EBcdOverflowException when the quotient needs more than 64 digits before the point.
UTILS_API void ORVI_BcdDivide(const rtl::TBcd& Dividend, const rtl::TBcd& Divisor, rtl::TBcd& Quotient);
/// Reads the first number in S, around which any text is ignored: [+|-] digits and thousand separators
/// (removed), then [decimal separator digits], then [e|E [+|-] digits], with the en-GB separators.
/// No number, or one that does not fit the record (more than 64 digits or 63 places), raises
/// EConvertError "Unable to convert "<S>" to TBcd".
UTILS_API void ORVI_BcdFromString(rtl::UnicodeStringView S, rtl::TBcd& Value);
/// As above with the separators of FormatSettings.
UTILS_API void ORVI_BcdFromString(rtl::UnicodeStringView S, rtl::TBcd& Value,
                                  const rtl::TFormatSettings& FormatSettings);

} // namespace orvi
