#include "utils/text/ORVI.StringUtils.h"

#include "utils/values/ORVI.LoadCounter.h"

#include "rtl/FloatText.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace orvi {

using rtl::UnicodeString;
using rtl::UnicodeStringView;

// --- Locale settings -------------------------------------------------------------------------------------
namespace {

std::optional<rtl::TFormatSettings> g_gbSettings;
std::optional<rtl::TFormatSettings> g_usSettings;
int g_nLoadCount = 0;

// Both locales write "1,234.5", "31/12/2024" (GB) or "12/31/2024" (US), "23:59": the separators agree.
void CreateFormatSettings() {
    g_gbSettings = rtl::TFormatSettings{u'/', u':', u'.', u','};
    g_usSettings = rtl::TFormatSettings{u'/', u':', u'.', u','};
}

void ReleaseFormatSettings() {
    g_gbSettings.reset();
    g_usSettings.reset();
}

TORVILoadCounter g_loadCounter(g_nLoadCount, CreateFormatSettings, ReleaseFormatSettings);

} // namespace

const rtl::TFormatSettings& GBFormatSettings() {
    if (!g_gbSettings) // asked for during another unit's static initialisation
        CreateFormatSettings();
    return *g_gbSettings;
}

const rtl::TFormatSettings& USFormatSettings() {
    if (!g_usSettings)
        CreateFormatSettings();
    return *g_usSettings;
}

// --- Joining and searching -------------------------------------------------------------------------------
void ConcatenateWithSeparator(UnicodeString& s, const UnicodeString& szSeparator, const UnicodeString& szValue) {
    if (szValue.empty())
        return;
    if (s.empty()) {
        s = szValue;
    } else if (&szValue == &s) {
        // Appending the separator first would change the value too.
        const UnicodeString value = szValue;
        s.append(szSeparator).append(value);
    } else {
        s.append(szSeparator).append(szValue);
    }
}

namespace {

/// 0-based index of the next szSeparator in szText at or after from, npos when none.
std::size_t NextSeparator(UnicodeStringView szText, UnicodeStringView szSeparator, std::size_t from,
                          bool blCaseSensitive) {
    if (blCaseSensitive)
        return szText.find(szSeparator, from);
    const int at = TextPos(szSeparator, szText, static_cast<int>(from) + 1);
    return at == 0 ? UnicodeString::npos : static_cast<std::size_t>(at - 1);
}

} // namespace

int TextPos(UnicodeStringView szSubStr, UnicodeStringView s, int nOffset) {
    if (szSubStr.empty() || nOffset < 1 || static_cast<std::size_t>(nOffset - 1) + szSubStr.size() > s.size())
        return 0;
    const auto equal = [](char16_t x, char16_t y) { return rtl::UpCaseAscii(x) == rtl::UpCaseAscii(y); };
    const auto from = s.begin() + (nOffset - 1);
    const auto found = std::search(from, s.end(), szSubStr.begin(), szSubStr.end(), equal);
    return found == s.end() ? 0 : static_cast<int>(found - s.begin()) + 1;
}

bool FindRepeatedEmbeddedString(const UnicodeString& szText, const UnicodeString& szSeparator,
                                rtl::TStringList* pParts, bool blCaseSensitive) {
    if (szSeparator.empty() || NextSeparator(szText, szSeparator, 0, blCaseSensitive) == UnicodeString::npos)
        return false;
    if (!pParts)
        return true;
    // The text or the separator may be one of pParts' own entries, which Clear frees: split copies.
    const UnicodeString text = szText;
    const UnicodeString separator = szSeparator;
    pParts->BeginUpdate();
    pParts->Clear();
    std::size_t start = 0;
    for (std::size_t at; (at = NextSeparator(text, separator, start, blCaseSensitive)) != UnicodeString::npos;
         start = at + separator.size())
        pParts->Add(text.substr(start, at - start));
    pParts->Add(text.substr(start));
    pParts->EndUpdate();
    return true;
}

// --- UTF8CompareStr --------------------------------------------------------------------------------------
namespace {

/// Reads one code point from UTF-8 bytes at i.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i++]);
    int more;
    char32_t cp;
    if (lead < 0x80)
        return lead;
    if ((lead & 0xE0) == 0xC0)
        more = 1, cp = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        more = 2, cp = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        more = 3, cp = lead & 0x07;
    else
        return 0; // a byte that starts no sequence
    for (; more > 0; --more) {
        if (i >= s.size())
            throw EORVIUTF8EncodingError(u"expected byte not found");
        const auto b = static_cast<unsigned char>(s[i++]);
        if ((b & 0xC0) != 0x80)
            throw EORVIUTF8EncodingError(u"expected continuation byte not found");
        cp = cp << 6 | (b & 0x3F);
    }
    return cp;
}

char32_t NextUtf16(UnicodeStringView s, std::size_t& i) {
    const char16_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return c;
}

char32_t Next(std::string_view s, std::size_t& i) {
    return NextUtf8(s, i);
}

char32_t Next(UnicodeStringView s, std::size_t& i) {
    return NextUtf16(s, i);
}

template <class A, class B> int CompareCodePoints(A a, B b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = Next(a, i);
        const char32_t y = Next(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

} // namespace

int UTF8CompareStr(std::string_view a, std::string_view b) {
    return CompareCodePoints(a, b);
}

int UTF8CompareStr(std::string_view a, UnicodeStringView b) {
    return CompareCodePoints(a, b);
}

int UTF8CompareStr(UnicodeStringView a, std::string_view b) {
    return CompareCodePoints(a, b);
}

// --- Rectangles ------------------------------------------------------------------------------------------
UnicodeString RectToString(const rtl::TRectF& r) {
    const rtl::TFormatSettings& fs = GBFormatSettings();
    return u"(" + rtl::FloatToStr(r.Left, fs) + u"," + rtl::FloatToStr(r.Top, fs) + u"," + rtl::FloatToStr(r.Right, fs) +
           u"," + rtl::FloatToStr(r.Bottom, fs) + u")";
}

// --- Tokens ----------------------------------------------------------------------------------------------
UnicodeString FirstToken(UnicodeStringView s, UnicodeStringView szDelimiters) {
    return UnicodeString(s.substr(0, s.find_first_of(szDelimiters)));
}

UnicodeString FirstToken(UnicodeStringView s, const std::vector<char16_t>& delimiters) {
    return FirstToken(s, UnicodeStringView(delimiters.data(), delimiters.size()));
}

UnicodeString LastToken(UnicodeStringView s, UnicodeStringView szDelimiters) {
    const std::size_t at = s.find_last_of(szDelimiters);
    return UnicodeString(at == UnicodeStringView::npos ? s : s.substr(at + 1));
}

UnicodeString LastToken(UnicodeStringView s, const std::vector<char16_t>& delimiters) {
    return LastToken(s, UnicodeStringView(delimiters.data(), delimiters.size()));
}

UnicodeString GetToken(UnicodeString& s, UnicodeStringView szDelimiters, UnicodeStringView szMoreDelimiters) {
    const auto at = std::find_if(s.begin(), s.end(), [&](char16_t c) {
        return szDelimiters.find(c) != UnicodeStringView::npos || szMoreDelimiters.find(c) != UnicodeStringView::npos;
    });
    UnicodeString token(s.begin(), at);
    s = at == s.end() ? UnicodeString() : UnicodeString(at + 1, s.end());
    return token;
}

// --- Soundex ---------------------------------------------------------------------------------------------
namespace {

/// The digit of a letter: '1'..'6' for consonants; 0 for vowels and other characters, which separate
/// equal digits; -1 for H and W, which do not.
int SoundexScore(char16_t c) {
    static constexpr char kCodes[] = "01230120022455012623010202"; // A..Z
    const char16_t up = rtl::UpCaseAscii(c);
    if (up < u'A' || up > u'Z')
        return 0;
    if (up == u'H' || up == u'W')
        return -1;
    return kCodes[up - u'A'] == '0' ? 0 : kCodes[up - u'A'];
}

UnicodeString WithoutZeros(UnicodeString s) {
    std::erase(s, u'0');
    return s;
}

} // namespace

UnicodeString Soundex(UnicodeStringView szText, std::size_t nLength) {
    if (szText.empty() || nLength == 0)
        return {};
    UnicodeString code(1, rtl::UpCaseAscii(szText[0]));
    int prev = SoundexScore(szText[0]);
    for (std::size_t i = 1; i < szText.size() && code.size() < nLength; ++i) {
        const int score = SoundexScore(szText[i]);
        if (score > 0 && score != prev)
            code.push_back(static_cast<char16_t>(score));
        if (score != -1)
            prev = score;
    }
    code.resize(nLength, u'0');
    return code;
}

double SoundexConfidenceCompare(UnicodeStringView a, UnicodeStringView b) {
    const UnicodeString ca = WithoutZeros(Soundex(a, a.size()));
    const UnicodeString cb = WithoutZeros(Soundex(b, b.size()));
    if (ca.empty() && cb.empty())
        return rtl::SameText(a, b) ? 1 : 0;
    const std::size_t shorter = std::min(ca.size(), cb.size());
    std::size_t same = 0;
    for (std::size_t i = 0; i < shorter; ++i)
        same += ca[i] == cb[i];
    return static_cast<double>(same) / static_cast<double>(std::max(ca.size(), cb.size()));
}

} // namespace orvi
