#include "utils/text/ORVI.StringUtils.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvi;
using rtl::UnicodeString;

namespace {

std::vector<UnicodeString> Entries(const rtl::TStringList& list) {
    std::vector<UnicodeString> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.Strings(i));
    return out;
}

TEST(StringUtils, ConcatenateWithSeparator) {
    UnicodeString s;
    ConcatenateWithSeparator(s, u",", u"x");
    EXPECT_EQ(s, u"x");
    ConcatenateWithSeparator(s, u",", u"");
    ConcatenateWithSeparator(s, u", ", u"y");
    EXPECT_EQ(s, u"x, y");
}

TEST(StringUtils, FindRepeatedEmbeddedStringSplitsAtEveryOccurrence) {
    rtl::TStringList parts;
    parts.Add(u"old");
    EXPECT_FALSE(FindRepeatedEmbeddedString(u"ab", u";", &parts, false));
    EXPECT_EQ(Entries(parts), std::vector<UnicodeString>{u"old"});
    EXPECT_TRUE(FindRepeatedEmbeddedString(u"a;;b", u";", &parts, false));
    EXPECT_EQ(Entries(parts), (std::vector<UnicodeString>{u"a", u"", u"b"}));
    EXPECT_TRUE(FindRepeatedEmbeddedString(u"1AND2and", u"and", &parts, false));
    EXPECT_EQ(Entries(parts), (std::vector<UnicodeString>{u"1", u"2", u""}));
    EXPECT_TRUE(FindRepeatedEmbeddedString(u"1AND2and3", u"and", &parts, true));
    EXPECT_EQ(Entries(parts), (std::vector<UnicodeString>{u"1AND2", u"3"}));
    EXPECT_FALSE(FindRepeatedEmbeddedString(u"abc", u"", &parts, true));
}

TEST(StringUtils, ArgumentsMayBeTheListsOrTheTargetsOwnText) {
    rtl::TStringList parts;
    parts.Add(u"first part;second part;third part");
    parts.Add(u";");
    EXPECT_TRUE(FindRepeatedEmbeddedString(parts.Strings(0), parts.Strings(1), &parts, true));
    EXPECT_EQ(Entries(parts), (std::vector<UnicodeString>{u"first part", u"second part", u"third part"}));
    UnicodeString s = u"ab";
    ConcatenateWithSeparator(s, u"-", s);
    EXPECT_EQ(s, u"ab-ab");
}

TEST(StringUtils, TextPosIgnoresCaseAndHonoursTheOffset) {
    EXPECT_EQ(TextPos(u"B", u"abcb"), 2);
    EXPECT_EQ(TextPos(u"b", u"abcB", 3), 4);
    EXPECT_EQ(TextPos(u"cb", u"abcB", 4), 0);
    EXPECT_EQ(TextPos(u"", u"abc"), 0);
    EXPECT_EQ(TextPos(u"a", u"abc", 0), 0);
    EXPECT_EQ(TextPos(u"abcd", u"abc"), 0);
}

TEST(StringUtils, UTF8CompareStrAgreesAcrossForms) {
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x98\x80!";
    const UnicodeString utf16 = rtl::Utf8ToString(utf8);
    EXPECT_EQ(UTF8CompareStr(utf8, utf16), 0);
    EXPECT_EQ(UTF8CompareStr(utf16, utf8), 0);
    EXPECT_EQ(UTF8CompareStr(utf8, utf8), 0);
    // U+FFFF is below U+1F600 as a code point, though its UTF-16 unit is above the surrogate.
    EXPECT_EQ(UTF8CompareStr(u"\uFFFF", std::string("\xF0\x9F\x98\x80")), -1);
    EXPECT_EQ(UTF8CompareStr(std::string("ab"), std::string("a")), 1);
    EXPECT_EQ(UTF8CompareStr(std::string("a"), u"ab"), -1);
    EXPECT_EQ(UTF8CompareStr(std::string("\x80"), std::string("\x00", 1)), 0); // no lead byte: code point 0
}

TEST(StringUtils, UTF8CompareStrOrdersRandomTextsAsTheirCodePoints) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<char32_t> cp(1, 0x10FFFF);
    for (int n = 0; n < 500; ++n) {
        std::u32string a, b;
        for (int k = 0; k < 3; ++k) {
            for (std::u32string* s : {&a, &b}) {
                char32_t c = cp(rng);
                if (c >= 0xD800 && c <= 0xDFFF)
                    c = 0x41;
                s->push_back(c);
            }
        }
        const int expected = a < b ? -1 : (a == b ? 0 : 1);
        std::string ua, ub;
        for (char32_t c : a)
            ua += rtl::StringToUtf8(c < 0x10000 ? UnicodeString(1, char16_t(c))
                                                : UnicodeString{char16_t(0xD800 + ((c - 0x10000) >> 10)),
                                                                char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))});
        for (char32_t c : b)
            ub += rtl::StringToUtf8(c < 0x10000 ? UnicodeString(1, char16_t(c))
                                                : UnicodeString{char16_t(0xD800 + ((c - 0x10000) >> 10)),
                                                                char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))});
        EXPECT_EQ(UTF8CompareStr(ua, ub), expected);
        EXPECT_EQ(UTF8CompareStr(ua, rtl::Utf8ToString(ub)), expected);
        EXPECT_EQ(UTF8CompareStr(rtl::Utf8ToString(ua), ub), expected);
    }
}

TEST(StringUtils, UTF8CompareStrReportsBrokenSequences) {
    try {
        UTF8CompareStr(std::string("a\xE2\x82"), std::string("a\xE2\x82"));
        FAIL();
    } catch (const EORVIUTF8EncodingError& e) {
        EXPECT_EQ(e.Message(), u"expected byte not found");
    }
    try {
        UTF8CompareStr(std::string("\xC3(x"), std::string("a"));
        FAIL();
    } catch (const EORVIUTF8EncodingError& e) {
        EXPECT_EQ(e.Message(), u"expected continuation byte not found");
    }
}

TEST(StringUtils, RectTextUsesThePointWhateverTheUserLocale) {
    rtl::TFormatSettings saved = rtl::FormatSettings();
    rtl::FormatSettings().DecimalSeparator = u',';
    EXPECT_EQ(RectToString(rtl::TRectF(0.5f, -1, 2, 1e20f)), u"(0.5,-1,2,1.00000002004088E20)");
    const rtl::TRectF r = StringToRect(u"(0.5,-1,2,3)").ToRectF();
    EXPECT_EQ(r, rtl::TRectF(0.5f, -1, 2, 3));
    rtl::FormatSettings() = saved;
    EXPECT_EQ(GBFormatSettings().DecimalSeparator, u'.');
    EXPECT_EQ(USFormatSettings().ThousandSeparator, u',');
}

TEST(StringUtils, Tokens) {
    EXPECT_EQ(FirstToken(u"a.b,c", u",."), u"a");
    EXPECT_EQ(FirstToken(u".b", u"."), u"");
    EXPECT_EQ(FirstToken(u"abc", std::vector<char16_t>{u'.'}), u"abc");
    EXPECT_EQ(LastToken(u"a.b,c", std::vector<char16_t>{u',', u'.'}), u"c");
    EXPECT_EQ(LastToken(u"a.", u"."), u"");
    EXPECT_EQ(LastToken(u"abc", u"."), u"abc");
    UnicodeString s = u"key=value;rest";
    EXPECT_EQ(GetToken(s, u"=", u";"), u"key");
    EXPECT_EQ(s, u"value;rest");
    EXPECT_EQ(GetToken(s, u"=", u";"), u"value");
    EXPECT_EQ(GetToken(s, u"=", u";"), u"rest");
    EXPECT_EQ(s, u"");
}

TEST(StringUtils, SoundexAndConfidence) {
    EXPECT_EQ(Soundex(u"Robert"), u"R163");
    EXPECT_EQ(Soundex(u"Rupert"), u"R163");
    EXPECT_EQ(Soundex(u"Ashcraft"), u"A261"); // H does not separate S and C
    EXPECT_EQ(Soundex(u"Tymczak"), u"T522");
    EXPECT_EQ(Soundex(u"Pfister"), u"P236");
    EXPECT_EQ(Soundex(u"A", 3), u"A00");
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"Robert", u"Robert"), 1);
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"Robert", u"Rupert"), 1);
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"Smith", u"Smyth"), 1);
    EXPECT_LT(SoundexConfidenceCompare(u"Robert", u"Tymczak"), 0.5);
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"", u""), 1);
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"000", u"000"), 1);
    EXPECT_DOUBLE_EQ(SoundexConfidenceCompare(u"000", u"00"), 0);
}

} // namespace
