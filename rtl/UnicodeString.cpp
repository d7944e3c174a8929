#include "rtl/UnicodeString.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace rtl {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 0x80..0x9F; the five unassigned codes keep their C1 value.
constexpr char16_t kWin1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at bytes[i]; returns the code point, or -1 for an invalid
// sequence, advancing i past what was consumed (at least one byte).
long DecodeUtf8(std::string_view bytes, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    long cp;
    long min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return -1;
    }
    std::size_t j = i + 1;
    for (int k = 1; k < len; ++k, ++j) {
        if (j >= bytes.size() || (static_cast<unsigned char>(bytes[j]) & 0xC0) != 0x80) {
            i = j; // the maximal invalid prefix becomes one replacement character
            return -1;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(bytes[j]) & 0x3F);
    }
    i = j;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    return cp;
}

void AppendCodePoint(UnicodeString& out, long cp) {
    if (cp < 0) {
        out.push_back(kReplacement);
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

UnicodeString Utf16ToString(std::string_view bytes, bool bigEndian) {
    UnicodeString out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    if (bytes.size() % 2 != 0)
        out.push_back(kReplacement); // a dangling odd byte is not silently dropped
    return out;
}

// True when every code unit is ASCII: one pass without an early exit, which the compiler turns
// into wide operations; file names and element texts are converted by the thousand.
template <class Char> bool IsAsciiRun(std::basic_string_view<Char> text) {
    unsigned bits = 0;
    for (const Char c : text)
        bits |= static_cast<std::make_unsigned_t<Char>>(c);
    return bits < 0x80;
}

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD, or, when Escapes, each of its bytes (all
// 0x80 or above: ASCII always decodes) the lone low surrogate U+DC00 + byte.
template <bool Escapes> void AppendUtf8AsUtf16(UnicodeString& out, std::string_view utf8) {
    const std::size_t start = out.size();
    if (IsAsciiRun(utf8)) {
        out.resize(start + utf8.size());
        std::copy(utf8.begin(), utf8.end(), out.begin() + static_cast<std::ptrdiff_t>(start));
        return;
    }
    out.reserve(start + utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t from = i;
        const long cp = DecodeUtf8(utf8, i);
        if (!Escapes || cp >= 0) {
            AppendCodePoint(out, cp);
            continue;
        }
        for (std::size_t k = from; k < i; ++k)
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(utf8[k])));
    }
}

void AppendCodePointUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// A lone low surrogate that stands for one byte of a system name that was not UTF-8.
bool IsEscapedByte(unsigned long cp) {
    return cp >= 0xDC80 && cp <= 0xDCFF;
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD, except, when Escapes, the lone U+DC80..U+DCFF
// that NativeToString made of bytes, which become those bytes again.
template <bool Escapes> void AppendUtf16AsUtf8(std::string& out, UnicodeStringView text) {
    const std::size_t start = out.size();
    if (IsAsciiRun(text)) {
        out.resize(start + text.size());
        std::transform(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(start),
                       [](char16_t c) { return static_cast<char>(c); });
        return;
    }
    out.reserve(start + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (Escapes && IsEscapedByte(cp)) {
            out.push_back(static_cast<char>(cp - 0xDC00));
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendCodePointUtf8(out, cp);
    }
}

template <bool Escapes> UnicodeString Utf8ToUtf16(std::string_view utf8) {
    UnicodeString out;
    AppendUtf8AsUtf16<Escapes>(out, utf8);
    return out;
}

template <bool Escapes> std::string Utf16ToUtf8(UnicodeStringView text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf16AsUtf8<Escapes>(out, text);
    return out;
}

bool IsBlank(char16_t c) {
    return c <= 0x20;
}

template <class Int> bool TryParseInt(UnicodeStringView s, Int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == s.size())
        return false;
    // Accumulate as a negative number so the minimum value fits.
    Int acc = 0;
    constexpr Int kMin = std::numeric_limits<Int>::min();
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c < u'0' || c > u'9')
            return false;
        const Int digit = static_cast<Int>(c - u'0');
        if (acc < (kMin + digit) / 10)
            return false;
        acc = acc * 10 - digit;
    }
    if (!negative) {
        if (acc == kMin)
            return false;
        acc = -acc;
    }
    value = acc;
    return true;
}

[[noreturn]] void RaiseNotInteger(UnicodeStringView s) {
    throw EConvertError(u"'" + UnicodeString(s) + u"' is not a valid integer value");
}

} // namespace

UnicodeString Utf8ToString(std::string_view utf8) {
    return Utf8ToUtf16<false>(utf8);
}

void AppendUtf8AsString(UnicodeString& out, std::string_view utf8) {
    AppendUtf8AsUtf16<false>(out, utf8);
}

std::string StringToUtf8(UnicodeStringView text) {
    return Utf16ToUtf8<false>(text);
}

void AppendStringAsUtf8(std::string& out, UnicodeStringView text) {
    AppendUtf16AsUtf8<false>(out, text);
}

UnicodeString NativeToString(std::string_view bytes) {
    return Utf8ToUtf16<true>(bytes);
}

void AppendNativeAsString(UnicodeString& out, std::string_view bytes) {
    AppendUtf8AsUtf16<true>(out, bytes);
}

std::string StringToNative(UnicodeStringView text) {
    return Utf16ToUtf8<true>(text);
}

void AppendStringAsNative(std::string& out, UnicodeStringView text) {
    AppendUtf16AsUtf8<true>(out, text);
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();)
        if (DecodeUtf8(bytes, i) < 0)
            return false;
    return true;
}

UnicodeString Latin1ToString(std::string_view bytes) {
    UnicodeString out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

std::string StringToLatin1(UnicodeStringView text) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<char>(text[i] & 0xFF);
    return out;
}

UnicodeString Win1252ToString(std::string_view bytes) {
    UnicodeString out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? kWin1252High[b - 0x80] : b;
    }
    return out;
}

std::string StringToWin1252(UnicodeStringView text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (kWin1252High[k] == c) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        out.push_back(mapped);
    }
    return out;
}

UnicodeString AnsiToString(std::string_view bytes) {
    return IsValidUtf8(bytes) ? Utf8ToString(bytes) : Win1252ToString(bytes);
}

UnicodeString DecodeText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return Utf8ToString(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE"))
        return Utf16ToString(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return Utf16ToString(bytes.substr(2), true);
    return AnsiToString(bytes);
}

char16_t UpCaseAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

char16_t LoCaseAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

UnicodeString UpperCase(UnicodeStringView s) {
    UnicodeString out(s);
    for (char16_t& c : out)
        c = UpCaseAscii(c);
    return out;
}

UnicodeString LowerCase(UnicodeStringView s) {
    UnicodeString out(s);
    for (char16_t& c : out)
        c = LoCaseAscii(c);
    return out;
}

int CompareText(UnicodeStringView a, UnicodeStringView b) {
    // Folded inline: file-name look-ups compare many names while datasets load.
    auto fold = [](char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : int{c}; };
    const std::size_t n = std::min(a.size(), b.size());
    // Equal code units fold alike: the common run is skipped before folding.
    std::size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    for (; i < n; ++i) {
        const int ca = fold(a[i]);
        const int cb = fold(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(UnicodeStringView a, UnicodeStringView b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(UnicodeStringView a, UnicodeStringView b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

UnicodeString TrimLeft(UnicodeStringView s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return UnicodeString(s.substr(i));
}

UnicodeString TrimRight(UnicodeStringView s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return UnicodeString(s.substr(0, n));
}

UnicodeString Trim(UnicodeStringView s) {
    return TrimLeft(TrimRight(s));
}

int Pos(UnicodeStringView sub, UnicodeStringView s) {
    if (sub.empty())
        return 0;
    const std::size_t p = s.find(sub);
    return p == UnicodeStringView::npos ? 0 : static_cast<int>(p) + 1;
}

UnicodeString StringReplace(UnicodeStringView s, UnicodeStringView oldPattern, UnicodeStringView newPattern,
                            TReplaceFlag flags) {
    if (oldPattern.empty())
        return UnicodeString(s);
    const unsigned f = static_cast<unsigned>(flags);
    const bool all = (f & 1) != 0;
    const bool ignoreCase = (f & 2) != 0;
    const UnicodeString haystack = ignoreCase ? UpperCase(s) : UnicodeString(s);
    const UnicodeString needle = ignoreCase ? UpperCase(oldPattern) : UnicodeString(oldPattern);
    UnicodeString out;
    std::size_t from = 0;
    while (true) {
        const std::size_t p = haystack.find(needle, from);
        if (p == UnicodeString::npos)
            break;
        out.append(s.substr(from, p - from));
        out.append(newPattern);
        from = p + needle.size();
        if (!all)
            break;
    }
    out.append(s.substr(from));
    return out;
}

bool StartsText(UnicodeStringView prefix, UnicodeStringView s) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(UnicodeStringView suffix, UnicodeStringView s) {
    return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

UnicodeString IntToStr(std::int64_t value) {
    const std::string digits = std::to_string(value);
    return UnicodeString(digits.begin(), digits.end());
}

bool TryStrToInt(UnicodeStringView s, int& value) {
    return TryParseInt<int>(s, value);
}

bool TryStrToInt64(UnicodeStringView s, std::int64_t& value) {
    return TryParseInt<std::int64_t>(s, value);
}

int StrToInt(UnicodeStringView s) {
    int value = 0;
    if (!TryStrToInt(s, value))
        RaiseNotInteger(s);
    return value;
}

std::int64_t StrToInt64(UnicodeStringView s) {
    std::int64_t value = 0;
    if (!TryStrToInt64(s, value))
        RaiseNotInteger(s);
    return value;
}

int HexDigitValue(char16_t c) noexcept {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace rtl
