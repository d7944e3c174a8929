#include "rtl/Encoding.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace rtl {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::string_view AsChars(const std::uint8_t* bytes, std::size_t count) {
    return {reinterpret_cast<const char*>(bytes), count};
}

TBytes AsBytes(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

#ifndef _WIN32
/// One conversion descriptor per thread and direction, reset before each use: opening one costs more
/// than a short conversion.
class TIconv {
public:
    TIconv(const char* to, const char* from) : _cd(iconv_open(to, from)) {}
    ~TIconv() {
        if (_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(_cd);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    /// Converts the whole input; false on a malformed or incomplete sequence.
    bool Convert(const char* in, std::size_t count, std::string& out) {
        if (_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv(_cd, nullptr, nullptr, nullptr, nullptr);
        std::string result(count * 4 + 16, '\0');
        char* src = const_cast<char*>(in);
        std::size_t srcLeft = count;
        char* dst = result.data();
        std::size_t dstLeft = result.size();
        while (srcLeft > 0) {
            if (iconv(_cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1))
                continue;
            if (errno != E2BIG)
                return false;
            const std::size_t used = result.size() - dstLeft;
            result.resize(result.size() * 2);
            dst = result.data() + used;
            dstLeft = result.size() - used;
        }
        // Flush: ends an open shift sequence when encoding.
        if (iconv(_cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1))
            return false;
        result.resize(result.size() - dstLeft);
        out = std::move(result);
        return true;
    }

private:
    iconv_t _cd;
};
#endif

bool IsBase64Digit(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '+' || b == '/';
}

/// False when a shifted run ends with six or more bits short of a 16-bit unit: the converter drops such
/// bits silently, though the run is cut off.
bool ShiftedRunsComplete(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != '+')
            continue;
        std::size_t n = 0;
        while (i + 1 < count && IsBase64Digit(bytes[i + 1]))
            ++i, ++n;
        if (n * 6 % 16 >= 6)
            return false;
    }
    return true;
}

bool Utf7ToString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) {
    if (!ShiftedRunsComplete(bytes, count))
        return false;
#ifdef _WIN32
    if (count == 0)
        return true;
    // The system's UTF-7 takes bytes above 127 as they come; they are no UTF-7 at all.
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] >= 0x80)
            return false;
    const int n = MultiByteToWideChar(CP_UTF7, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(count),
                                      nullptr, 0);
    if (n <= 0)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_UTF7, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(count),
                        reinterpret_cast<wchar_t*>(out.data() + at), n);
    return true;
#else
    thread_local TIconv decoder("UTF-16LE", "UTF-7");
    std::string utf16;
    if (!decoder.Convert(reinterpret_cast<const char*>(bytes), count, utf16))
        return false;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(utf16[i]) |
                                            static_cast<std::uint8_t>(utf16[i + 1]) << 8));
    return true;
#endif
}

TBytes StringToUtf7(UnicodeStringView text) {
    // Lone surrogates have no UTF-7 form: they go through UTF-8's replacement first.
    const UnicodeString clean = Utf8ToString(StringToUtf8(text));
#ifdef _WIN32
    if (clean.empty())
        return {};
    const auto* src = reinterpret_cast<const wchar_t*>(clean.data());
    const int n = WideCharToMultiByte(CP_UTF7, 0, src, static_cast<int>(clean.size()), nullptr, 0, nullptr, nullptr);
    TBytes out(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n > 0)
        WideCharToMultiByte(CP_UTF7, 0, src, static_cast<int>(clean.size()), reinterpret_cast<char*>(out.data()), n,
                            nullptr, nullptr);
    return out;
#else
    thread_local TIconv encoder("UTF-7", "UTF-16LE");
    std::string utf16;
    utf16.reserve(clean.size() * 2);
    for (char16_t c : clean) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    std::string out;
    encoder.Convert(utf16.data(), utf16.size(), out);
    return AsBytes(out);
#endif
}

template <class Derived> const TEncodingClass& ClassOf(const char* name) {
    static const TClassOf<Derived, TEncoding> s_class(name);
    return s_class;
}

} // namespace

// --- TEncoding -------------------------------------------------------------------------------------------
UnicodeString TEncoding::GetString(const TBytes& bytes) const {
    UnicodeString out;
    if (!TryGetString(bytes.data(), bytes.size(), out))
        throw EEncodingError(u"No mapping for the Unicode character exists in the target multi-byte code page");
    return out;
}

TEncoding* TEncoding::ANSI() {
    static TMBCSEncoding s_encoding;
    return &s_encoding;
}

TEncoding* TEncoding::ASCII() {
    static TASCIIEncoding s_encoding;
    return &s_encoding;
}

TEncoding* TEncoding::BigEndianUnicode() {
    static TBigEndianUnicodeEncoding s_encoding;
    return &s_encoding;
}

TEncoding* TEncoding::Unicode() {
    static TUnicodeEncoding s_encoding;
    return &s_encoding;
}

TEncoding* TEncoding::UTF7() {
    static TUTF7Encoding s_encoding;
    return &s_encoding;
}

TEncoding* TEncoding::UTF8() {
    static TUTF8Encoding s_encoding;
    return &s_encoding;
}

bool TEncoding::IsStandardEncoding(const TEncoding* encoding) {
    return encoding && (encoding == ANSI() || encoding == ASCII() || encoding == BigEndianUnicode() ||
                        encoding == Unicode() || encoding == UTF7() || encoding == UTF8());
}

int TEncoding::GetBufferEncoding(const std::uint8_t* bytes, std::size_t count, TEncoding*& encoding,
                                 TEncoding* defaultEncoding) {
    for (TEncoding* candidate : {UTF8(), Unicode(), BigEndianUnicode()}) {
        const TBytes mark = candidate->GetPreamble();
        if (count >= mark.size() && std::memcmp(bytes, mark.data(), mark.size()) == 0) {
            encoding = candidate;
            return static_cast<int>(mark.size());
        }
    }
    encoding = defaultEncoding ? defaultEncoding : UTF8();
    return 0;
}

// --- ANSI ------------------------------------------------------------------------------------------------
const TEncodingClass& TMBCSEncoding::ClassType() const {
    return ClassOf<TMBCSEncoding>("TMBCSEncoding");
}

#ifdef _WIN32
UnicodeString TMBCSEncoding::EncodingName() const {
    return u"ANSI (code page " + IntToStr(GetACP()) + u")";
}

bool TMBCSEncoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    if (count == 0)
        return true;
    const auto* src = reinterpret_cast<const char*>(bytes);
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, src, static_cast<int>(count), nullptr, 0);
    if (n <= 0)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, src, static_cast<int>(count),
                        reinterpret_cast<wchar_t*>(out.data() + at), n);
    return true;
}

TBytes TMBCSEncoding::GetBytes(UnicodeStringView text) const {
    if (text.empty())
        return {};
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    TBytes out(static_cast<std::size_t>(n > 0 ? n : 0));
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(text.size()), reinterpret_cast<char*>(out.data()), n,
                            nullptr, nullptr);
    return out;
}
#else
UnicodeString TMBCSEncoding::EncodingName() const {
    return u"ANSI (Windows-1252)";
}

bool TMBCSEncoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    out += Win1252ToString(AsChars(bytes, count));
    return true;
}

TBytes TMBCSEncoding::GetBytes(UnicodeStringView text) const {
    return AsBytes(StringToWin1252(text));
}
#endif

// --- ASCII -----------------------------------------------------------------------------------------------
const TEncodingClass& TASCIIEncoding::ClassType() const {
    return ClassOf<TASCIIEncoding>("TASCIIEncoding");
}

bool TASCIIEncoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] >= 0x80)
            return false;
    out.append(bytes, bytes + count);
    return true;
}

TBytes TASCIIEncoding::GetBytes(UnicodeStringView text) const {
    TBytes out(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] < 0x80 ? static_cast<std::uint8_t>(text[i]) : '?';
    return out;
}

// --- UTF-16 ----------------------------------------------------------------------------------------------
const TEncodingClass& TUnicodeEncoding::ClassType() const {
    return ClassOf<TUnicodeEncoding>("TUnicodeEncoding");
}

const TEncodingClass& TBigEndianUnicodeEncoding::ClassType() const {
    return ClassOf<TBigEndianUnicodeEncoding>("TBigEndianUnicodeEncoding");
}

bool TUnicodeEncoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    if (count % 2 != 0)
        return false;
    const bool big = BigEndian();
    UnicodeString text(count / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t a = bytes[2 * i];
        const std::uint8_t b = bytes[2 * i + 1];
        text[i] = static_cast<char16_t>(big ? (a << 8 | b) : (b << 8 | a));
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLowSurrogate(text[i]))
            return false;
        if (IsHighSurrogate(text[i]) && (++i >= text.size() || !IsLowSurrogate(text[i])))
            return false;
    }
    out += text;
    return true;
}

TBytes TUnicodeEncoding::GetBytes(UnicodeStringView text) const {
    const bool big = BigEndian();
    TBytes out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        const auto hi = static_cast<std::uint8_t>(c >> 8);
        const auto lo = static_cast<std::uint8_t>(c & 0xFF);
        out.push_back(big ? hi : lo);
        out.push_back(big ? lo : hi);
    }
    return out;
}

// --- UTF-7 -----------------------------------------------------------------------------------------------
const TEncodingClass& TUTF7Encoding::ClassType() const {
    return ClassOf<TUTF7Encoding>("TUTF7Encoding");
}

bool TUTF7Encoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    return Utf7ToString(bytes, count, out);
}

TBytes TUTF7Encoding::GetBytes(UnicodeStringView text) const {
    return StringToUtf7(text);
}

// --- UTF-8 -----------------------------------------------------------------------------------------------
const TEncodingClass& TUTF8Encoding::ClassType() const {
    return ClassOf<TUTF8Encoding>("TUTF8Encoding");
}

bool TUTF8Encoding::TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const {
    const std::string_view text = AsChars(bytes, count);
    if (!IsValidUtf8(text))
        return false;
    AppendUtf8AsString(out, text);
    return true;
}

TBytes TUTF8Encoding::GetBytes(UnicodeStringView text) const {
    return AsBytes(StringToUtf8(text));
}

} // namespace rtl
