#pragma once
// Currency: a signed 64-bit count of ten-thousandths of a pound, with exact arithmetic.
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <compare>
#include <cstdint>

namespace rtl {

class RTL_API Currency {
public:
    constexpr Currency() noexcept = default;
    static constexpr Currency FromRaw(std::int64_t tenThousandths) noexcept {
        Currency c;
        c._nValue = tenThousandths;
        return c;
    }
    /// Raises EOverflow when the amount does not fit.
    static Currency FromPounds(std::int64_t pounds);
    constexpr std::int64_t Raw() const noexcept { return _nValue; }

    // Sums of amounts read from files must never wrap into a plausible wrong figure: each operation
    // raises EOverflow instead of leaving the 64-bit range.
    Currency& operator+=(Currency o);
    Currency& operator-=(Currency o);
    friend Currency operator+(Currency a, Currency b) { return a += b; }
    friend Currency operator-(Currency a, Currency b) { return a -= b; }
    friend RTL_API Currency operator-(Currency a);
    /// a + b into sum; false, with sum unchanged, when the result would overflow.
    friend bool TryAdd(Currency a, Currency b, Currency& sum) noexcept {
        std::int64_t raw = 0;
        if (__builtin_add_overflow(a._nValue, b._nValue, &raw)) {
            return false;
        }
        sum._nValue = raw;
        return true;
    }
    friend constexpr bool operator==(Currency a, Currency b) noexcept = default;
    friend constexpr auto operator<=>(Currency a, Currency b) noexcept = default;

private:
    std::int64_t _nValue = 0;
};

/// Decimal text with the settings' decimal separator, optional sign, surrounding blanks allowed,
/// at most four decimals kept (further digits rounded half away from zero). False on junk or overflow.
RTL_API bool TryStrToCurr(UnicodeStringView s, Currency& value,
                          const TFormatSettings& settings = FormatSettings());
/// TryStrToCurr on UTF-8 text, without decoding it when the separator is ASCII.
RTL_API bool TryUtf8ToCurr(std::string_view utf8, Currency& value,
                           const TFormatSettings& settings = FormatSettings());
/// As TryStrToCurr, raising EConvertError "'<s>' is not a valid floating point value".
RTL_API Currency StrToCurr(UnicodeStringView s, const TFormatSettings& settings = FormatSettings());
/// "%.2f": pounds with two decimals (half away from zero), leading minus, no thousand separator,
/// the settings' decimal separator.
RTL_API UnicodeString CurrToStrF2(Currency value, const TFormatSettings& settings = FormatSettings());
/// A "#,##0.00"-style pattern with an optional literal prefix such as "£": thousand separators
/// and two decimals, e.g. "£1,234.50" and "-£0.50".
RTL_API UnicodeString FormatCurr(UnicodeStringView pattern, Currency value,
                                 const TFormatSettings& settings = FormatSettings());

} // namespace rtl
