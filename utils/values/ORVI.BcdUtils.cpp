#include "utils/values/ORVI.BcdUtils.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvi {

namespace {

using rtl::TBcd;

/// The significant digits of a non-zero value, and the power of ten of the first.
struct TDigits {
    std::array<std::uint8_t, rtl::MaxBcdPrecision> Digit{};
    int Count = 0;
    int Exponent = 0;
};

TDigits Significant(const TBcd& value) {
    TDigits d;
    const int count = rtl::BcdPrecision(value);
    int first = 0;
    while (first < count && rtl::BcdDigit(value, first) == 0)
        ++first;
    int last = count - 1;
    while (last > first && rtl::BcdDigit(value, last) == 0)
        --last;
    for (int i = first; i <= last; ++i)
        d.Digit[d.Count++] = static_cast<std::uint8_t>(rtl::BcdDigit(value, i));
    d.Exponent = count - rtl::BcdScale(value) - 1 - first;
    return d;
}

// A fixed-width decimal integer, most significant digit first, for the remainder of the long division.
constexpr int kWidth = rtl::MaxBcdPrecision + 1;
using TWide = std::array<std::uint8_t, kWidth>;

/// The mantissa's digits as an integer scaled to kWidth - 1 digits after a leading zero.
TWide Scaled(const TDigits& d) {
    TWide w{};
    std::copy_n(d.Digit.begin(), d.Count, w.begin() + 1);
    return w;
}

bool NotLess(const TWide& a, const TWide& b) noexcept {
    return !std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

void Subtract(TWide& a, const TWide& b) noexcept {
    int borrow = 0;
    for (int i = kWidth - 1; i >= 0; --i) {
        int v = a[i] - b[i] - borrow;
        borrow = v < 0;
        a[i] = static_cast<std::uint8_t>(v + (borrow ? 10 : 0));
    }
}

bool IsZero(const TWide& a) noexcept {
    return std::all_of(a.begin(), a.end(), [](std::uint8_t v) { return v == 0; });
}

/// Times ten; the caller keeps the value below 10^(kWidth-1) first, so nothing is lost.
void ShiftLeft(TWide& a) noexcept {
    std::rotate(a.begin(), a.begin() + 1, a.end());
    a[kWidth - 1] = 0;
}

/// Quotient digits of m1 / m2 (each digit the count of subtractions), the first at power e, stopping
/// when the remainder is zero or at power nLowest.
int LongDivision(const TDigits& m1, const TDigits& m2, int e, int nLowest, std::uint8_t* pOut) {
    TWide remainder = Scaled(m1);
    const TWide divisor = Scaled(m2);
    int n = 0;
    for (int power = e; power >= nLowest; --power) {
        std::uint8_t digit = 0;
        while (NotLess(remainder, divisor)) {
            Subtract(remainder, divisor);
            ++digit;
        }
        pOut[n++] = digit;
        if (IsZero(remainder))
            break;
        ShiftLeft(remainder); // remainder < divisor < 10^(kWidth-1)
    }
    return n;
}

constexpr int kMaxPlaces = 60;

bool IsDigit(char16_t c) noexcept {
    return c >= u'0' && c <= u'9';
}

/// The number found at S[at], as text the record conversion reads (thousand separators removed);
/// false when no number starts there. end is where the match (or the failed run) ends.
bool MatchNumber(rtl::UnicodeStringView S, std::size_t at, const rtl::TFormatSettings& fs,
                 rtl::UnicodeString& out, std::size_t& end) {
    const char16_t thousand = fs.ThousandSeparator != fs.DecimalSeparator ? fs.ThousandSeparator : u'\0';
    out.clear();
    std::size_t i = at;
    if (i < S.size() && (S[i] == u'+' || S[i] == u'-'))
        out.push_back(S[i++]);
    bool hasDigits = false;
    for (; i < S.size() && (IsDigit(S[i]) || (thousand && S[i] == thousand)); ++i) {
        if (IsDigit(S[i])) {
            out.push_back(S[i]);
            hasDigits = true;
        }
    }
    if (i + 1 < S.size() && S[i] == fs.DecimalSeparator && IsDigit(S[i + 1])) {
        out.push_back(S[i++]);
        while (i < S.size() && IsDigit(S[i]))
            out.push_back(S[i++]);
        hasDigits = true;
    }
    end = i;
    if (!hasDigits)
        return false;
    if (i < S.size() && (S[i] == u'e' || S[i] == u'E')) {
        std::size_t j = i + 1;
        if (j < S.size() && (S[j] == u'+' || S[j] == u'-'))
            ++j;
        if (j < S.size() && IsDigit(S[j])) {
            out.append(S.substr(i, j - i));
            while (j < S.size() && IsDigit(S[j]))
                out.push_back(S[j++]);
            end = j;
        }
    }
    return true;
}

rtl::TFormatSettings EnGbSettings() {
    rtl::TFormatSettings fs;
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.DecimalSeparator = u'.';
    fs.ThousandSeparator = u',';
    return fs;
}

} // namespace

bool ORVI_BcdIsZero(const TBcd& Value) noexcept {
    return rtl::BcdIsZeroValue(Value);
}

void ORVI_BcdCompact(const TBcd& Value, TBcd& Mantissa, int& Exponent) {
    if (ORVI_BcdIsZero(Value)) {
        Mantissa = Value;
        Exponent = 0;
        return;
    }
    const TDigits d = Significant(Value);
    Mantissa = rtl::BcdFromDigits(d.Digit.data(), d.Count, d.Count - 1, rtl::IsBcdNegative(Value));
    Exponent = d.Exponent;
}

void ORVI_BcdDivide(const TBcd& Dividend, const TBcd& Divisor, TBcd& Quotient) {
    if (ORVI_BcdIsZero(Divisor))
        throw rtl::EDivByZero(u"Divide by Zero");
    if (ORVI_BcdIsZero(Dividend)) {
        Quotient = Dividend;
        return;
    }
    if (rtl::BcdCompare(Dividend, Divisor) == 0) {
        Quotient = rtl::IntegerToBcd(1);
        return;
    }
    if (rtl::BcdCompare(Divisor, rtl::IntegerToBcd(1)) == 0) {
        Quotient = Dividend;
        return;
    }
    if (rtl::BcdCompare(Divisor, rtl::IntegerToBcd(-1)) == 0) {
        Quotient = rtl::BcdNegated(Dividend);
        return;
    }
    const bool negative = rtl::IsBcdNegative(Dividend) != rtl::IsBcdNegative(Divisor);
    const TDigits m1 = Significant(Dividend), m2 = Significant(Divisor);
    const int e = m1.Exponent - m2.Exponent; // the power of ten of the first quotient digit
    if (e >= rtl::MaxBcdPrecision)
        throw rtl::EBcdOverflowException(u"BCD overflow");
    // At most 60 places, and at most 64 digits from the first one before the point.
    const int lowest = std::max(-kMaxPlaces, e - (rtl::MaxBcdPrecision - 1));
    if (e < lowest) {
        Quotient = TBcd(); // below the last place kept: truncates to zero
        return;
    }
    std::uint8_t q[rtl::MaxBcdPrecision];
    const int n = LongDivision(m1, m2, e, lowest, q);
    // Lay the digits out from the units (or the first place) down to the last place, zeros where the
    // quotient has none.
    const int top = std::max(e, -1);
    const int bottom = std::min(e - n + 1, 0);
    std::uint8_t digits[rtl::MaxBcdPrecision] = {};
    for (int k = 0; k < n; ++k)
        digits[top - (e - k)] = q[k];
    Quotient = rtl::BcdFromDigits(digits, top - bottom + 1, -bottom, negative);
}

void ORVI_BcdFromString(rtl::UnicodeStringView S, TBcd& Value) {
    static const rtl::TFormatSettings s_enGb = EnGbSettings();
    ORVI_BcdFromString(S, Value, s_enGb);
}

void ORVI_BcdFromString(rtl::UnicodeStringView S, TBcd& Value, const rtl::TFormatSettings& FormatSettings) {
    rtl::UnicodeString number;
    for (std::size_t at = 0; at < S.size();) {
        std::size_t end = at;
        if (MatchNumber(S, at, FormatSettings, number, end)) {
            if (rtl::TryStrToBcd(number, Value, FormatSettings))
                return;
            break;
        }
        // A start inside the failed run sees the rest of the same run: skip it whole.
        at = std::max(at + 1, end);
    }
    throw rtl::EConvertError(u"Unable to convert \"" + rtl::UnicodeString(S) + u"\" to TBcd");
}

} // namespace orvi
