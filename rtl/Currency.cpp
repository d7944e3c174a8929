#include "rtl/Currency.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace rtl {

namespace {

constexpr std::uint64_t kMaxPounds = 922337203685477; // floor(2^63 / 10000)
constexpr std::uint64_t kPow10[5] = {1, 10, 100, 1000, 10000};

std::uint64_t Magnitude(std::int64_t raw) {
    return raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
}

// |raw| in units of 10^-decimals, rounded half away from zero.
std::uint64_t RoundedUnits(std::int64_t raw, int decimals) {
    const std::uint64_t divisor = kPow10[4 - decimals];
    const std::uint64_t m = Magnitude(raw);
    return m / divisor + (m % divisor >= (divisor + 1) / 2 && divisor > 1 ? 1 : 0);
}

UnicodeString Digits(std::uint64_t value) {
    const std::string s = std::to_string(value);
    return UnicodeString(s.begin(), s.end());
}

// The digits of value with separator inserted between groups of three.
UnicodeString GroupThousands(const UnicodeString& digits, char16_t separator) {
    UnicodeString out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

// Literal text of a pattern section: quotes are dropped, their content copied.
UnicodeString Literal(UnicodeStringView text) {
    UnicodeString out;
    for (char16_t c : text)
        if (c != u'\'' && c != u'"')
            out += c;
    return out;
}

struct TCurrPattern {
    UnicodeString prefix;
    UnicodeString suffix;
    bool thousands = false;
    int minIntDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
};

TCurrPattern ParsePattern(UnicodeStringView pattern) {
    TCurrPattern p;
    auto isNumeric = [](char16_t c) { return c == u'#' || c == u'0' || c == u',' || c == u'.'; };
    std::size_t first = 0;
    bool quoted = false;
    while (first < pattern.size() && (quoted || !isNumeric(pattern[first]))) {
        if (pattern[first] == u'\'' || pattern[first] == u'"')
            quoted = !quoted;
        ++first;
    }
    std::size_t last = first;
    while (last < pattern.size() && isNumeric(pattern[last]))
        ++last;
    p.prefix = Literal(pattern.substr(0, first));
    p.suffix = Literal(pattern.substr(last));
    bool afterPoint = false;
    for (char16_t c : pattern.substr(first, last - first)) {
        if (c == u'.') {
            afterPoint = true;
        } else if (c == u',') {
            p.thousands = p.thousands || !afterPoint;
        } else if (afterPoint && p.maxDecimals < 4) {
            ++p.maxDecimals;
            if (c == u'0')
                p.minDecimals = p.maxDecimals;
        } else if (!afterPoint && c == u'0') {
            ++p.minIntDigits;
        }
    }
    return p;
}

char16_t CodeUnit(char16_t c) {
    return c;
}

char16_t CodeUnit(char c) {
    return static_cast<unsigned char>(c);
}

// The decimal value of a code unit, above 9 for anything but an ASCII digit.
template <class Char> unsigned DigitValue(Char c) {
    return static_cast<unsigned>(CodeUnit(c)) - u'0';
}

// The parse shared by UTF-16 text and ASCII bytes: both compare code units with ASCII digits, signs
// and blanks, and with the separator.
template <class Char>
bool ParseCurr(std::basic_string_view<Char> s, Currency& value, const TFormatSettings& settings) {
    // One pass with pointers, blanks trimmed in place, each digit tested once: amounts are parsed by
    // the thousand while datasets load.
    const Char* p = s.data();
    const Char* end = p + s.size();
    while (p < end && CodeUnit(*p) <= u' ') {
        ++p;
    }
    while (end > p && CodeUnit(end[-1]) <= u' ') {
        --end;
    }
    const bool negative = p < end && CodeUnit(*p) == u'-';
    if (p < end && (negative || CodeUnit(*p) == u'+')) {
        ++p;
    }
    // Whole pounds: leading zeros skipped, then at most 15 digits can be in range.
    const Char* const poundsStart = p;
    while (p < end && CodeUnit(*p) == u'0') {
        ++p;
    }
    const Char* const significant = p;
    std::uint64_t pounds = 0;
    for (unsigned digit = 0; p < end && (digit = DigitValue(*p)) <= 9; ++p) {
        pounds = pounds * 10 + digit;
    }
    if (p - significant > 15 || pounds > kMaxPounds) {
        return false;
    }
    bool anyDigit = p != poundsStart;
    std::uint64_t fraction = 0;
    if (p < end && CodeUnit(*p) == settings.DecimalSeparator) {
        // Four decimals are kept; only the fifth decides the rounding, half going away from zero.
        int decimals = 0;
        bool roundUp = false;
        for (unsigned digit = 0; ++p < end && (digit = DigitValue(*p)) <= 9; ++decimals) {
            if (decimals < 4) {
                fraction = fraction * 10 + digit;
            } else if (decimals == 4) {
                roundUp = digit >= 5;
            }
        }
        fraction = fraction * kPow10[4 - std::min(decimals, 4)] + (roundUp ? 1 : 0);
        anyDigit = anyDigit || decimals > 0;
    }
    if (!anyDigit || p != end) {
        return false;
    }
    const std::uint64_t magnitude = pounds * 10000 + fraction;
    const std::uint64_t limit = negative ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 63) - 1;
    if (magnitude > limit) {
        return false;
    }
    value = Currency::FromRaw(negative ? static_cast<std::int64_t>(0 - magnitude)
                                       : static_cast<std::int64_t>(magnitude));
    return true;
}

bool IsAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool TryStrToCurr(UnicodeStringView s, Currency& value, const TFormatSettings& settings) {
    return ParseCurr(s, value, settings);
}

bool TryUtf8ToCurr(std::string_view utf8, Currency& value, const TFormatSettings& settings) {
    // Byte for byte the same as the decoded text, unless a non-ASCII separator could match a
    // multi-byte character: only then is the text decoded first.
    if (settings.DecimalSeparator < 0x80 || IsAscii(utf8))
        return ParseCurr(utf8, value, settings);
    return ParseCurr(UnicodeStringView(Utf8ToString(utf8)), value, settings);
}

Currency StrToCurr(UnicodeStringView s, const TFormatSettings& settings) {
    Currency value;
    if (!TryStrToCurr(s, value, settings))
        throw EConvertError(u"'" + UnicodeString(s) + u"' is not a valid floating point value");
    return value;
}

UnicodeString CurrToStrF2(Currency value, const TFormatSettings& settings) {
    const std::uint64_t cents = RoundedUnits(value.Raw(), 2);
    UnicodeString out;
    // A value that rounds to zero is shown without a sign.
    if (value.Raw() < 0 && cents != 0)
        out += u'-';
    out += Digits(cents / 100);
    out += settings.DecimalSeparator;
    const std::uint64_t rest = cents % 100;
    out += static_cast<char16_t>(u'0' + rest / 10);
    out += static_cast<char16_t>(u'0' + rest % 10);
    return out;
}

UnicodeString FormatCurr(UnicodeStringView pattern, Currency value, const TFormatSettings& settings) {
    const TCurrPattern p = ParsePattern(pattern);
    const std::uint64_t units = RoundedUnits(value.Raw(), p.maxDecimals);
    const std::uint64_t scale = kPow10[p.maxDecimals];
    UnicodeString whole = Digits(units / scale);
    if (whole == u"0" && p.minIntDigits == 0)
        whole.clear();
    if (static_cast<int>(whole.size()) < p.minIntDigits)
        whole.insert(0, static_cast<std::size_t>(p.minIntDigits) - whole.size(), u'0');
    if (p.thousands)
        whole = GroupThousands(whole, settings.ThousandSeparator);
    UnicodeString decimals;
    if (p.maxDecimals > 0) {
        decimals = Digits(units % scale + scale).substr(1); // zero-padded to maxDecimals
        while (static_cast<int>(decimals.size()) > p.minDecimals && decimals.back() == u'0')
            decimals.pop_back();
    }
    UnicodeString out;
    if (value.Raw() < 0 && units != 0)
        out += u'-';
    out += p.prefix;
    out += whole;
    if (!decimals.empty()) {
        out += settings.DecimalSeparator;
        out += decimals;
    }
    out += p.suffix;
    return out;
}

namespace {

[[noreturn]] void RaiseCurrencyOverflow() {
    throw EOverflow(u"Currency overflow");
}

} // namespace

Currency Currency::FromPounds(std::int64_t pounds) {
    std::int64_t raw = 0;
    if (__builtin_mul_overflow(pounds, std::int64_t{10000}, &raw)) {
        RaiseCurrencyOverflow();
    }
    return FromRaw(raw);
}

Currency& Currency::operator+=(Currency o) {
    if (!TryAdd(*this, o, *this)) {
        RaiseCurrencyOverflow();
    }
    return *this;
}

Currency& Currency::operator-=(Currency o) {
    std::int64_t raw = 0;
    if (__builtin_sub_overflow(_nValue, o._nValue, &raw)) {
        RaiseCurrencyOverflow();
    }
    _nValue = raw;
    return *this;
}

Currency operator-(Currency a) {
    if (a._nValue == std::numeric_limits<std::int64_t>::min()) {
        RaiseCurrencyOverflow();
    }
    return Currency::FromRaw(-a._nValue);
}

} // namespace rtl
