#include "rtl/Bcd.h"

#include "rtl/Exceptions.h"

#include <string>

namespace rtl {

namespace {

/// The value without leading or trailing zero digits: Digits (empty for zero) and the power of ten of
/// the first of them.
struct TNormalised {
    std::string Digits; // '0'..'9'
    int Exponent = 0;
    bool Negative = false;
};

TNormalised Normalise(const TBcd& value) {
    TNormalised n;
    const int count = BcdPrecision(value);
    int first = 0;
    while (first < count && BcdDigit(value, first) == 0)
        ++first;
    int last = count - 1;
    while (last >= first && BcdDigit(value, last) == 0)
        --last;
    for (int i = first; i <= last; ++i)
        n.Digits.push_back(static_cast<char>('0' + BcdDigit(value, i)));
    n.Exponent = count - BcdScale(value) - 1 - first;
    n.Negative = IsBcdNegative(value) && !n.Digits.empty();
    return n;
}

bool IsDigit(char16_t c) noexcept {
    return c >= u'0' && c <= u'9';
}

/// Reads digits from text[at]; returns how many.
std::size_t DigitRun(UnicodeStringView text, std::size_t at) noexcept {
    std::size_t n = 0;
    while (at + n < text.size() && IsDigit(text[at + n]))
        ++n;
    return n;
}

/// The exponent's value, saturated: any exponent this large already overflows the record.
int ExponentValue(UnicodeStringView digits) noexcept {
    constexpr int kLimit = 1'000'000;
    int v = 0;
    for (char16_t c : digits) {
        v = v * 10 + (c - u'0');
        if (v > kLimit)
            return kLimit;
    }
    return v;
}

} // namespace

TBcd BcdFromDigits(const std::uint8_t* pDigits, int nCount, int nPlaces, bool blNegative) {
    if (nCount < 1 || nCount > MaxBcdPrecision || nPlaces < 0 || nPlaces > MaxBcdScale)
        throw EBcdOverflowException(u"BCD overflow");
    TBcd r;
    r.Precision = static_cast<std::uint8_t>(nCount);
    bool zero = true;
    for (int i = 0; i < nCount; ++i) {
        zero = zero && pDigits[i] == 0;
        r.Fraction[i >> 1] |= static_cast<std::uint8_t>((i & 1) ? pDigits[i] : pDigits[i] << 4);
    }
    r.SignSpecialPlaces = static_cast<std::uint8_t>(nPlaces | (blNegative && !zero ? 0x80 : 0));
    return r;
}

TBcd IntegerToBcd(std::int64_t value) {
    const bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::uint8_t digits[20];
    int n = 0;
    do {
        digits[19 - n++] = static_cast<std::uint8_t>(magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return BcdFromDigits(digits + 20 - n, n, 0, negative);
}

TBcd BcdNegated(const TBcd& value) {
    TBcd r = value;
    if (!BcdIsZeroValue(value))
        r.SignSpecialPlaces ^= 0x80;
    return r;
}

bool BcdIsZeroValue(const TBcd& value) noexcept {
    const int count = BcdPrecision(value);
    for (int i = 0; i < count; ++i)
        if (BcdDigit(value, i) != 0)
            return false;
    return true;
}

bool TryStrToBcd(UnicodeStringView text, TBcd& value, const TFormatSettings& settings) {
    std::size_t at = 0;
    const bool negative = at < text.size() && text[at] == u'-';
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
        ++at;
    const std::size_t nInt = DigitRun(text, at);
    std::string digits(text.begin() + at, text.begin() + at + nInt);
    at += nInt;
    int places = 0;
    if (at < text.size() && text[at] == settings.DecimalSeparator) {
        const std::size_t nFrac = DigitRun(text, ++at);
        digits.append(text.begin() + at, text.begin() + at + nFrac);
        places = static_cast<int>(nFrac);
        at += nFrac;
    }
    if (digits.empty())
        return false;
    if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
        const bool expNegative = ++at < text.size() && text[at] == u'-';
        if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
            ++at;
        const std::size_t nExp = DigitRun(text, at);
        if (nExp == 0)
            return false;
        const int exponent = ExponentValue(text.substr(at, nExp));
        places = expNegative ? places + exponent : places - exponent;
        at += nExp;
    }
    if (at != text.size())
        return false;

    const std::size_t firstNonZero = digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        value = TBcd();
        return true;
    }
    digits.erase(0, firstNonZero);
    while (places > 0 && digits.back() == '0') {
        digits.pop_back();
        --places;
    }
    // Digits before the point that the exponent adds, checked before they are made.
    if (places < 0 && digits.size() + static_cast<std::size_t>(-places) > MaxBcdPrecision)
        return false;
    if (places < 0) {
        digits.append(static_cast<std::size_t>(-places), '0');
        places = 0;
    }
    if (places > MaxBcdScale)
        return false;
    if (digits.size() < static_cast<std::size_t>(places))
        digits.insert(0, static_cast<std::size_t>(places) - digits.size(), '0');
    if (digits.size() > MaxBcdPrecision)
        return false;
    std::uint8_t raw[MaxBcdPrecision];
    for (std::size_t i = 0; i < digits.size(); ++i)
        raw[i] = static_cast<std::uint8_t>(digits[i] - '0');
    value = BcdFromDigits(raw, static_cast<int>(digits.size()), places, negative);
    return true;
}

TBcd StrToBcd(UnicodeStringView text, const TFormatSettings& settings) {
    TBcd value;
    if (!TryStrToBcd(text, value, settings))
        throw EConvertError(u"'" + UnicodeString(text) + u"' is not a valid BCD value");
    return value;
}

UnicodeString BcdToStr(const TBcd& value, const TFormatSettings& settings) {
    const TNormalised n = Normalise(value);
    if (n.Digits.empty())
        return u"0";
    UnicodeString s = n.Negative ? u"-" : u"";
    const int nDigits = static_cast<int>(n.Digits.size());
    if (n.Exponent < 0) {
        s += u'0';
        s += settings.DecimalSeparator;
        s.append(static_cast<std::size_t>(-n.Exponent - 1), u'0');
        s.append(n.Digits.begin(), n.Digits.end());
        return s;
    }
    for (int i = 0; i <= n.Exponent; ++i)
        s += i < nDigits ? static_cast<char16_t>(n.Digits[i]) : u'0';
    if (nDigits > n.Exponent + 1) {
        s += settings.DecimalSeparator;
        s.append(n.Digits.begin() + n.Exponent + 1, n.Digits.end());
    }
    return s;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
    const TNormalised x = Normalise(a), y = Normalise(b);
    const int signX = x.Digits.empty() ? 0 : (x.Negative ? -1 : 1);
    const int signY = y.Digits.empty() ? 0 : (y.Negative ? -1 : 1);
    if (signX != signY || signX == 0)
        return signX < signY ? -1 : (signX > signY ? 1 : 0);
    int magnitude =
        x.Exponent != y.Exponent ? (x.Exponent < y.Exponent ? -1 : 1) : x.Digits.compare(y.Digits);
    magnitude = (magnitude > 0) - (magnitude < 0);
    return signX * magnitude;
}

} // namespace rtl
