#include "rtl/Encoding.h"

#include <gtest/gtest.h>

#include <memory>

using namespace rtl;

namespace {

TBytes B(std::string_view s) {
    return TBytes(s.begin(), s.end());
}

TEST(Encoding, RoundTripsTextThroughEveryStandardEncoding) {
    const UnicodeString text = U("Caf\xC3\xA9 \xE2\x82\xAC 1+1=2 \xF0\x9F\x98\x80 -end");
    for (TEncoding* e : {TEncoding::BigEndianUnicode(), TEncoding::Unicode(), TEncoding::UTF7(), TEncoding::UTF8()})
        EXPECT_EQ(e->GetString(e->GetBytes(text)), text) << StringToUtf8(e->EncodingName());
    const UnicodeString latin = U("Caf\xC3\xA9 \xE2\x82\xAC \xC5\xA0");
    EXPECT_EQ(TEncoding::ANSI()->GetBytes(latin), B("Caf\xE9 \x80 \x8A"));
    EXPECT_EQ(TEncoding::ANSI()->GetString(B("Caf\xE9 \x80 \x8A")), latin);
    EXPECT_EQ(TEncoding::ASCII()->GetBytes(u"a\u00E9"), B("a?"));
    EXPECT_EQ(TEncoding::UTF7()->GetBytes(u"a+b"), B("a+-b"));
}

TEST(Encoding, StrictDecodingRejectsMalformedAndCutOffBytes) {
    struct Case {
        TEncoding* e;
        std::string bytes;
    };
    const Case bad[] = {
        {TEncoding::UTF8(), "\xC3"},             {TEncoding::UTF8(), "\xC0\x80"},
        {TEncoding::UTF8(), "\xED\xA0\x80"},     {TEncoding::UTF8(), "\xF4\x90\x80\x80"},
        {TEncoding::UTF8(), "a\xFF"},            {TEncoding::Unicode(), "a"},
        {TEncoding::Unicode(), std::string("\x00\xD8", 2)},      {TEncoding::Unicode(), std::string("\x00\xDC\x41\x00", 4)},
        {TEncoding::BigEndianUnicode(), "\xD8\x00\x00\x41"}, {TEncoding::ASCII(), "\x80"},
        {TEncoding::UTF7(), "+AO"},              {TEncoding::UTF7(), "\xE9"},
    };
    for (const Case& c : bad) {
        UnicodeString out = u"kept";
        EXPECT_FALSE(c.e->TryGetString(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size(), out))
            << StringToUtf8(c.e->EncodingName()) << " " << c.bytes.size();
        EXPECT_EQ(out, u"kept");
    }
    EXPECT_THROW(TEncoding::UTF8()->GetString(B("\xC3")), EEncodingError);
    // Every byte is a character of the ANSI page.
    TBytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(TEncoding::ANSI()->GetString(all).size(), 256u);
}

TEST(Encoding, NamesMarksAndLongestCharacters) {
    EXPECT_EQ(TEncoding::UTF8()->EncodingName(), u"UTF-8");
    EXPECT_EQ(TEncoding::UTF8()->GetPreamble(), B("\xEF\xBB\xBF"));
    EXPECT_EQ(TEncoding::Unicode()->GetPreamble(), B("\xFF\xFE"));
    EXPECT_EQ(TEncoding::BigEndianUnicode()->GetPreamble(), B("\xFE\xFF"));
    EXPECT_TRUE(TEncoding::UTF7()->GetPreamble().empty());
    EXPECT_EQ(TEncoding::UTF8()->MaxBytesPerCharacter(), 4);
    EXPECT_EQ(TEncoding::UTF7()->GetBytes(U("\xF0\x9F\x98\x80")),
              B("+2D3eAA-")); // as long as one character gets: MaxBytesPerCharacter
    EXPECT_EQ(TEncoding::UTF7()->MaxBytesPerCharacter(), 8);
    EXPECT_TRUE(TEncoding::ANSI()->IsSingleByte());
    EXPECT_TRUE(TEncoding::IsStandardEncoding(TEncoding::UTF7()));
    std::unique_ptr<TEncoding> made(TEncoding::UTF8()->ClassType().Create());
    EXPECT_FALSE(TEncoding::IsStandardEncoding(made.get()));
    EXPECT_EQ(made->EncodingName(), u"UTF-8");
    EXPECT_STREQ(TEncoding::BigEndianUnicode()->ClassType().ClassName(), "TBigEndianUnicodeEncoding");
}

TEST(Encoding, BufferEncodingFromTheByteOrderMark) {
    TEncoding* found = nullptr;
    const TBytes utf8 = B("\xEF\xBB\xBFx"), le = B("\xFF\xFEx\x00"), be = B("\xFE\xFF"), none = B("\xEF\xBB");
    EXPECT_EQ(TEncoding::GetBufferEncoding(utf8.data(), utf8.size(), found), 3);
    EXPECT_EQ(found, TEncoding::UTF8());
    EXPECT_EQ(TEncoding::GetBufferEncoding(le.data(), le.size(), found), 2);
    EXPECT_EQ(found, TEncoding::Unicode());
    EXPECT_EQ(TEncoding::GetBufferEncoding(be.data(), be.size(), found), 2);
    EXPECT_EQ(found, TEncoding::BigEndianUnicode());
    EXPECT_EQ(TEncoding::GetBufferEncoding(none.data(), none.size(), found, TEncoding::ANSI()), 0);
    EXPECT_EQ(found, TEncoding::ANSI());
    EXPECT_EQ(TEncoding::GetBufferEncoding(nullptr, 0, found), 0);
    EXPECT_EQ(found, TEncoding::UTF8());
}

} // namespace
