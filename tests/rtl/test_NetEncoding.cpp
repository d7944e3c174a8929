#include "rtl/NetEncoding.h"

#include <gtest/gtest.h>

#include <string>

using rtl::TURLEncoding;

namespace {
/// The printable ASCII characters of the set.
std::string Printable(const rtl::TAnsiCharSet& set) {
    std::string s;
    for (int c = 0x21; c < 0x7F; ++c)
        if (set.Contains(static_cast<unsigned char>(c)))
            s.push_back(static_cast<char>(c));
    return s;
}
} // namespace

TEST(URLEncoding, SetsFollowTheUrlParts) {
    // Besides these, "%", the space, the controls and every byte from 0x80 are unsafe everywhere.
    EXPECT_EQ(Printable(TURLEncoding::kAuthUnsafeChars), "\"#%/<>?@[\\]^`{|}");
    EXPECT_EQ(Printable(TURLEncoding::kPathUnsafeChars), "\"#%<>?[\\]^`{|}");
    EXPECT_EQ(Printable(TURLEncoding::kQueryUnsafeChars), "\"#%<>[\\]^`{|}");
    EXPECT_EQ(Printable(TURLEncoding::kFormUnsafeChars), "!\"#$%&'()*+,/:;<=>?@[\\]^`{|}");
    for (const auto& set : {TURLEncoding::kAuthUnsafeChars, TURLEncoding::kFormUnsafeChars}) {
        EXPECT_TRUE(set.Contains(' '));
        EXPECT_TRUE(set.Contains(0x00));
        EXPECT_TRUE(set.Contains(0x7F));
        EXPECT_TRUE(set.Contains(0x80));
        EXPECT_FALSE(set.Contains('~'));
    }
}

TEST(URLEncoding, EncodesUtf8BytesAndDecodesBack) {
    EXPECT_EQ(TURLEncoding::EncodePath(u"/a b/c@d?e"), u"/a%20b/c@d%3Fe");
    EXPECT_EQ(TURLEncoding::EncodeQuery(u"q=a/b?c#d"), u"q=a/b?c%23d");
    EXPECT_EQ(TURLEncoding::EncodeAuth(u"user:p@ss"), u"user:p%40ss");
    EXPECT_EQ(TURLEncoding::EncodeForm(u"a b&c=£"), u"a+b%26c%3D%C2%A3");
    TURLEncoding url;
    const rtl::UnicodeString text = u"Ünïcode & spaces + 100% / ~_.-";
    EXPECT_EQ(url.Decode(url.Encode(text)), text);
    EXPECT_EQ(TURLEncoding::DecodeWith(u"100%", false), u"100%");
    EXPECT_EQ(TURLEncoding::DecodeWith(u"%zz%4", false), u"%zz%4");
    EXPECT_EQ(TURLEncoding::DecodeWith(u"a+b", false), u"a+b");
    EXPECT_EQ(TURLEncoding::DecodeWith(u"%FF", false), u"\uFFFD");
}
