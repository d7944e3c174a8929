#pragma once
// Currency: a signed 64-bit count of ten-thousandths of a pound, with exact arithmetic.
#include "FormatSettings.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <compare>
#include <cstdint>

namespace rtl {

class Currency {
public:
    constexpr Currency() noexcept = default;
    static constexpr Currency FromRaw(std::int64_t tenThousandths) noexcept {
        Currency c;
        c._nValue = tenThousandths;
        return c;
    }
    static constexpr Currency FromPounds(std::int64_t pounds) noexcept { return FromRaw(pounds * 10000); }
    constexpr std::int64_t Raw() const noexcept { return _nValue; }

    constexpr Currency& operator+=(Currency o) noexcept {
        _nValue += o._nValue;
        return *this;
    }
    constexpr Currency& operator-=(Currency o) noexcept {
        _nValue -= o._nValue;
        return *this;
    }
    friend constexpr Currency operator+(Currency a, Currency b) noexcept { return a += b; }
    friend constexpr Currency operator-(Currency a, Currency b) noexcept { return a -= b; }
    friend constexpr Currency operator-(Currency a) noexcept { return FromRaw(-a._nValue); }
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
