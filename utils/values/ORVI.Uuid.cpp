#include "utils/values/ORVI.Uuid.h"

#include "rtl/Exceptions.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvi {

namespace {

using rtl::EConvertError;
using rtl::UnicodeString;
using rtl::UnicodeStringView;
using TBytes16 = std::uint8_t[16];

// Digit values, or -1 for a character that is not a hex digit.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i)
        t['0' + i] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        t['a' + i] = static_cast<std::int8_t>(10 + i);
        t['A' + i] = static_cast<std::int8_t>(10 + i);
    }
    return t;
}();

// Two digits per byte value, so that formatting costs one table read per byte.
struct THexPairs {
    std::array<std::array<char16_t, 2>, 256> Pair;
};
constexpr THexPairs MakeHexPairs(const char* digits) {
    THexPairs t{};
    for (int i = 0; i < 256; ++i)
        t.Pair[i] = {static_cast<char16_t>(digits[i >> 4]), static_cast<char16_t>(digits[i & 15])};
    return t;
}
constexpr THexPairs kLowerPairs = MakeHexPairs("0123456789abcdef");
constexpr THexPairs kUpperPairs = MakeHexPairs("0123456789ABCDEF");

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::array<std::int8_t, 256> kBase64Value = [] {
    std::array<std::int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
    return t;
}();

// Where the hex pairs start in the 36-character standard form (after the "-" at 8, 13, 18, 23).
constexpr std::array<std::uint8_t, 16> kStandardPairs = {0,  2,  4,  6,  9,  11, 14, 16,
                                                         19, 21, 24, 26, 28, 30, 32, 34};

int HexValue(char16_t c) noexcept {
    return c < 256 ? kHexValue[c] : -1;
}

/// Reads the two-digit pair at s[at]; -1 when either character is not a hex digit.
int HexPair(UnicodeStringView s, std::size_t at) noexcept {
    const int hi = HexValue(s[at]);
    const int lo = HexValue(s[at + 1]);
    return (hi | lo) < 0 ? -1 : hi * 16 + lo;
}

/// 16 pairs from s[from], a "-" where a pair would begin being skipped. In the 36-, 37/38- and
/// 32-character forms the markers are already checked, so any skip beyond them runs out of text.
bool ReadPairs(UnicodeStringView s, std::size_t from, TBytes16& out) noexcept {
    std::size_t at = from;
    for (std::uint8_t& byte : out) {
        if (at < s.size() && s[at] == u'-')
            ++at;
        if (at + 2 > s.size())
            return false;
        const int v = HexPair(s, at);
        if (v < 0)
            return false;
        byte = static_cast<std::uint8_t>(v);
        at += 2;
    }
    return true;
}

/// The standard layout at fixed offsets: the common case, read without the skip test.
bool ReadStandardPairs(UnicodeStringView s, std::size_t from, TBytes16& out) noexcept {
    int bad = 0;
    for (int i = 0; i < 16; ++i) {
        const int v = HexPair(s, from + kStandardPairs[i]);
        bad |= v;
        out[i] = static_cast<std::uint8_t>(v);
    }
    return bad >= 0;
}

std::shared_ptr<const rtl::Exception> HexError() {
    return std::make_shared<EConvertError>(u"Invalid hex character encountered");
}

[[noreturn]] void RaiseForm(const char16_t* szForm, std::shared_ptr<const rtl::Exception> pCause) {
    throw EConvertError(szForm, std::move(pCause));
}

bool HasStandardDashes(UnicodeStringView s, std::size_t first) noexcept {
    return s[first] == u'-' && s[first + 5] == u'-' && s[first + 10] == u'-' && s[first + 15] == u'-';
}

void ParseStandard(UnicodeStringView s, TBytes16& out) {
    if (!ReadStandardPairs(s, 0, out))
        RaiseForm(u"Invalid format for Standard Uuid", HexError());
}

void ParseBrace(UnicodeStringView s, TBytes16& out) {
    if (!ReadStandardPairs(s, 1, out))
        RaiseForm(u"Invalid format for MS Styler Uuid", HexError());
}

void ParsePlainHex(UnicodeStringView s, TBytes16& out) {
    if (!ReadPairs(s, 0, out))
        RaiseForm(u"Invalid format for Hex Uuid", HexError());
}

std::uint32_t LittleEndian32(const std::uint8_t* p) noexcept {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// clang-format off
/// lookup2's mixing step.
void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) noexcept {
    a -= b; a -= c; a ^= c >> 13;
    b -= c; b -= a; b ^= a << 8;
    c -= a; c -= b; c ^= b >> 13;
    a -= b; a -= c; a ^= c >> 12;
    b -= c; b -= a; b ^= a << 16;
    c -= a; c -= b; c ^= b >> 5;
    a -= b; a -= c; a ^= c >> 3;
    b -= c; b -= a; b ^= a << 10;
    c -= a; c -= b; c ^= b >> 15;
}
// clang-format on

std::uint32_t JHashOf(const TBytes16& bytes) noexcept {
    std::uint32_t a = 0x9E3779B9, b = 0x9E3779B9, c = 0;
    a += LittleEndian32(bytes);
    b += LittleEndian32(bytes + 4);
    c += LittleEndian32(bytes + 8);
    Mix(a, b, c);
    c += 16;
    a += LittleEndian32(bytes + 12);
    Mix(a, b, c);
    return c;
}

void ParsePath(UnicodeStringView s, TBytes16& out) {
    const int checkHigh = HexPair(s, 0);
    const int checkLow = HexPair(s, 3);
    if ((checkHigh | checkLow) < 0 || !ReadPairs(s, 6, out))
        RaiseForm(u"Invalid format for JHash Uuid", HexError());
    const std::uint32_t hash = JHashOf(out);
    if (((hash >> 8) & 0xFF) != std::uint32_t(checkHigh) || (hash & 0xFF) != std::uint32_t(checkLow))
        RaiseForm(u"Invalid format for JHash Uuid",
                  std::make_shared<EConvertError>(u"JHash Uuid bytes do not match JHash of Uuid"));
}

void ParseBase64(UnicodeStringView s, TBytes16& out) {
    std::uint32_t bits = 0;
    int nBits = 0;
    std::size_t count = 0;
    for (const char16_t c : s) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n')
            continue;
        if (c == u'=')
            break;
        const int v = c < 256 ? kBase64Value[c] : -1;
        if (v < 0)
            throw EConvertError(u"Invalid character found in Base64 encoded data");
        bits = (bits << 6) | std::uint32_t(v);
        nBits += 6;
        if (nBits >= 8) {
            nBits -= 8;
            out[count++] = static_cast<std::uint8_t>(bits >> nBits);
            if (count == 16)
                return;
        }
    }
    throw EConvertError(u"Base64 encoded Uuid did not give 16 bytes of data");
}

/// One byte per character; a unit above 0xFF carries two 8-bit hex digits, the first in its low byte.
void ParseSixteen(UnicodeStringView s, TBytes16& out) {
    for (std::size_t i = 0; i < 16; ++i) {
        const char16_t c = s[i];
        if (c < 256) {
            out[i] = static_cast<std::uint8_t>(c);
            continue;
        }
        const int hi = kHexValue[c & 0xFF];
        const int lo = kHexValue[c >> 8];
        if ((hi | lo) < 0)
            throw EConvertError(u"Invalid hex character encountered");
        out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
}

void ParseRaw(UnicodeStringView s, TBytes16& out) noexcept {
    for (std::size_t i = 0; i < 8; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
    }
}

bool IsPathForm(UnicodeStringView s) noexcept {
    return s.size() == 38 && s[2] == s[5] && (s[2] == u'\\' || s[2] == u'/');
}

bool IsBraceForm(UnicodeStringView s) noexcept {
    return (s.size() == 37 || (s.size() == 38 && s[37] == u'}')) && s[0] == u'{' && HasStandardDashes(s, 9);
}

/// Fills out from s by the rules of the text forms; false when the length matches no form. The bytes
/// are assembled in out, a scratch buffer, so that the caller copies them only on success.
bool ParseInto(UnicodeStringView s, TBytes16& out, bool blTextOnly) {
    if (s.size() == 36 && HasStandardDashes(s, 8)) {
        ParseStandard(s, out);
    } else if (s.empty()) {
        std::memset(out, 0, 16);
    } else if (IsPathForm(s)) {
        ParsePath(s, out);
    } else if (IsBraceForm(s)) {
        ParseBrace(s, out);
    } else if (s.size() == 32) {
        ParsePlainHex(s, out);
    } else if (s.size() == 24) {
        ParseBase64(s, out);
    } else if (s.size() == 16 && !blTextOnly) {
        ParseSixteen(s, out);
    } else if (s.size() == 8 && !blTextOnly) {
        ParseRaw(s, out);
    } else {
        return false;
    }
    return true;
}

TORVI_Uuid ParseOrRaise(UnicodeStringView s, bool blTextOnly) {
    TBytes16 scratch;
    if (!ParseInto(s, scratch, blTextOnly))
        throw EConvertError(u"Unrecognised Format");
    return TORVI_Uuid(scratch);
}

/// Writes the 8-4-4-4-12 groups from p on (36 characters), at the fixed offsets the parser reads.
void WriteStandard(char16_t* p, const TBytes16& bytes, const THexPairs& digits) noexcept {
    for (int i = 0; i < 16; ++i)
        std::memcpy(p + kStandardPairs[i], digits.Pair[bytes[i]].data(), 2 * sizeof(char16_t));
    p[8] = p[13] = p[18] = p[23] = u'-';
}

#if defined(__SSE2__)
/// The lower-case standard form with vector instructions: the 32 digits are made 16 at a time and
/// stored in overlapping blocks, each later block overwriting where a "-" belongs, then the four "-".
void WriteStandardLower(char16_t* p, const TBytes16& bytes) noexcept {
    const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i mask = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(value, 4), mask);
    const __m128i low = _mm_and_si128(value, mask);
    const auto digits = [](__m128i n) {
        // '0' + n, and 39 more for n > 9 to reach 'a'.
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(n, _mm_set1_epi8(9)), _mm_set1_epi8(39));
        return _mm_add_epi8(_mm_add_epi8(n, _mm_set1_epi8('0')), letters);
    };
    const __m128i first = digits(_mm_unpacklo_epi8(high, low));  // digits 0..15
    const __m128i second = digits(_mm_unpackhi_epi8(high, low)); // digits 16..31
    const __m128i zero = _mm_setzero_si128();
    const __m128i d0 = _mm_unpacklo_epi8(first, zero);  // digits 0..7 as 16-bit units
    const __m128i d1 = _mm_unpackhi_epi8(first, zero);  // 8..15
    const __m128i d2 = _mm_unpacklo_epi8(second, zero); // 16..23
    const __m128i d3 = _mm_unpackhi_epi8(second, zero); // 24..31
    const __m128i d12 = _mm_or_si128(_mm_srli_si128(d1, 8), _mm_slli_si128(d2, 8)); // 12..19
    const __m128i d23 = _mm_or_si128(_mm_srli_si128(d2, 8), _mm_slli_si128(d3, 8)); // 20..27
    const auto store = [p](int at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p + at), v); };
    store(0, d0);
    store(9, d1);
    store(14, d12);
    store(19, d2);
    store(24, d23);
    store(28, d3);
    p[8] = p[13] = p[18] = p[23] = u'-';
}
#else
void WriteStandardLower(char16_t* p, const TBytes16& bytes) noexcept {
    WriteStandard(p, bytes, kLowerPairs);
}
#endif

void WriteHex(char16_t* p, const std::uint8_t* bytes, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i, p += 2) {
        p[0] = kLowerPairs.Pair[bytes[i]][0];
        p[1] = kLowerPairs.Pair[bytes[i]][1];
    }
}

UnicodeString Base64Of(const TBytes16& bytes) {
    UnicodeString s;
    s.reserve(24);
    for (int i = 0; i < 15; i += 3) {
        const std::uint32_t v =
            std::uint32_t(bytes[i]) << 16 | std::uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            s.push_back(static_cast<char16_t>(kBase64Alphabet[(v >> shift) & 63]));
    }
    s.push_back(static_cast<char16_t>(kBase64Alphabet[bytes[15] >> 2]));
    s.push_back(static_cast<char16_t>(kBase64Alphabet[(bytes[15] & 3) << 4]));
    return s.append(u"==");
}

enum class TForm { Standard, Brace, Base64, Hex, Raw, Path };

/// The form a format name selects, letter case ignored; unknown names select the standard form.
/// The name is folded into a small buffer, since the common call passes no name at all.
TForm FormOf(UnicodeStringView szFormat) noexcept {
    constexpr std::size_t kLongest = 9; // "microsoft", "jhashpath"
    if (szFormat.empty() || szFormat.size() > kLongest)
        return TForm::Standard;
    char16_t buffer[kLongest];
    for (std::size_t i = 0; i < szFormat.size(); ++i)
        buffer[i] = rtl::LoCaseAscii(szFormat[i]);
    const UnicodeStringView name(buffer, szFormat.size());
    static constexpr std::pair<UnicodeStringView, TForm> kNames[] = {
        {u"ms", TForm::Brace},       {u"microsoft", TForm::Brace}, {u"base64", TForm::Base64},
        {u"base.64", TForm::Base64}, {u"base:64", TForm::Base64},  {u"base::64", TForm::Base64},
        {u"hex", TForm::Hex},        {u"dbhex", TForm::Hex},       {u"base16", TForm::Hex},
        {u"base.16", TForm::Hex},    {u"base:16", TForm::Hex},     {u"base::16", TForm::Hex},
        {u"mysql", TForm::Raw},      {u"binary", TForm::Raw},      {u"jhashpath", TForm::Path},
    };
    for (const auto& [n, form] : kNames)
        if (n == name)
            return form;
    return TForm::Standard;
}

} // namespace

TORVI_Uuid::TORVI_Uuid(const std::uint8_t* pBytes) noexcept {
    std::memcpy(_baUuid, pBytes, 16);
}

TORVI_Uuid::TORVI_Uuid(bool blZeroed) {
    if (!blZeroed)
        Randomise();
}

TORVI_Uuid TORVI_Uuid::Create(const char16_t* pszSource) {
    return Parse(pszSource ? UnicodeStringView(pszSource) : UnicodeStringView());
}

TORVI_Uuid TORVI_Uuid::Parse(UnicodeStringView szSource) {
    return ParseOrRaise(szSource, false);
}

TORVI_Uuid TORVI_Uuid::ParseText(UnicodeStringView szSource) {
    return ParseOrRaise(szSource, true);
}

int TORVI_Uuid::Compare(const TORVI_Uuid& Left, const TORVI_Uuid& Right) noexcept {
    const int r = std::memcmp(Left._baUuid, Right._baUuid, 16);
    return (r > 0) - (r < 0);
}

UnicodeString TORVI_Uuid::Format(UnicodeStringView szFormat) const {
    switch (FormOf(szFormat)) {
    case TForm::Brace: {
        char16_t text[38];
        text[0] = u'{';
        WriteStandard(text + 1, _baUuid, kUpperPairs);
        text[37] = u'}';
        return UnicodeString(text, 38);
    }
    case TForm::Base64:
        return Base64Of(_baUuid);
    case TForm::Hex: {
        UnicodeString s(32, u'0');
        WriteHex(s.data(), _baUuid, 16);
        return s;
    }
    case TForm::Raw:
        return _GetAsString();
    case TForm::Path: {
        const std::uint32_t hash = JHash();
        const std::uint8_t check[2] = {static_cast<std::uint8_t>(hash >> 8), static_cast<std::uint8_t>(hash)};
        UnicodeString s(38, u'\\');
        WriteHex(s.data(), check, 1);
        WriteHex(s.data() + 3, check + 1, 1);
        WriteHex(s.data() + 6, _baUuid, 16);
        return s;
    }
    case TForm::Standard:
        break;
    }
    if (std::memcmp(_baUuid, "ORVI-", 5) == 0) {
        UnicodeString s(u"Internal Reference: ");
        for (std::uint8_t b : _baUuid)
            s.push_back(b);
        return s;
    }
    // Built on the stack and copied once: cheaper than filling a new string and writing over it.
    char16_t text[36];
    WriteStandardLower(text, _baUuid);
    return UnicodeString(text, 36);
}

std::uint32_t TORVI_Uuid::JHash() const noexcept {
    return JHashOf(_baUuid);
}

void TORVI_Uuid::Randomise() {
    rtl::TGUID guid;
    if (rtl::CreateGUID(guid))
        _SetAsGuid(guid);
}

void TORVI_Uuid::Zero() noexcept {
    std::memset(_baUuid, 0, 16);
}

bool TORVI_Uuid::TrySetAsVariant(const rtl::Variant& NewValue) {
    switch (NewValue.VarType()) {
    case rtl::TVarType::varEmpty:
    case rtl::TVarType::varNull:
        Zero();
        return true;
    case rtl::TVarType::varByteArray: {
        // Only a whole value is taken: a shorter array would be read past its end, a longer one cut.
        const rtl::TBytes& bytes = NewValue.AsByteArray().Bytes;
        if (bytes.size() != 16)
            return false;
        std::memcpy(_baUuid, bytes.data(), 16);
        return true;
    }
    case rtl::TVarType::varUString:
        *this = Parse(NewValue.AsString());
        return true;
    case rtl::TVarType::varString:
        try {
            *this = Parse(rtl::Latin1ToString(NewValue.AsAnsiString()));
        } catch (const rtl::Exception& e) {
            throw EConvertError(u"Unable to interpret Variant text as Uuid", e.Clone());
        }
        return true;
    default:
        return false;
    }
}

bool TORVI_Uuid::IsZero() const noexcept {
    static constexpr std::uint8_t kZero[16] = {};
    return std::memcmp(_baUuid, kZero, 16) == 0;
}

std::uint32_t TORVI_Uuid::_GetTimeLow() const noexcept {
    return std::uint32_t(_baUuid[0]) << 24 | std::uint32_t(_baUuid[1]) << 16 |
           std::uint32_t(_baUuid[2]) << 8 | _baUuid[3];
}

void TORVI_Uuid::_SetTimeLow(std::uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i)
        _baUuid[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::uint16_t TORVI_Uuid::_GetTimeMid() const noexcept {
    return static_cast<std::uint16_t>(_baUuid[4] << 8 | _baUuid[5]);
}

void TORVI_Uuid::_SetTimeMid(std::uint16_t value) noexcept {
    _baUuid[4] = static_cast<std::uint8_t>(value >> 8);
    _baUuid[5] = static_cast<std::uint8_t>(value);
}

std::uint16_t TORVI_Uuid::_GetTimeHighAndVersion() const noexcept {
    return static_cast<std::uint16_t>(_baUuid[6] << 8 | _baUuid[7]);
}

void TORVI_Uuid::_SetTimeHighAndVersion(std::uint16_t value) noexcept {
    _baUuid[6] = static_cast<std::uint8_t>(value >> 8);
    _baUuid[7] = static_cast<std::uint8_t>(value);
}

std::uint8_t TORVI_Uuid::_GetNode(int index) const {
    if (index < 0 || index > 5)
        throw rtl::EArgumentOutOfRangeException(rtl::IntToStr(index) +
                                                u" is invalid (should be between 0 and 5)");
    return _baUuid[10 + index];
}

void TORVI_Uuid::_SetNode(int index, std::uint8_t value) noexcept {
    if (index >= 0 && index <= 5)
        _baUuid[10 + index] = value;
}

std::uint8_t TORVI_Uuid::_GetVersion() const noexcept {
    return static_cast<std::uint8_t>(_GetTimeHighAndVersion() >> 12);
}

void TORVI_Uuid::_SetVersion(std::uint8_t value) noexcept {
    _baUuid[6] = static_cast<std::uint8_t>((_baUuid[6] & 0x0F) | ((value & 0x0F) << 4));
}

std::uint8_t TORVI_Uuid::_GetVariant() const noexcept {
    return static_cast<std::uint8_t>((_baUuid[8] & 0xE0) >> 5);
}

void TORVI_Uuid::_SetVariant(std::uint8_t value) noexcept {
    _baUuid[8] = static_cast<std::uint8_t>((_baUuid[8] & 0x1F) | ((value & 7) << 5));
}

void TORVI_Uuid::_SetAsBytes(const rtl::TBytes& value) {
    if (value.size() < 16)
        throw rtl::EArgumentException(u"A Uuid needs 16 bytes; the array holds " +
                                      rtl::IntToStr(static_cast<std::int64_t>(value.size())));
    std::memcpy(_baUuid, value.data(), 16);
}

rtl::TGUID TORVI_Uuid::_GetAsGuid() const noexcept {
    rtl::TGUID guid;
    guid.D1 = _GetTimeLow();
    guid.D2 = _GetTimeMid();
    guid.D3 = _GetTimeHighAndVersion();
    std::memcpy(guid.D4, _baUuid + 8, 8);
    return guid;
}

void TORVI_Uuid::_SetAsGuid(const rtl::TGUID& value) noexcept {
    _SetTimeLow(value.D1);
    _SetTimeMid(value.D2);
    _SetTimeHighAndVersion(value.D3);
    std::memcpy(_baUuid + 8, value.D4, 8);
}

UnicodeString TORVI_Uuid::_GetAsString() const {
    UnicodeString s(8, u'\0');
    for (int i = 0; i < 8; ++i)
        s[i] = static_cast<char16_t>(_baUuid[2 * i] | _baUuid[2 * i + 1] << 8);
    return s;
}

void TORVI_Uuid::_SetAsString(UnicodeStringView value) noexcept {
    if (value.size() >= 8)
        ParseRaw(value, _baUuid);
}

} // namespace orvi
