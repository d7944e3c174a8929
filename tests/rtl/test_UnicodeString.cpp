#include "rtl/Exceptions.h"
#include "rtl/UnicodeString.h"

#include <gtest/gtest.h>

using namespace rtl;

TEST(Utf8, RoundTripsAllPlanes) {
    const std::string text = "A\xC2\xA3\xE2\x82\xAC\xF0\x9F\x98\x80"; // A £ € 😀
    const UnicodeString s = Utf8ToString(text);
    EXPECT_EQ(s, u"A£€😀");
    EXPECT_EQ(StringToUtf8(s), text);
}

TEST(Utf8, AsciiRunsAroundOtherTextAndEmbeddedNuls) {
    const std::string ascii(40, 'x');
    const std::string text = ascii + "\xC2\xA3" + ascii + std::string(1, '\0') + "\xE2\x82\xAC";
    const UnicodeString expected =
        UnicodeString(40, u'x') + u"£" + UnicodeString(40, u'x') + UnicodeString(1, u'\0') + u"€";
    EXPECT_EQ(Utf8ToString(text), expected);
    EXPECT_EQ(StringToUtf8(expected), text);
    EXPECT_EQ(Utf8ToString(""), u"");
    EXPECT_EQ(StringToUtf8(u""), "");
    EXPECT_EQ(Utf8ToString(std::string("a\0b", 3)), UnicodeString(u"a\0b", 3));
}

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToString("a\xFF"
                           "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToString("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf8ToString("\xED\xA0\x80"), u"\uFFFD");   // encoded surrogate
    EXPECT_EQ(Utf8ToString("x\xE2\x82"), u"x\uFFFD");     // truncated at the end
    EXPECT_EQ(StringToUtf8(u"\xD800z"), "\xEF\xBF\xBDz"); // unpaired surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));        // above U+10FFFF
    EXPECT_TRUE(IsValidUtf8(""));
}

TEST(NativeNames, BytesThatAreNotUtf8BecomeEscapesAndBack) {
    EXPECT_EQ(NativeToString("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"café 😀");
    EXPECT_EQ(NativeToString("D\xE9p\xF4t"), u"D\xDCE9p\xDCF4t");     // Latin-1
    EXPECT_EQ(NativeToString("\xC0\xAF"), u"\xDCC0\xDCAF");           // overlong
    EXPECT_EQ(NativeToString("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80"); // encoded surrogate
    EXPECT_EQ(NativeToString("x\xE2\x82"), u"x\xDCE2\xDC82");         // cut off at the end
    EXPECT_EQ(NativeToString("\xF0\x9F\x98\x80\x80"), u"😀\xDC80");    // a pair, then an escape
    EXPECT_EQ(StringToNative(u"😀\xDC80"), "\xF0\x9F\x98\x80\x80");
    // Only the escapes turn back into bytes; other unpaired surrogates cannot be named.
    EXPECT_EQ(StringToNative(u"\xD800z\xDC7F"), "\xEF\xBF\xBDz\xEF\xBF\xBD");
    // The text conversions stay as they were.
    EXPECT_EQ(Utf8ToString("\xE9"), u"\uFFFD");
    EXPECT_EQ(StringToUtf8(u"\xDCE9"), "\xEF\xBF\xBD");
    std::string buffer = "/x/";
    AppendStringAsNative(buffer, u"\xDCFF");
    EXPECT_EQ(buffer, "/x/\xFF");
}

TEST(NativeNames, EveryByteSequenceRoundTrips) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            ASSERT_EQ(StringToNative(NativeToString(bytes)), bytes) << a << ' ' << b;
        }
    }
    // Longer runs, mostly of bytes at 0x80 and above where sequences go wrong.
    std::uint32_t seed = 12345;
    for (int n = 0; n < 20000; ++n) {
        std::string bytes;
        for (int k = static_cast<int>(seed % 9); k > 0; --k) {
            seed = seed * 1664525u + 1013904223u;
            bytes.push_back(static_cast<char>((seed >> 24) | ((seed & 0x100) ? 0x80 : 0)));
        }
        seed = seed * 1664525u + 1013904223u;
        ASSERT_EQ(StringToNative(NativeToString(bytes)), bytes);
        EXPECT_EQ(IsValidUtf8(bytes), NativeToString(bytes) == Utf8ToString(bytes));
    }
}

TEST(EightBit, Latin1AndWindows1252) {
    const std::string bytes = "\x41\x80\x9F\xA3\xFF";
    EXPECT_EQ(Latin1ToString(bytes), u"A\u0080\u009F£ÿ");
    EXPECT_EQ(StringToLatin1(Latin1ToString(bytes)), bytes);
    EXPECT_EQ(Win1252ToString(bytes), u"A€Ÿ£ÿ");
    EXPECT_EQ(Win1252ToString("\x81\x8D"), u"\u0081\u008D"); // unassigned codes pass through
    EXPECT_EQ(StringToWin1252(u"€Ÿ£Ā"), "\x80\x9F\xA3?");
}

TEST(DecodeText, ByteOrderMarksChooseTheEncoding) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xC2\xA3"
                         "1"),
              u"£1");
    EXPECT_EQ(DecodeText(std::string("\xFF\xFE\xA3\x00"
                                     "1\x00",
                                     6)),
              u"£1");
    EXPECT_EQ(DecodeText(std::string("\xFE\xFF\x00\xA3\x00"
                                     "1",
                                     6)),
              u"£1");
    EXPECT_EQ(DecodeText(std::string("\xFF\xFE"
                                     "A",
                                     3)),
              u"\uFFFD"); // odd byte is not lost silently
    EXPECT_EQ(DecodeText(""), u"");
}

TEST(DecodeText, WithoutBomValidUtf8ElseWindows1252) {
    EXPECT_EQ(DecodeText("\xC2\xA3"
                         "5"),
              u"£5");
    EXPECT_EQ(DecodeText("\xA3"
                         "5 \x80"),
              u"£5 €");
    EXPECT_EQ(AnsiToString("plain"), u"plain");
}

TEST(Comparison, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(SameText(u"Sage Data", u"sAGE dATA"));
    EXPECT_FALSE(SameText(u"é", u"É"));
    EXPECT_FALSE(SameText(u"abc", u"abcd"));
    EXPECT_LT(CompareText(u"abc", u"ABD"), 0);
    EXPECT_LT(CompareText(u"ab", u"ABC"), 0);
    // Folding goes to upper case: '_' (0x5F) sorts after 'B' (0x42), though before 'b'.
    EXPECT_GT(CompareText(u"a_", u"AB"), 0);
    EXPECT_LT(CompareStr(u"B", u"a"), 0);
    EXPECT_EQ(UpperCase(u"äbc"), u"äBC");
    EXPECT_EQ(LowerCase(u"ÄBC"), u"Äbc");
    EXPECT_TRUE(StartsText(u"acc", u"ACCDATA"));
    EXPECT_TRUE(EndsText(u".dta", u"SETUP.DTA"));
    EXPECT_FALSE(EndsText(u"longer than", u"short"));
}

TEST(Editing, TrimPosAndReplace) {
    EXPECT_EQ(Trim(u"\t\r\n x y \x01"), u"x y");
    EXPECT_EQ(Trim(u"   "), u"");
    EXPECT_EQ(TrimLeft(u"  a "), u"a ");
    EXPECT_EQ(TrimRight(u"  a "), u"  a");
    EXPECT_EQ(Pos(u"b", u"abcb"), 2);
    EXPECT_EQ(Pos(u"z", u"abc"), 0);
    EXPECT_EQ(Pos(u"", u"abc"), 0);
    EXPECT_EQ(StringReplace(u"a-b-c", u"-", u"+", TReplaceFlag::rfNone), u"a+b-c");
    EXPECT_EQ(StringReplace(u"a-b-c", u"-", u"--", TReplaceFlag::rfReplaceAll), u"a--b--c");
    EXPECT_EQ(StringReplace(u"Xaxa", u"XA", u"y", TReplaceFlag::rfAll_IgnoreCase), u"yy");
    EXPECT_EQ(StringReplace(u"abc", u"", u"y", TReplaceFlag::rfReplaceAll), u"abc");
}

TEST(Integers, ParseAndFormat) {
    int v = 0;
    EXPECT_TRUE(TryStrToInt(u"-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    EXPECT_TRUE(TryStrToInt(u"+17", v));
    EXPECT_EQ(v, 17);
    EXPECT_FALSE(TryStrToInt(u"2147483648", v));
    EXPECT_FALSE(TryStrToInt(u" 1", v));
    EXPECT_FALSE(TryStrToInt(u"-", v));
    EXPECT_FALSE(TryStrToInt(u"", v));
    EXPECT_FALSE(TryStrToInt(u"1x", v));
    std::int64_t w = 0;
    EXPECT_TRUE(TryStrToInt64(u"-9223372036854775808", w));
    EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", w));
    EXPECT_EQ(IntToStr(INT64_MIN), u"-9223372036854775808");
    try {
        StrToInt(u"12a");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"'12a' is not a valid integer value");
    }
}
