#pragma once
// The packed-decimal record: up to 64 decimal digits, two per byte, with a sign and the number of
// digits after the decimal point. Its value is the digits read as an integer times 10^-places.
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>

namespace rtl {

struct TBcd {
    std::uint8_t Precision = 1;         // digits held, 1..64
    std::uint8_t SignSpecialPlaces = 0; // bit 7 negative, bit 6 special value, bits 0..5 places
    std::uint8_t Fraction[32] = {};     // digit i in the high half of byte i/2 when i is even
};

constexpr int MaxBcdPrecision = 64;
constexpr int MaxBcdScale = 63;

inline int BcdPrecision(const TBcd& value) noexcept {
    return value.Precision > MaxBcdPrecision ? MaxBcdPrecision : value.Precision;
}
inline int BcdScale(const TBcd& value) noexcept {
    return value.SignSpecialPlaces & 0x3F;
}
inline bool IsBcdNegative(const TBcd& value) noexcept {
    return (value.SignSpecialPlaces & 0x80) != 0;
}
/// Digit i (0 = most significant) of the record.
inline int BcdDigit(const TBcd& value, int i) noexcept {
    const std::uint8_t b = value.Fraction[i >> 1];
    return (i & 1) ? (b & 0x0F) : (b >> 4);
}

/// A record of nCount digits (most significant first, each 0..9), nPlaces of them after the point.
/// Raises EBcdOverflowException when nCount is not 1..64 or nPlaces is not 0..63.
RTL_API TBcd BcdFromDigits(const std::uint8_t* pDigits, int nCount, int nPlaces, bool blNegative);
RTL_API TBcd IntegerToBcd(std::int64_t value);
/// The same value with the opposite sign (zero stays unsigned).
RTL_API TBcd BcdNegated(const TBcd& value);
/// True when every digit is zero.
RTL_API bool BcdIsZeroValue(const TBcd& value) noexcept;

/// Reads [sign] digits [decimal separator digits] [e|E [sign] digits], the whole text, at least one
/// digit. Leading zeros and trailing zeros after the point do not count; false when the value needs
/// more than 64 digits or more than 63 places, or the text does not match.
RTL_API bool TryStrToBcd(UnicodeStringView text, TBcd& value, const TFormatSettings& settings);
/// As TryStrToBcd, raising EConvertError "'<text>' is not a valid BCD value".
RTL_API TBcd StrToBcd(UnicodeStringView text, const TFormatSettings& settings);
/// Shortest text of the value: no leading zeros but one before the point, no trailing zeros after it.
RTL_API UnicodeString BcdToStr(const TBcd& value, const TFormatSettings& settings);
/// -1, 0 or 1 comparing the values.
RTL_API int BcdCompare(const TBcd& a, const TBcd& b);

} // namespace rtl
