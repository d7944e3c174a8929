#include "utils/text/ORVI.IOUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace orvi;
using rtl::TEncoding;
using rtl::UnicodeString;

namespace {

rtl::TMemoryStream Stream(std::string_view bytes) {
    return rtl::TMemoryStream(rtl::TBytes(bytes.begin(), bytes.end()));
}

TEST(StreamEncoding, AStreamInsideTheMarkMovesPastItOthersStay) {
    auto s = Stream("\xEF\xBB\xBF" "abcdefghijkl");
    TEncoding* e = nullptr;
    EXPECT_TRUE(ORVIGetStreamEncoding(&s, e));
    EXPECT_EQ(e, TEncoding::UTF8());
    EXPECT_EQ(s.Position(), 3);
    s.SetPosition(10);
    EXPECT_TRUE(ORVIGetStreamEncoding(&s, e));
    EXPECT_EQ(s.Position(), 10);
    s.SetPosition(1);
    EXPECT_TRUE(ORVIGetStreamEncoding(&s, e));
    EXPECT_EQ(s.Position(), 3);
}

TEST(StreamEncoding, WithoutAMarkTheDefaultAndThePositionStay) {
    auto s = Stream("\xFE");
    s.SetPosition(1);
    TEncoding* e = nullptr;
    EXPECT_FALSE(ORVIGetStreamEncoding(&s, e, TEncoding::ANSI()));
    EXPECT_EQ(e, TEncoding::ANSI());
    EXPECT_EQ(s.Position(), 1);
    auto empty = Stream("");
    EXPECT_FALSE(ORVIGetStreamEncoding(&empty, e));
    EXPECT_EQ(e, TEncoding::UTF8());
    auto be = Stream("\xFE\xFF\x00X");
    EXPECT_TRUE(ORVIGetStreamEncoding(&be, e));
    EXPECT_EQ(e, TEncoding::BigEndianUnicode());
    EXPECT_EQ(be.Position(), 2);
}

/// A memory stream that hands out at most one byte per read, as pipes and sockets may.
class TTrickleStream : public rtl::TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    std::int64_t Read(void* buffer, std::int64_t count) override {
        return TMemoryStream::Read(buffer, std::min<std::int64_t>(count, 1));
    }
};

TEST(StreamEncoding, ShortReadsStillYieldTheWholeMark) {
    for (const auto& [bytes, encoding, length] :
         {std::tuple{std::string_view("\xEF\xBB\xBF" "ab", 5), TEncoding::UTF8(), 3},
          std::tuple{std::string_view("\xFF\xFE" "a\x00", 4), TEncoding::Unicode(), 2},
          std::tuple{std::string_view("\xFE\xFF\x00" "a", 4), TEncoding::BigEndianUnicode(), 2}}) {
        TTrickleStream s(rtl::TBytes(bytes.begin(), bytes.end()));
        TEncoding* e = nullptr;
        EXPECT_TRUE(ORVIGetStreamEncoding(&s, e, TEncoding::ANSI()));
        EXPECT_EQ(e, encoding);
        EXPECT_EQ(s.Position(), length);
    }
}

/// Every character of the stream, as fetched.
std::vector<std::pair<UnicodeString, int>> FetchAll(rtl::TStream& s, const TEncoding* e) {
    std::vector<std::pair<UnicodeString, int>> out;
    char16_t ch;
    UnicodeString chars;
    int n;
    while (ORVIFetchEncodedCharacter(&s, e, ch, chars, n)) {
        EXPECT_EQ(ch, chars[0]);
        out.emplace_back(chars, n);
    }
    return out;
}

TEST(FetchEncodedCharacter, ReadsWholeCharactersInEachEncoding) {
    const UnicodeString text = rtl::U("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    const std::vector<std::pair<UnicodeString, int>> utf8{
        {u"a", 1}, {u"\u00E9", 2}, {u"\u20AC", 3}, {text.substr(3, 2), 4}, {u"z", 1}};
    auto s8 = rtl::TMemoryStream(TEncoding::UTF8()->GetBytes(text));
    EXPECT_EQ(FetchAll(s8, TEncoding::UTF8()), utf8);
    for (const TEncoding* e : {TEncoding::Unicode(), TEncoding::BigEndianUnicode()}) {
        auto s = rtl::TMemoryStream(e->GetBytes(text));
        const auto got = FetchAll(s, e);
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got[3], std::make_pair(text.substr(3, 2), 4));
        EXPECT_EQ(got[1], std::make_pair(UnicodeString(u"\u00E9"), 2));
    }
    auto ansi = Stream("\x80x");
    EXPECT_EQ(FetchAll(ansi, TEncoding::ANSI()),
              (std::vector<std::pair<UnicodeString, int>>{{u"\u20AC", 1}, {u"x", 1}}));
}

TEST(FetchEncodedCharacter, StopsAtMalformedBytesAndAtTheEnd) {
    auto s = Stream("\xFF\xFF\xFF\xFF\xFF" "a");
    char16_t ch = u'x';
    UnicodeString chars = u"old";
    int n = -1;
    EXPECT_FALSE(ORVIFetchEncodedCharacter(&s, TEncoding::UTF8(), ch, chars, n));
    EXPECT_EQ(n, 4); // the longest UTF-8 character
    EXPECT_EQ(s.Position(), 4);
    EXPECT_TRUE(chars.empty());
    EXPECT_EQ(ch, 0);
    auto cut = Stream("\xE2\x82");
    EXPECT_FALSE(ORVIFetchEncodedCharacter(&cut, nullptr, ch, chars, n));
    EXPECT_EQ(n, 2);
    auto ascii = Stream("\xC3");
    EXPECT_FALSE(ORVIFetchEncodedCharacter(&ascii, TEncoding::ASCII(), ch, chars, n));
    EXPECT_EQ(n, 1);
    EXPECT_FALSE(ORVIFetchEncodedCharacter(nullptr, TEncoding::ASCII(), ch, chars, n));
}

TEST(FetchEncodedCharacter, UTF7CharactersInDirectAndShiftedForm) {
    auto s = Stream("a+-+AOk");
    EXPECT_EQ(FetchAll(s, TEncoding::UTF7()),
              (std::vector<std::pair<UnicodeString, int>>{{u"a", 1}, {u"+", 2}, {u"\u00E9", 4}}));
}

} // namespace
