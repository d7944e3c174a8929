#include "utils/text/ORVI.StringParser.h"

#include <gtest/gtest.h>

using namespace orvi;
using rtl::UnicodeString;

namespace {

/// A compact picture of a node list: T(text) S(sep) Q"text" W[ws] B(children).
UnicodeString Show(TORVIParsedNodeList* list) {
    UnicodeString out;
    for (int i = 0; i < list->Count(); ++i) {
        TORVIParsedNode* n = list->Items(i);
        if (auto* q = dynamic_cast<TORVIQuotedNode*>(n))
            out += u"Q" + UnicodeString(1, q->OpenQuote()) + q->TextContent() + UnicodeString(1, q->CloseQuote() ? q->CloseQuote() : u'_');
        else if (auto* s = dynamic_cast<TORVISeparatorNode*>(n))
            out += u"S" + UnicodeString(1, s->Separator());
        else if (auto* t = dynamic_cast<TORVITextNode*>(n))
            out += u"T(" + t->TextContent() + u")";
        else if (auto* w = dynamic_cast<TORVIWhiteSpaceNode*>(n))
            out += u"W[" + w->Whitespace() + u"]";
        else if (auto* b = dynamic_cast<TORVIBracketedNode*>(n))
            out += u"B" + UnicodeString(1, b->OpenBracket()) + Show(b->ContentNodes()) +
                   UnicodeString(1, b->CloseBracket() ? b->CloseBracket() : u'_');
    }
    return out;
}

class Parser : public ::testing::Test {
protected:
    Parser() {
        p.AddBracketPair(u'(', u')');
        p.SetSeparators(u",");
    }
    UnicodeString Parse(const UnicodeString& text) {
        out.Clear();
        EXPECT_TRUE(p.Parse(text, &out));
        return Show(&out);
    }
    TORVIStringParser p;
    TORVIParsedNodeList out;
};

TEST_F(Parser, BracketsHoldTheirChildrenAndWhitespaceCanBeDropped) {
    EXPECT_EQ(Parse(u"(a,b) c"), u"B(T(a)S,T(b))W[ ]T(c)");
    p.SetIgnoreWhitespace(true);
    EXPECT_EQ(Parse(u" (a, b) c "), u"B(T(a)S,T(b))T(c)");
    EXPECT_EQ(Parse(u"(a (b)) )x"), u"B(T(a)B(T(b)))T(x)"); // a stray close bracket makes no node
    EXPECT_EQ(Parse(u"((a"), u"B(B(T(a)__");                   // unterminated brackets end with the text
}

TEST_F(Parser, ChildrenKnowTheirParentWhileTheyAreInTheList) {
    Parse(u"(a,b)");
    auto* bracket = dynamic_cast<TORVIBracketedNode*>(out[0]);
    ASSERT_NE(bracket, nullptr);
    EXPECT_EQ(bracket->Parent(), nullptr);
    TORVIParsedNode* a = bracket->ContentNodes()->Items(0);
    EXPECT_EQ(a->Parent(), bracket);
    EXPECT_EQ(bracket->ContentNodes()->Extract(a), a);
    EXPECT_EQ(a->Parent(), nullptr);
    out.Add(a);
    EXPECT_EQ(a->Parent(), nullptr);
    bracket->ContentNodes()->Add(out.Extract(a));
    EXPECT_EQ(a->Parent(), bracket);
    EXPECT_EQ(bracket->ContentNodes()->Count(), 3);
}

TEST_F(Parser, QuotesPairByIndexAndTakeEverythingInside) {
    p.AddQuotePair(u'"', u'"');
    p.AddQuotePair(u'<', u'>');
    EXPECT_EQ(Parse(u"\"a, (b\"<x\">"), u"Q\"a, (b\"Q<x\">");
    EXPECT_EQ(Parse(u"<open"), u"Q<open_");
    EXPECT_EQ(Parse(u"a>b"), u"T(a)T(b)"); // a stray close quote is dropped
}

TEST_F(Parser, EscapesAddTheNextCharacterToText) {
    p.AddQuotePair(u'"', u'"');
    p.SetEscapes(u"\\");
    EXPECT_EQ(Parse(u"a\\,b \"q\\\"q\" \\(x"), u"T(a,b)W[ ]Q\"q\"q\"W[ ]T((x)");
    EXPECT_EQ(Parse(u"x\\"), u"T(x\\)");
    // After whitespace inside brackets the escaped text stays inside the brackets.
    EXPECT_EQ(Parse(u"(a \\,)"), u"B(T(a)W[ ]T(,))");
    p.SetIgnoreWhitespace(true);
    EXPECT_EQ(Parse(u"(a \\,)"), u"B(T(a)T(,))");
}

class Upper : public rtl::TObject {
public:
    char16_t Map(rtl::TObject*, char16_t c) { return rtl::UpCaseAscii(c); }
};

TEST_F(Parser, EscapeHandlerReplacesTheCharacter) {
    Upper upper;
    p.SetEscapes(u"%");
    p.OnEscapeChar = TORVIStringParserEscapeEvent(&upper, &Upper::Map);
    EXPECT_EQ(Parse(u"a%b"), u"T(aB)");
}

TEST_F(Parser, PairsAreAddedOnlyForUndeclaredCharactersAndRemovedOnlyAsPairs) {
    p.AddQuotePair(u',', u'\'');
    p.AddQuotePair(u'\'', u' ');
    EXPECT_EQ(p.IndexOfOpenQuote(u','), -1);
    EXPECT_EQ(p.IndexOfOpenQuote(u'\''), -1);
    p.AddQuotePair(u'[', u']');
    p.RemoveQuotePair(u'[', u')');
    EXPECT_EQ(p.IndexOfOpenQuote(u'['), 0);
    p.RemoveQuotePair(u'[', u']');
    EXPECT_EQ(p.IndexOfOpenQuote(u'['), -1);
    p.RemoveBracketPair(u'(', u')');
    EXPECT_EQ(Parse(u"(a)"), u"T((a))");
    EXPECT_EQ(p.Whitespace(), u" \t\n\r");
    EXPECT_TRUE(p._IsDeclaredCharacter(u'\t'));
    EXPECT_FALSE(p._IsDeclaredCharacter(u'('));
}

TEST_F(Parser, NoOutputListIsRefused) {
    EXPECT_FALSE(p.Parse(u"a", nullptr));
}

/// Reads ahead and slurps while the parse runs.
class Peeking : public TORVIStringParser {
public:
    UnicodeString seen;

protected:
    TORVIParsedNode* _CreateTextNode(char16_t c) override {
        char16_t next = 0;
        char16_t before = 0;
        if (LookAhead(0, next) && next == u'!' && LookAhead(-1, before))
            seen += before + (u"[" + SlurpCharacters(3) + u"]");
        return TORVIStringParser::_CreateTextNode(c);
    }
};

TEST(ParserReading, SlurpTakesTheLastCharactersTooAndLookAheadStaysInside) {
    Peeking p;
    TORVIParsedNodeList out;
    p.Parse(u"a!bc d!ef", &out);
    EXPECT_EQ(p.seen, u"a[!bc]d[!ef]"); // the last three characters of the text are taken
    ASSERT_EQ(out.Count(), 3);
    Peeking q;
    q.Parse(u"a!b", &out);
    EXPECT_EQ(q.seen, u"a[]"); // fewer than three left: nothing taken
    char16_t c = 0;
    EXPECT_FALSE(q.LookAhead(0, c)); // the text is gone after Parse
}

TEST(ParserDepth, HundredThousandOpenBracketsNeitherOverflowNorLeak) {
    TORVIStringParser p;
    p.AddBracketPair(u'(', u')');
    const UnicodeString deep = UnicodeString(100000, u'(') + u"x" + UnicodeString(100000, u')');
    {
        TORVIParsedNodeList out;
        EXPECT_TRUE(p.Parse(deep, &out));
        ASSERT_EQ(out.Count(), 1);
        TORVIParsedNode* n = out[0];
        int depth = 0;
        while (auto* b = dynamic_cast<TORVIBracketedNode*>(n)) {
            ++depth;
            EXPECT_TRUE(b->Closed());
            n = b->ContentNodes()->Items(0);
        }
        EXPECT_EQ(depth, 100000);
    }
    TORVIParsedNodeList open;
    EXPECT_TRUE(p.Parse(UnicodeString(100000, u'('), &open));
    open.Clear();
    EXPECT_EQ(open.Count(), 0);
}

} // namespace
