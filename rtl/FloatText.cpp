#include "rtl/FloatText.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace rtl {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::size_t SkipDigits(UnicodeStringView s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    return i;
}

/// "1.5e+20" to "1.5E20", "1e-07" to "1E-7": the runtime's exponent form.
std::string PlainExponent(const std::string& text) {
    const auto e = text.find('e');
    if (e == std::string::npos)
        return text;
    std::string out = text.substr(0, e) + "E";
    std::size_t i = e + 1;
    if (text[i] == '-')
        out += '-';
    if (text[i] == '-' || text[i] == '+')
        ++i;
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    return out + text.substr(i);
}

} // namespace

UnicodeString FloatToStr(double value, const TFormatSettings& settings) {
    if (std::isnan(value))
        return u"NAN";
    if (std::isinf(value))
        return value > 0 ? u"INF" : u"-INF";
    // to_chars, unlike printf, never takes the decimal point from the C locale (LC_NUMERIC).
    char buf[40];
    const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    UnicodeString out = Latin1ToString(PlainExponent(std::string(buf, written.ptr)));
    for (char16_t& c : out)
        if (c == u'.')
            c = settings.DecimalSeparator;
    return out;
}

UnicodeString FloatToStrFixed(double value, int nDecimals, int nMinWidth, const TFormatSettings& settings) {
    UnicodeString out;
    if (!std::isfinite(value)) {
        out = FloatToStr(value, settings);
    } else {
        char buf[340]; // the largest double has 309 integer digits, then sign, point and decimals
        const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                           std::clamp(nDecimals, 0, kMaxFixedDecimals));
        out = Latin1ToString(std::string_view(buf, written.ptr));
        for (char16_t& c : out)
            if (c == u'.')
                c = settings.DecimalSeparator;
    }
    if (out.size() < static_cast<std::size_t>(nMinWidth))
        out.insert(0, static_cast<std::size_t>(nMinWidth) - out.size(), u' ');
    return out;
}

bool TryStrToFloat(UnicodeStringView s, double& value, const TFormatSettings& settings) {
    std::size_t i = 0;
    std::size_t end = s.size();
    while (i < end && s[i] == u' ')
        ++i;
    while (end > i && s[end - 1] == u' ')
        --end;
    s = s.substr(i, end - i);
    // Checked by hand first, so that only the runtime's grammar reaches from_chars.
    std::string ascii;
    std::size_t k = 0;
    if (k < s.size() && (s[k] == u'+' || s[k] == u'-'))
        ascii += static_cast<char>(s[k++]);
    const std::size_t intStart = k;
    k = SkipDigits(s, k);
    std::size_t digits = k - intStart;
    if (k < s.size() && s[k] == settings.DecimalSeparator) {
        const std::size_t fracStart = ++k;
        k = SkipDigits(s, k);
        digits += k - fracStart;
    }
    if (digits == 0)
        return false;
    if (k < s.size() && (s[k] == u'E' || s[k] == u'e')) {
        std::size_t x = k + 1;
        if (x < s.size() && (s[x] == u'+' || s[x] == u'-'))
            ++x;
        const std::size_t expStart = x;
        x = SkipDigits(s, x);
        if (x == expStart)
            return false;
        k = x;
    }
    if (k != s.size())
        return false;
    for (std::size_t j = ascii.size(); j < s.size(); ++j)
        ascii += s[j] == settings.DecimalSeparator ? '.' : static_cast<char>(s[j]);
    const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
    double parsed = 0;
    const auto [ptr, ec] = std::from_chars(first, ascii.data() + ascii.size(), parsed);
    if (ec != std::errc() || ptr != ascii.data() + ascii.size() || std::isinf(parsed))
        return false;
    value = parsed;
    return true;
}

double StrToFloat(UnicodeStringView s, const TFormatSettings& settings) {
    double value = 0;
    if (!TryStrToFloat(s, value, settings))
        throw EConvertError(u"'" + UnicodeString(s) + u"' is not a valid floating point value");
    return value;
}

} // namespace rtl
