#include "utils/text/ORVI.StringTokeniser.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvi;
using rtl::UnicodeString;

namespace {

std::vector<UnicodeString> Tokens(const TORVIStringTokeniser& t) {
    std::vector<UnicodeString> out;
    for (int i = 0; i < t.TokenCount(); ++i)
        out.push_back(t.Token(i));
    return out;
}

using V = std::vector<UnicodeString>;

TEST(StringTokeniser, DefaultsSplitAtBlanksAndRemoveQuotes) {
    TORVIStringTokeniser t(u"a b  \"c d\"");
    EXPECT_EQ(Tokens(t), (V{u"a", u"b", u"c d"}));
    EXPECT_EQ(t.Separators(), UnicodeString(u" \0\t\r\n", 5));
    EXPECT_EQ(t.OpenQuotes(), u"\"");
    EXPECT_TRUE(t.IgnoreEmptyTokens());
    EXPECT_TRUE(t.RemoveEnclosingQuotes());
    EXPECT_FALSE(t.AllowEmbeddedQuotes());
    EXPECT_EQ(t.Tokenise(UnicodeString(u"x\0y\r\nz", 6)), 3);
    EXPECT_EQ(t.Tokenise(u""), 0);
    TORVIStringTokeniser bare(true);
    EXPECT_EQ(bare.Separators(), u"");
    EXPECT_FALSE(bare.IgnoreEmptyTokens());
    EXPECT_EQ(bare.Tokenise(u"a b"), 1);
}

TEST(StringTokeniser, EmptyTokensKeptWhenAsked) {
    TORVIStringTokeniser t;
    t.SetSeparators(u"/\\");
    t.SetIgnoreEmptyTokens(false);
    t.Tokenise(u"\\\\server\\x\\");
    EXPECT_EQ(Tokens(t), (V{u"", u"", u"server", u"x", u""}));
}

TEST(StringTokeniser, QuotesOpenOnlyAtTheStartOfATokenUnlessEmbeddedAllowed) {
    TORVIStringTokeniser t;
    t.Tokenise(u"\"a\"b");
    EXPECT_EQ(Tokens(t), V{u"ab"});
    t.Tokenise(u"a\"b\"c");
    EXPECT_EQ(Tokens(t), V{u"a\"b\"c"});
    t.SetAllowEmbeddedQuotes(true);
    t.Tokenise(u"a\"b c\"d");
    EXPECT_EQ(Tokens(t), V{u"ab cd"});
    t.SetRemoveEnclosingQuotes(false);
    t.Tokenise(u"\"x y\" z");
    EXPECT_EQ(Tokens(t), (V{u"\"x y\"", u"z"}));
    t.Tokenise(u"\"never closed  x");
    EXPECT_EQ(Tokens(t), V{u"\"never closed  x"});
}

TEST(StringTokeniser, OpenAndCloseQuoteSetsAreNotPaired) {
    TORVIStringTokeniser t;
    t.SetOpenQuotes(u"<[");
    t.SetCloseQuotes(u">]");
    t.Tokenise(u"<a b] [c d>");
    EXPECT_EQ(Tokens(t), (V{u"a b", u"c d"}));
}

TEST(StringTokeniser, EscapesTakeTheNextCharacterLiterally) {
    TORVIStringTokeniser t;
    t.SetEscapes(u"\\");
    t.Tokenise(u"a\\ b");
    EXPECT_EQ(Tokens(t), V{u"a b"});
    t.Tokenise(u"x y\\");
    EXPECT_EQ(Tokens(t), (V{u"x", u"y"}));
    t.Tokenise(u"\"q\\\"q\"");
    EXPECT_EQ(Tokens(t), V{u"q\"q"});
}

TEST(StringTokeniser, EscapeAndQuote) {
    TORVIStringTokeniser t;
    EXPECT_EQ(t.EscapeAndQuote(u"a b"), u"\"a b\"");
    EXPECT_EQ(t.EscapeAndQuote(u"ab"), u"ab");
    EXPECT_EQ(t.EscapeAndQuote(u""), u"");
    EXPECT_EQ(t.EscapeAndQuote(u"a\"b"), u"a\"b"); // no escape character to put in front
    t.SetEscapes(u"\\^");
    EXPECT_EQ(t.EscapeAndQuote(u"a\"b ^c"), u"\"a\\\"b \\^c\"");
}

TEST(StringTokeniser, ValueForNameIgnoresCase) {
    TORVIStringTokeniser t(u"size=10 colour=red=dark");
    UnicodeString v;
    EXPECT_TRUE(t.ValueForName(u"Colour", v));
    EXPECT_EQ(v, u"red=dark");
    EXPECT_FALSE(t.ValueForName(u"col", v));
    EXPECT_EQ(v, u"red=dark");
}

TEST(StringTokeniser, ATokenMayBeTokenisedAgain) {
    TORVIStringTokeniser t(u"\"a b c\"");
    EXPECT_EQ(t.Tokenise(t.Token(0)), 3); // the list grows while the token is read
    EXPECT_EQ(Tokens(t), (std::vector<UnicodeString>{u"a", u"b", u"c"}));
}

TEST(StringTokeniser, TokenOutsideTheListRaises) {
    TORVIStringTokeniser t(u"a b");
    try {
        t.Token(2);
        FAIL();
    } catch (const rtl::EArgumentOutOfRangeException& e) {
        EXPECT_EQ(e.Message(), u"TORVIStringTokeniser._GetToken no such token");
    }
    EXPECT_THROW(t.Token(-1), rtl::EArgumentOutOfRangeException);
}

// The escaped and quoted form of any text is one token that reads back as the text, whenever there is
// an escape character and quotes are removed.
TEST(StringTokeniser, EscapeAndQuoteTokenisesBackForRandomTextsAndOptions) {
    std::mt19937 rng(14);
    const UnicodeString alphabet = u" ,;\t\"'<>\\^ab\u00E9\u20AC";
    for (int round = 0; round < 2000; ++round) {
        UnicodeString pool = alphabet;
        std::shuffle(pool.begin(), pool.end(), rng);
        // Four disjoint sets taken from the front of the shuffled pool.
        std::size_t at = 0;
        const auto take = [&](std::size_t minimum) {
            const std::size_t n = minimum + rng() % 3;
            UnicodeString set = pool.substr(at, n);
            at += n;
            return set;
        };
        TORVIStringTokeniser t(true);
        t.SetEscapes(take(1));
        t.SetOpenQuotes(take(1));
        t.SetCloseQuotes(take(1));
        t.SetSeparators(take(0));
        t.SetRemoveEnclosingQuotes(true);
        t.SetIgnoreEmptyTokens(rng() % 2);
        t.SetAllowEmbeddedQuotes(rng() % 2);
        UnicodeString text;
        for (std::size_t n = 1 + rng() % 12; n > 0; --n)
            text.push_back(alphabet[rng() % alphabet.size()]);
        const UnicodeString escaped = t.EscapeAndQuote(text);
        ASSERT_EQ(t.Tokenise(escaped), 1) << rtl::StringToUtf8(escaped);
        EXPECT_EQ(t.Token(0), text) << rtl::StringToUtf8(escaped);
    }
}

} // namespace
