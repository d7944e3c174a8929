#include "utils/framework/ORVI.StreamParser.h"

#include "utils/framework/StreamGrammars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

using namespace orvi;
using rtl::UnicodeString;
using streamgrammars::TJsonGrammar;
using streamgrammars::TXmlGrammar;

namespace {

class TTupleDef : public TORVIStreamedNodeDefinition {
    ORVI_STREAMED_NODE_DEFINITION_CLASS(TTupleDef)
    using TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition;
};
class TWordDef : public TORVIStreamedNodeDefinition {
    ORVI_STREAMED_NODE_DEFINITION_CLASS(TWordDef)
    using TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition;
};
class TNumberDef : public TORVIStreamedNodeDefinition {
    ORVI_STREAMED_NODE_DEFINITION_CLASS(TNumberDef)
    using TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition;
};

// Forgets to declare its class reference, so it would nest as a TWordDef.
class TLongWordDef : public TWordDef {
    using TWordDef::TWordDef;
};

const TORVIStreamedNodeDefinitionClass* const kTuple = &ORVIStreamedNodeDefinitionClass<TTupleDef>();
const TORVIStreamedNodeDefinitionClass* const kWord = &ORVIStreamedNodeDefinitionClass<TWordDef>();
const TORVIStreamedNodeDefinitionClass* const kNumber = &ORVIStreamedNodeDefinitionClass<TNumberDef>();

/// A parser with hand-made definitions; records "+name open" and "-name content close" and frees nodes.
class StreamParser : public ::testing::Test {
public:
    void SetUp() override { pParser = rtl::Create<TORVIStreamParser>(nullptr); }
    void TearDown() override { rtl::Free(pParser); }

    template <class T = TORVIStreamedNodeDefinition>
    T* Define(const char16_t* name, const char16_t* open, const char16_t* close = u"") {
        T* definition = rtl::Create<T>(nullptr);
        definition->SetName(name);
        definition->SetOpenMatch(open);
        definition->SetCloseMatch(close);
        definition->SetOnOpen(TORVIStreamedNodeEvent(this, &StreamParser::Opened));
        definition->SetOnClose(TORVIStreamedNodeEvent(this, &StreamParser::Closed));
        pParser->AddNodeDefinition(definition);
        return definition;
    }
    bool Parse(const std::string& bytes, rtl::TEncoding* encoding = nullptr) {
        auto* stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes(bytes.begin(), bytes.end()));
        const bool result = pParser->ParseStream(stream, encoding);
        rtl::Free(stream);
        return result;
    }
    std::string Error() { return rtl::StringToUtf8(pParser->ErrorMessage()); }

    void Opened(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
        log.push_back("+" + rtl::StringToUtf8(pSender->Name()) + " " + rtl::StringToUtf8(pNode->Open()));
        if (fnOnOpen)
            fnOnOpen(pNode);
    }
    void Closed(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
        log.push_back("-" + rtl::StringToUtf8(pSender->Name()) + " " + rtl::StringToUtf8(pNode->Content()) +
                      "|" + rtl::StringToUtf8(pNode->Close()));
        EXPECT_TRUE(pNode->Complete());
        rtl::Free(pNode);
        if (blThrowOnClose)
            throw rtl::EConvertError(u"handler failed");
    }

    char16_t UpperEscape(TORVIStreamedNodeDefinition*, char16_t c) { return c == u'x' ? u'X' : c; }
    char16_t MappedEscape(TORVIStreamedNodeDefinition*, char16_t c) { return fnEscape(c); }

    TORVIStreamParser* pParser = nullptr;
    std::vector<std::string> log;
    std::function<void(TORVIStreamedNode*)> fnOnOpen;
    std::function<char16_t(char16_t)> fnEscape;
    bool blThrowOnClose = false;
};

using Strings = std::vector<std::string>;

/// Counts the characters asked of it one call at a time.
class TSlurpCountingParser : public TORVIStreamParser {
public:
    using TORVIStreamParser::TORVIStreamParser;
    UnicodeString SlurpCharacters(int nCount) override {
        ++nSlurps;
        return TORVIStreamParser::SlurpCharacters(nCount);
    }
    int nSlurps = 0;
};

} // namespace

TEST_F(StreamParser, EveryLineEndBecomesTheNormalisedOneAndCountsOneLine) {
    TORVIStreamedNodeDefinition* line = Define(u"line", u"[a-z]*\r\n");
    line->SetCanBeRootNode(true);
    TORVIStreamedNodeDefinition* tuple = Define(u"tuple", u"\\(", u"\\)");
    tuple->SetCanBeRootNode(true);
    tuple->SetAllowsContainedNodes(true);
    EXPECT_FALSE(Parse("a\rb\nc\r\n(zz)rest"));
    EXPECT_EQ(log, (Strings{"+line a\r\n", "-line |", "+line b\r\n", "-line |", "+line c\r\n", "-line |",
                            "+tuple ("}));
    // The closing parenthesis is the fourth character of line 4; positions count from 0.
    EXPECT_EQ(Error(), "Stream Error Unexpected text found in tuple node near line 4 character 3 "
                       "(Next characters: rest)");

    log.clear();
    pParser->SetNormalisedLineEnd(u"\n");
    line->SetOpenMatch(u"[a-z]*\n");
    EXPECT_TRUE(Parse("x\r\r\ny"));
    EXPECT_EQ(log, (Strings{"+line x\n", "-line |", "+line \n", "-line |"}));
}

TEST_F(StreamParser, ErrorsNameTheNodeAndTheStreamStaysUsable) {
    TORVIStreamedNodeDefinition* unnamed = Define(u"", u"<", u">");
    unnamed->SetCanBeRootNode(true);
    unnamed->SetAllowsContainedNodes(true);
    EXPECT_FALSE(Parse("<a>"));
    EXPECT_EQ(Error(), "Stream Error Unexpected text found in unnamed node near line 1 character 2 "
                       "(Next characters: )");
    EXPECT_EQ(pParser->CurrentNode(), nullptr);
    EXPECT_EQ(pParser->CurrentStream(), nullptr);
    EXPECT_TRUE(Parse("<>"));

    // Nil input: false, and the last message stays.
    EXPECT_FALSE(pParser->ParseStream(nullptr, nullptr));
    EXPECT_EQ(Error(), "Stream Error Unexpected text found in unnamed node near line 1 character 2 "
                       "(Next characters: )");
}

TEST_F(StreamParser, OtherFailuresAreReportedWithTheirClass) {
    Define(u"bad", u"(unclosed")->SetCanBeRootNode(true);
    EXPECT_FALSE(Parse("abc"));
    EXPECT_EQ(Error().rfind("Unexpected Error EArgumentException (", 0), 0u) << Error();
    EXPECT_NE(Error().find(") near line 1 character 0 (Next characters: bc)"), std::string::npos) << Error();
}

TEST_F(StreamParser, HandlerFailuresEndTheParseWithoutFreeingTheNodeTwice) {
    Define(u"t", u"\\(", u"\\)")->SetCanBeRootNode(true);
    blThrowOnClose = true;
    EXPECT_FALSE(Parse("(())"));
    // The node allows neither text nor nodes: the second character closes the first node.
    EXPECT_EQ(
        Error(),
        "Unexpected Error EConvertError (handler failed) near line 1 character 1 (Next characters: )))");
}

TEST_F(StreamParser, AnOpenOnlyDefinitionGivesCompleteNodesAtOnce) {
    Define(u"word", u"[a-z]+ ")->SetCanBeRootNode(true);
    EXPECT_TRUE(Parse("ab cd 12"));
    // The trailing text that nothing opens stays in the buffer and does not fail the parse.
    EXPECT_EQ(log, (Strings{"+word ab ", "-word |", "+word cd ", "-word |"}));
}

TEST_F(StreamParser, AnEscapedCloseIsContent) {
    TORVIStreamedNodeDefinition* quoted = Define(u"q", u"'", u"'");
    quoted->SetCanBeRootNode(true);
    quoted->SetAllowsContainedText(true);
    quoted->SetAllowedContentMatch(u"^.");
    quoted->SetEscapes(u"\\");
    EXPECT_TRUE(Parse("'a\\'b\\\\'"));
    EXPECT_EQ(log, (Strings{"+q '", "-q a'b\\|'"}));

    log.clear();
    quoted->SetOnHandleEscape(
        TORVIStreamParserEscapeEvent(static_cast<StreamParser*>(this), &StreamParser::UpperEscape));
    EXPECT_TRUE(Parse("'\\x\\''"));
    EXPECT_EQ(log, (Strings{"+q '", "-q X'|'"}));

    // The character after an escape is read whole (both units of a pair) and counts as one; a
    // parser of a derived class reads it through its own SlurpCharacters.
    log.clear();
    EXPECT_TRUE(Parse("'\\\xF0\x9F\x98\x80x'"));
    EXPECT_EQ(log, (Strings{"+q '", "-q \xF0\x9F\x98\x80x|'"}));
    EXPECT_EQ(pParser->CharCount(), 5);
    auto* derived = rtl::Create<TSlurpCountingParser>(nullptr);
    derived->Assign(pParser);
    log.clear();
    auto* stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes{'\'', '\\', 'x', '\''});
    EXPECT_TRUE(derived->ParseStream(stream));
    rtl::Free(stream);
    EXPECT_EQ(log, (Strings{"+q '", "-q X|'"}));
    EXPECT_EQ(derived->nSlurps, 1);
    rtl::Free(derived);
}

TEST_F(StreamParser, AUnitAfterAnEscapedCloseIsContentButALineEndAfterItCloses) {
    // A close match may end before a final line end: a line end right after an escaped close
    // closes there, any other unit after it does not.
    TORVIStreamedNodeDefinition* quoted = Define(u"q", u"'", u"'");
    quoted->SetCanBeRootNode(true);
    quoted->SetAllowsContainedText(true);
    quoted->SetAllowedContentMatch(u"^.");
    quoted->SetEscapes(u"\\");
    TORVIStreamedNodeDefinition* braced = Define(u"b", u"\\{", u"\\}");
    braced->SetCanBeRootNode(true);
    braced->SetAllowsContainedText(true);
    braced->SetAllowedContentMatch(u"^.");
    braced->SetEscapes(u"\\");
    pParser->SetNormalisedLineEnd(u"\n");
    EXPECT_TRUE(Parse("'a\\'bc d\\''{x\\}}{\\}\n}"));
    EXPECT_EQ(log, (Strings{"+q '", "-q a'bc d'|'", "+b {", "-b x}|}", "+b {", "-b |}"}));
}

TEST_F(StreamParser, WhatAnExpressionToldOfOneCharacterGoesWithItsCompiledForm) {
    // A parser of a derived class offers every character on its own; an escape stands for a
    // character past ASCII.
    TORVIStreamedNodeDefinition* quoted = Define(u"q", u"'", u"'");
    quoted->SetCanBeRootNode(true);
    quoted->SetAllowsContainedText(true);
    quoted->SetAllowedContentMatch(u"^.");
    quoted->SetEscapes(u"\\");
    fnEscape = [](char16_t c) { return c == u'e' ? u'\u00E9' : c; };
    quoted->SetOnHandleEscape(
        TORVIStreamParserEscapeEvent(static_cast<StreamParser*>(this), &StreamParser::MappedEscape));
    auto* derived = rtl::Create<TSlurpCountingParser>(nullptr);
    derived->Assign(pParser);
    const auto parse = [&](TORVIStreamParser* parser, const std::string& text) {
        log.clear();
        auto* stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes(text.begin(), text.end()));
        EXPECT_TRUE(parser->ParseStream(stream));
        rtl::Free(stream);
        return log;
    };
    EXPECT_EQ(parse(pParser, "'\\e'"), (Strings{"+q '", "-q \xC3\xA9|'"}));
    EXPECT_EQ(parse(derived, "'a'"), (Strings{"+q '", "-q a|'"}));
    // Content that no longer takes them (which only a call can tell) closes the node at once.
    quoted->SetAllowedContentMatch(u"^(?![a\u00E9]).");
    EXPECT_EQ(parse(pParser, "'\\e'"), (Strings{"+q '", "-q |"}));
    EXPECT_EQ(parse(derived, "'a'"), (Strings{"+q '", "-q |"}));
    rtl::Free(derived);

    // Runs of content follow the line end set since the last parse.
    TORVIStreamedNodeDefinition* tuple = Define(u"t", u"\\(", u"\\)");
    tuple->SetCanBeRootNode(true);
    tuple->SetAllowsContainedText(true);
    tuple->SetAllowedContentMatch(u"^[a-z\n]+");
    pParser->SetNormalisedLineEnd(u"\n");
    EXPECT_EQ(parse(pParser, "(a\r\nb)"), (Strings{"+t (", "-t a\nb|)"}));
    pParser->SetNormalisedLineEnd(u"\r\n");
    EXPECT_EQ(parse(pParser, "(a\nb)"), (Strings{"+t (", "-t a|"}));
}

TEST_F(StreamParser, NestingFollowsTheAllowedAndRefusedClasses) {
    TTupleDef* tuple = Define<TTupleDef>(u"tuple", u"\\(", u"\\)");
    tuple->SetCanBeRootNode(true);
    tuple->SetAllowsContainedText(true);
    tuple->SetAllowedContentMatch(u"^ ");
    Define<TWordDef>(u"word", u"[a-z]+");
    Define<TNumberDef>(u"number", u"[0-9]+");

    EXPECT_FALSE(tuple->IsAllowedNodeClass(kWord)); // no nesting until contained nodes are allowed
    tuple->SetAllowsContainedNodes(true);
    EXPECT_TRUE(tuple->IsAllowedNodeClass(kWord) && tuple->IsAllowedNodeClass(kNumber) &&
                tuple->IsAllowedNodeClass(kTuple));
    tuple->DisallowNodeClass(kWord);
    EXPECT_FALSE(tuple->IsAllowedNodeClass(kWord));
    EXPECT_TRUE(tuple->IsAllowedNodeClass(kNumber) && tuple->IsAllowedNodeClass(kTuple));
    // The refused word stays text, which the tuple then takes with its close.
    EXPECT_TRUE(Parse("(a 1)"));
    EXPECT_EQ(log.back(), "-tuple a 1|)");

    tuple->AllowNodeClass(kNumber);
    EXPECT_TRUE(tuple->IsAllowedNodeClass(kNumber));
    EXPECT_FALSE(tuple->IsAllowedNodeClass(kTuple));
    EXPECT_FALSE(tuple->IsAllowedNodeClass(kWord));
    tuple->AllowNodeClass(kWord); // allowing again takes it off the refused list
    EXPECT_TRUE(tuple->IsAllowedNodeClass(kWord));
    tuple->AllowNodeClass(nullptr);
    tuple->DisallowNodeClass(nullptr);
    log.clear();
    EXPECT_TRUE(Parse("(1 b (2))"));
    // Tuples may no longer nest: "(2" is text of the outer tuple.
    EXPECT_EQ(log, (Strings{"+tuple (", "+number 1", "-number |", "+word b", "-word |", "-tuple   (2|)"}));
}

TEST_F(StreamParser, AClassThatInheritsItsBasesReferenceCannotBeMade) {
    EXPECT_THROW(rtl::Create<TLongWordDef>(nullptr), rtl::Exception);
    EXPECT_TRUE(kWord->InheritsFrom(ORVIStreamedNodeDefinitionClass<TORVIStreamedNodeDefinition>()));
    EXPECT_FALSE(kWord->InheritsFrom(*kNumber));
}

TEST_F(StreamParser, NodesLeftOpenAtTheEndCloseOnlyWithValidContent) {
    TORVIStreamedNodeDefinition* value = Define(u"value", u"=");
    value->SetCanBeRootNode(true);
    value->SetAllowsContainedText(true);
    value->SetValidContentMatch(u"=[0-9]+");
    EXPECT_TRUE(Parse("=12"));
    EXPECT_EQ(log, (Strings{"+value =", "-value 12|"}));

    // With nodes allowed, text the value refuses waits in the buffer instead of closing it.
    log.clear();
    value->SetAllowsContainedNodes(true);
    EXPECT_FALSE(Parse("=1x"));
    EXPECT_EQ(Error(), "Unclosed nodes at end of stream");
    EXPECT_EQ(pParser->CurrentNode(), nullptr);
}

TEST_F(StreamParser, TextIsOfferedToTheNodeThatClosesAndThenToItsParent) {
    TORVIStreamedNodeDefinition* list = Define(u"list", u"\\[", u"\\]");
    list->SetCanBeRootNode(true);
    list->SetAllowsContainedNodes(true);
    list->SetAllowsContainedText(true);
    list->SetAllowedContentMatch(u"^,");
    TORVIStreamedNodeDefinition* digits = Define(u"digits", u"[0-9]");
    digits->SetAllowsContainedText(true);
    digits->SetAllowedContentMatch(u"^[0-9]+");
    EXPECT_TRUE(Parse("[12,3]"));
    EXPECT_EQ(log, (Strings{"+list [", "+digits 1", "-digits 2|", "+digits 3", "-digits |", "-list ,|]"}));
}

TEST_F(StreamParser, LookAheadAndSlurpReadTheStreamExactly) {
    Define(u"mark", u"#")->SetCanBeRootNode(true);
    std::string peeked;
    fnOnOpen = [&](TORVIStreamedNode*) {
        char16_t c = 0;
        for (int i = 0; i < 4; ++i)
            peeked += pParser->LookAhead(i, c) ? rtl::StringToUtf8(UnicodeString(1, c)) : "<none>";
        EXPECT_FALSE(pParser->LookAhead(-1, c));
        EXPECT_EQ(c, u'\0');
        const int before = pParser->CharCount();
        EXPECT_EQ(pParser->SlurpCharacters(1), u"\u00e9");
        EXPECT_EQ(pParser->CharCount(), before + 1);
    };
    EXPECT_TRUE(Parse("#\xC3\xA9z"));
    EXPECT_EQ(peeked, "\xC3\xA9z<none><none>");
    // The slurped character was consumed: "z" was read next and stays as root text.
    EXPECT_EQ(log, (Strings{"+mark #", "-mark |"}));
}

TEST_F(StreamParser, TheByteOrderMarkWinsOverTheFallbackEncoding) {
    Define(u"word", u"\\S+ ")->SetCanBeRootNode(true);
    EXPECT_TRUE(Parse("caf\xE9 ", rtl::TEncoding::ANSI()));
    EXPECT_TRUE(Parse(std::string("\xFF\xFE"
                                  "a\0\xAC\x20 \0",
                                  8),
                      rtl::TEncoding::ANSI()));
    EXPECT_EQ(log[0], "+word caf\xC3\xA9 ");
    EXPECT_EQ(log[2], "+word a\xE2\x82\xAC ");
    EXPECT_EQ(pParser->Encoding(), rtl::TEncoding::Unicode());
}

TEST_F(StreamParser, BytesThatAreNoCharacterFailTheParse) {
    Define(u"word", u"[a-z]+ ")->SetCanBeRootNode(true);
    EXPECT_FALSE(Parse("ab \xFF"
                       "cd "));
    // The position names the bad byte, and reading goes on right after it.
    EXPECT_EQ(Error(), "Stream Error Invalid UTF-8 character near line 1 character 3 (Next characters: cd )");
    // A lone surrogate in UTF-16.
    EXPECT_FALSE(Parse(std::string("\xFF\xFE"
                                   "a\0\x00\xD8 \0",
                                   8)));
    EXPECT_EQ(Error().rfind("Stream Error Invalid UTF-16LE character near line 1 character 1", 0), 0u)
        << Error();
}

TEST_F(StreamParser, EveryLengthOfUtf8SequenceDecodesAndMalformedOnesFail) {
    Define(u"word", u"\\S+ ")->SetCanBeRootNode(true);
    const std::string text = "a\xC3\xA9z\xE2\x82\xAC\xEF\xBF\xBD\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFq ";
    EXPECT_TRUE(Parse(text));
    EXPECT_EQ(log[0], "+word " + text);
    // ASCII is widened a word at a time: a longer character at each place in and around a word.
    for (std::size_t at = 0; at <= 17; ++at) {
        std::string word(18, 'k');
        word.insert(at, "\xE2\x82\xAC");
        log.clear();
        EXPECT_TRUE(Parse(word + " " + word + " "));
        EXPECT_EQ(log, (Strings{"+word " + word + " ", "-word |", "+word " + word + " ", "-word |"})) << at;
    }
    // Overlong forms, an encoded surrogate, beyond U+10FFFF, a stray continuation and a cut-off end.
    for (const char* bad : {"\xC0\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x82"}) {
        EXPECT_FALSE(Parse(std::string("ab ") + bad));
        EXPECT_EQ(Error().rfind("Stream Error Invalid UTF-8 character near line 1 character 3", 0), 0u) << Error();
    }
}

TEST_F(StreamParser, TheDefinitionListOwnsAndNamesItsParser) {
    TORVIStreamedNodeDefinition* a = Define(u"a", u"a");
    bool freed = false;
    a->RegisterFreeIndicator(&freed);
    EXPECT_EQ(a->Parser(), pParser);
    pParser->AddNodeDefinition(a);
    pParser->AddNodeDefinition(nullptr);
    EXPECT_EQ(pParser->DefinitionCount(), 1);
    EXPECT_EQ(pParser->Definition(0), a);
    EXPECT_EQ(pParser->Definition(1), nullptr);
    EXPECT_EQ(pParser->Definition(-1), nullptr);

    auto* other = rtl::Create<TORVIStreamParser>(nullptr);
    other->Assign(pParser);
    EXPECT_EQ(other->Definition(0), a) << "the same object, not a copy";
    rtl::TObject keeper;
    a->AddMemLockReference(&keeper); // keep it while both parsers let go
    pParser->RemoveNodeDefinition(a);
    EXPECT_EQ(a->Parser(), other) << "removal from a parser it no longer belongs to leaves its parser";
    rtl::Free(other);
    EXPECT_EQ(a->Parser(), nullptr);
    EXPECT_FALSE(freed);
    a->RemoveMemLockReference(&keeper);
    EXPECT_TRUE(freed);
}

TEST_F(StreamParser, DefinitionsThatGoDuringAParseLeaveNothingBehind) {
    // Freed outright while the parser's list holds it: the list drops it.
    rtl::Free(Define(u"gone", u"x"));
    EXPECT_EQ(pParser->DefinitionCount(), 0);
    TORVIStreamedNodeDefinition* t = Define(u"t", u"\\(", u"\\)");
    t->SetCanBeRootNode(true);
    EXPECT_TRUE(Parse("()"));
    EXPECT_EQ(log, (Strings{"+t (", "-t |)"}));

    // Removed from the parser by its own open handler: the open node keeps it until it is freed.
    bool freed = false;
    t->RegisterFreeIndicator(&freed);
    fnOnOpen = [&](TORVIStreamedNode* pNode) {
        pParser->RemoveNodeDefinition(pNode->Definition());
        EXPECT_FALSE(freed);
    };
    log.clear();
    EXPECT_TRUE(Parse("()"));
    EXPECT_EQ(log, (Strings{"+t (", "-t |)"}));
    EXPECT_TRUE(freed);
}

TEST_F(StreamParser, NodesOutliveADefinitionFreedOutright) {
    // By its open handler, while nodes of it are open: the nodes are left without one.
    TORVIStreamedNodeDefinition* t = Define(u"t", u"\\(", u"\\)");
    t->SetCanBeRootNode(true);
    t->SetAllowsContainedNodes(true);
    t->AllowNodeClass(&t->DefinitionClass());
    std::vector<TORVIStreamedNode*> opened;
    fnOnOpen = [&](TORVIStreamedNode* pNode) {
        opened.push_back(pNode);
        if (opened.size() < 2)
            return;
        rtl::Free(pNode->Definition());
        EXPECT_EQ(pNode->Definition(), nullptr);
        EXPECT_EQ(opened[0]->Definition(), nullptr);
    };
    Parse("(()");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(pParser->DefinitionCount(), 0);

    // By its escape handler, many escapes in (past a batch of the pins it hands out).
    fnOnOpen = nullptr;
    TORVIStreamedNodeDefinition* quoted = Define(u"q", u"'", u"'");
    quoted->SetCanBeRootNode(true);
    quoted->SetAllowsContainedText(true);
    quoted->SetAllowedContentMatch(u"^.");
    quoted->SetEscapes(u"\\");
    int escapes = 0;
    fnEscape = [&](char16_t c) {
        if (++escapes == 100)
            rtl::Free(quoted);
        return c;
    };
    quoted->SetOnHandleEscape(
        TORVIStreamParserEscapeEvent(static_cast<StreamParser*>(this), &StreamParser::MappedEscape));
    std::string escaped = "'";
    for (int i = 0; i < 120; ++i)
        escaped += "\\x";
    Parse(escaped + "'");
    EXPECT_EQ(escapes, 100);
    EXPECT_EQ(pParser->DefinitionCount(), 0);

    // After the parse, with closed nodes kept by their handler: they are freed after it.
    fnOnOpen = nullptr;
    struct TKeeper {
        void Closed(TORVIStreamedNodeDefinition*, TORVIStreamedNode* pNode) { Kept.push_back(pNode); }
        std::vector<TORVIStreamedNode*> Kept;
    } keeper;
    t = Define(u"t", u"\\(", u"\\)");
    t->SetCanBeRootNode(true);
    t->SetOnClose(TORVIStreamedNodeEvent(&keeper, &TKeeper::Closed));
    EXPECT_TRUE(Parse("()()()"));
    ASSERT_EQ(keeper.Kept.size(), 3u);
    rtl::Free(keeper.Kept[0]); // while the definition lives
    EXPECT_EQ(t->_GetLockCount(t), 2);
    rtl::Free(t);
    for (std::size_t i = 1; i < keeper.Kept.size(); ++i) {
        EXPECT_EQ(keeper.Kept[i]->Definition(), nullptr);
        rtl::Free(keeper.Kept[i]);
    }
}

TEST_F(StreamParser, EachNodeHoldsOneLockOnItsDefinitionUntilItIsFreed) {
    TORVIStreamedNodeDefinition* t = Define(u"t", u"\\(", u"\\)");
    t->SetCanBeRootNode(true);
    t->SetAllowsContainedNodes(true);
    t->AllowNodeClass(&t->DefinitionClass());
    TORVIStreamedNodeDefinition* other = Define(u"other", u"x");
    const int lockers = t->MemLockReferenceCount();
    std::vector<int> counts;
    fnOnOpen = [&](TORVIStreamedNode*) { counts.push_back(t->_GetLockCount(t)); };
    EXPECT_TRUE(Parse("((())())"));
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 3, 2}));
    EXPECT_FALSE(t->IsLockedBy(t));
    EXPECT_EQ(t->MemLockReferenceCount(), lockers);

    // A node handed to another definition gives the first one's lock back and takes the other's.
    TORVIStreamedNode* node = rtl::Create<TORVIStreamedNode>(pParser);
    node->SetDefinition(t);
    node->SetDefinition(other);
    EXPECT_FALSE(t->IsLockedBy(t));
    EXPECT_EQ(other->_GetLockCount(other), 1);
    rtl::Free(node);
    EXPECT_FALSE(other->IsLockedBy(other));
}

TEST_F(StreamParser, AParserStillParsesAfterAnotherTookItsDefinitions) {
    Define(u"t", u"\\(", u"\\)")->SetCanBeRootNode(true);
    auto* other = rtl::Create<TORVIStreamParser>(nullptr);
    other->Assign(pParser);
    EXPECT_TRUE(Parse("()"));
    EXPECT_EQ(log, (Strings{"+t (", "-t |)"}));
    EXPECT_EQ(other->CurrentNode(), nullptr);
    rtl::Free(other);
}

TEST_F(StreamParser, AssignCopiesTheMatchingButNotTheIdentityOfADefinition) {
    auto* source = rtl::Create<TORVIStreamedNodeDefinition>(nullptr);
    source->SetName(u"src");
    source->SetOpenMatch(u"o");
    source->SetCloseMatch(u"c");
    source->SetAllowedContentMatch(u"a");
    source->SetValidContentMatch(u"v");
    source->SetEscapes(u"\\!");
    source->SetAllowsContainedNodes(true);
    source->SetAllowsContainedText(true);
    source->SetCanBeRootNode(true);
    source->SetCaseInsensitiveOpen(true);
    source->AllowNodeClass(kWord);
    source->DisallowNodeClass(kNumber);
    source->SetOnOpen(TORVIStreamedNodeEvent(static_cast<StreamParser*>(this), &StreamParser::Opened));

    auto* target = rtl::Create<TORVIStreamedNodeDefinition>(nullptr);
    target->SetName(u"dst");
    target->Assign(source);
    EXPECT_EQ(target->Name(), u"dst");
    EXPECT_EQ(target->OpenMatch(), u"o");
    EXPECT_EQ(target->CloseMatch(), u"c");
    EXPECT_EQ(target->AllowedContentMatch(), u"a");
    EXPECT_EQ(target->ValidContentMatch(), u"");
    EXPECT_EQ(target->Escapes(), u"\\!");
    EXPECT_TRUE(target->AllowsContainedNodes() && target->AllowsContainedText());
    EXPECT_FALSE(target->CanBeRootNode() || target->CaseInsensitiveOpen());
    EXPECT_TRUE(target->OnOpen() == source->OnOpen());
    EXPECT_TRUE(target->IsAllowedNodeClass(kWord));
    EXPECT_FALSE(target->IsAllowedNodeClass(kTuple));
    EXPECT_FALSE(target->IsAllowedNodeClass(kNumber)); // allowed list limits it, not the refused list
    EXPECT_THROW(target->Assign(pParser), rtl::EConvertError);
    rtl::Free(source);
    rtl::Free(target);
}

TEST_F(StreamParser, CaseFlagsRecompileTheirExpression) {
    TORVIStreamedNodeDefinition* tag = Define(u"tag", u"<b>", u"</b>");
    tag->SetCanBeRootNode(true);
    tag->SetAllowsContainedText(true);
    tag->SetAllowedContentMatch(u"^[^<]");
    tag->SetAllowsContainedNodes(true);
    EXPECT_TRUE(Parse("<b>x</b><B>"));
    EXPECT_EQ(log.size(), 2u);
    tag->SetCaseInsensitiveOpen(true);
    EXPECT_FALSE(Parse("<B>x</B>"));
    EXPECT_EQ(Error(), "Unclosed nodes at end of stream");
    tag->SetCaseInsensitiveClose(true);
    EXPECT_TRUE(Parse("<B>x</B>"));
}

// ---- the two grammars against independent parsers

namespace {

std::string Utf16(const std::string& utf8, bool blBigEndian) {
    const UnicodeString text = rtl::Utf8ToString(utf8);
    std::string out = blBigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += blBigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

void ExpectSameEvents(const Strings& expected, const Strings& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(expected[i], actual[i]) << "event " << i;
}

} // namespace

TEST(StreamGrammars, XmlEventsMatchAnIndependentParser) {
    TXmlGrammar grammar;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        const std::string document = streamgrammars::MakeXmlDocument(seed * 3000, seed);
        Strings expected, actual;
        ASSERT_TRUE(streamgrammars::ReferenceXmlEvents(document, expected));
        ASSERT_TRUE(grammar.Parse(document, &actual)) << grammar.ErrorMessage();
        ExpectSameEvents(expected, actual);
        if (seed % 4 == 0) {
            actual.clear();
            ASSERT_TRUE(grammar.Parse(Utf16(document, seed % 8 == 0), &actual)) << grammar.ErrorMessage();
            ExpectSameEvents(expected, actual);
        }
    }
}

TEST(StreamGrammars, XmlHandWrittenCases) {
    TXmlGrammar grammar;
    const std::string document =
        "<?xml version=\"1.0\"?>\r\n<a x='1' y=\"&lt;2&gt;\">t&amp;<b/>u<!-- c - > -->"
        "<![CDATA[<raw>]]]]><c>\xE2\x82\xAC</c>\r\rv</a>\n";
    Strings expected, actual;
    ASSERT_TRUE(streamgrammars::ReferenceXmlEvents(document, expected));
    ASSERT_TRUE(grammar.Parse(document, &actual)) << grammar.ErrorMessage();
    ExpectSameEvents(expected, actual);
    EXPECT_EQ(actual.back(), "close a t&u\n\nv");

    EXPECT_FALSE(grammar.Parse("<a><b></a>"));
    EXPECT_EQ(grammar.ErrorMessage(), "Unclosed nodes at end of stream");
    EXPECT_FALSE(grammar.Parse("<a><!-- open"));
}

TEST(StreamGrammars, LongTextAndCommentsCloseWhereTheyEnd) {
    TXmlGrammar grammar;
    const std::string text(200000, 'x');
    const std::string document = "<a>" + text + "<!--" + text + "- -></b>-->" + text + "</a>";
    Strings expected, actual;
    ASSERT_TRUE(streamgrammars::ReferenceXmlEvents(document, expected));
    ASSERT_TRUE(grammar.Parse(document, &actual)) << grammar.ErrorMessage();
    ExpectSameEvents(expected, actual);
}

TEST(StreamGrammars, JsonEventsMatchAnIndependentParser) {
    TJsonGrammar grammar;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        const std::string document = streamgrammars::MakeJsonDocument(seed * 3000, seed);
        Strings expected, actual;
        ASSERT_TRUE(streamgrammars::ReferenceJsonEvents(document, expected)) << document;
        ASSERT_TRUE(grammar.Parse(document, &actual)) << grammar.ErrorMessage();
        ExpectSameEvents(expected, actual);
        if (seed % 4 == 0) {
            actual.clear();
            ASSERT_TRUE(grammar.Parse(Utf16(document, seed % 8 == 0), &actual)) << grammar.ErrorMessage();
            ExpectSameEvents(expected, actual);
        }
    }
    for (const std::string document :
         {"[1,-2.5e3,\"a\\\"]\",true]", "{\"k\":{\"\":[]},\"n\":null}", "  7", "\"\\u0041\""}) {
        Strings expected, actual;
        ASSERT_TRUE(streamgrammars::ReferenceJsonEvents(document, expected)) << document;
        ASSERT_TRUE(grammar.Parse(document, &actual)) << grammar.ErrorMessage();
        ExpectSameEvents(expected, actual);
    }
}

TEST(StreamGrammars, DeepNestingNeedsNoStack) {
    constexpr int kDepth = 100000;
    std::string xml, json;
    for (int i = 0; i < kDepth; ++i) {
        xml += "<e>";
        json += "[";
    }
    for (int i = 0; i < kDepth; ++i) {
        xml += "</e>";
        json += "]";
    }
    TXmlGrammar xmlGrammar;
    EXPECT_TRUE(xmlGrammar.Parse(xml)) << xmlGrammar.ErrorMessage();
    EXPECT_EQ(xmlGrammar.ClosedNodes(), static_cast<std::size_t>(kDepth));
    TJsonGrammar jsonGrammar;
    EXPECT_TRUE(jsonGrammar.Parse(json)) << jsonGrammar.ErrorMessage();
    EXPECT_EQ(jsonGrammar.ClosedNodes(), static_cast<std::size_t>(kDepth));
    // Left open, all of them are freed.
    EXPECT_FALSE(jsonGrammar.Parse(json.substr(0, kDepth)));
    EXPECT_EQ(jsonGrammar.ErrorMessage(), "Unclosed nodes at end of stream");
}

// ---- runs of characters taken in one step

namespace {

// Definitions of a class of their own are always read one character at a time, which makes them
// the reference for what runs taken in one step must reproduce.
class TStepDef : public TORVIStreamedNodeDefinition {
    ORVI_STREAMED_NODE_DEFINITION_CLASS(TStepDef)
    using TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition;
};

// Compiles its expressions itself, as the parser would, so that none of them comes with what the
// parser knows of its own compiled forms: every question is put to the expression.
class TBareDef : public TORVIStreamedNodeDefinition {
    ORVI_STREAMED_NODE_DEFINITION_CLASS(TBareDef)
    using TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition;

protected:
    rtl::TRegEx* _GetOpenRegEx() override { return Bare(_open, OpenMatch().empty() ? u"" : u"^(?:" + OpenMatch() + u")"); }
    rtl::TRegEx* _GetCloseRegEx() override { return Bare(_close, CloseMatch().empty() ? u"" : u"(?:" + CloseMatch() + u")$"); }
    rtl::TRegEx* _GetAllowedRegEx() override { return Bare(_allowed, AllowedContentMatch()); }

private:
    struct TBare {
        UnicodeString szPattern;
        std::unique_ptr<rtl::TRegEx> pCompiled;
    };
    static rtl::TRegEx* Bare(TBare& bare, const UnicodeString& pattern) {
        if (pattern.empty())
            return nullptr;
        if (!bare.pCompiled || bare.szPattern != pattern)
            bare = {pattern, std::make_unique<rtl::TRegEx>(pattern, rtl::roSingleLine | rtl::roPartial)};
        return bare.pCompiled.get();
    }
    TBare _open, _close, _allowed;
};

// Hands out at most three bytes per read once the byte-order mark has been looked for.
class TTrickleStream : public rtl::TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    std::int64_t Read(void* buffer, std::int64_t count) override {
        return TMemoryStream::Read(buffer, _nReads++ == 0 ? count : std::min<std::int64_t>(count, 1 + _nReads % 3));
    }

private:
    int _nReads = 0;
};

/// A small grammar of tags, comments, strings with escapes, numbers and empty tags; every event is
/// recorded with the line and character it happened at.
struct TRunGrammar {
    TORVIStreamParser* pParser = rtl::Create<TORVIStreamParser>(nullptr);
    std::vector<TORVIStreamedNodeDefinition*> defs; // tag, comment, string, number, empty
    Strings log;
    std::function<void()> fnOnOpen;

    template <class T> explicit TRunGrammar(T*, const UnicodeString& lineEnd) {
        pParser->SetNormalisedLineEnd(lineEnd);
        Add<T>(u"tag", u"\\s*<([a-z]+)[^<>]*>", u"</[a-z]+\\s*>", u"^[^<]+", true);
        Add<T>(u"comment", u"<!--", u"-->", u"^.", false);
        Add<T>(u"string", u"\"", u"\"", u"^.", false)->SetEscapes(u"\\");
        Add<T>(u"number", u"#", u"", u"^[0-9]+", false);
        Add<T>(u"empty", u"\\s*<[a-z]+/>", u"", u"", false);
        // Close, escape and refused units past ASCII, in content that takes others.
        Add<T>(u"quote", u"\u00AB", u"\u00BB", u"^[^\u00FC]", false)->SetEscapes(u"\u20AC");
    }
    ~TRunGrammar() { rtl::Free(pParser); }
    template <class T>
    T* Add(const char16_t* name, const char16_t* open, const char16_t* close, const char16_t* allowed, bool nodes) {
        T* d = rtl::Create<T>(nullptr);
        d->SetName(name);
        d->SetOpenMatch(open);
        d->SetCloseMatch(close);
        d->SetAllowedContentMatch(allowed);
        d->SetAllowsContainedNodes(nodes);
        d->SetAllowsContainedText(true);
        d->SetCanBeRootNode(true);
        d->SetOnOpen(TORVIStreamedNodeEvent(this, &TRunGrammar::Opened));
        d->SetOnClose(TORVIStreamedNodeEvent(this, &TRunGrammar::Closed));
        pParser->AddNodeDefinition(d);
        defs.push_back(d);
        return d;
    }
    std::string Where() {
        return std::to_string(pParser->LineCount()) + ":" + std::to_string(pParser->CharCount()) + " ";
    }
    void Opened(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
        log.push_back(Where() + "+" + rtl::StringToUtf8(pSender->Name()) + " " + rtl::StringToUtf8(pNode->Open()));
        if (fnOnOpen)
            fnOnOpen();
    }
    void Closed(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
        log.push_back(Where() + "-" + rtl::StringToUtf8(pSender->Name()) + " " +
                      rtl::StringToUtf8(pNode->Content()) + "|" + rtl::StringToUtf8(pNode->Close()));
        rtl::Free(pNode);
    }
    /// The events, then the answer and the message; with blTrickle the stream gives few bytes a read.
    Strings Parse(const std::string& bytes, bool blTrickle = false) {
        rtl::TMemoryStream* stream = blTrickle ? rtl::Create<TTrickleStream>(rtl::TBytes(bytes.begin(), bytes.end()))
                                               : rtl::Create<rtl::TMemoryStream>(rtl::TBytes(bytes.begin(), bytes.end()));
        const bool result = pParser->ParseStream(stream);
        log.push_back((result ? "true " : "false ") + rtl::StringToUtf8(pParser->ErrorMessage()));
        log.push_back("stream at " + std::to_string(stream->Position()));
        rtl::Free(stream);
        return log;
    }
};

/// Parses each document with the definitions add(grammar, kind) puts into a TRunGrammar (kind a null
/// pointer of the definition class), once with the base class, which takes runs, and once with
/// TStepDef, which steps a character at a time: the events and answers must be the same.
template <class TAdd> void ExpectRunsAsSteps(const std::vector<std::string>& documents, TAdd add) {
    const auto parse = [&add](auto* kind, const std::string& document) {
        TRunGrammar grammar(kind, u"\n");
        add(grammar, kind);
        return grammar.Parse(document);
    };
    for (const std::string& document : documents)
        ASSERT_EQ(parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr), document),
                  parse(static_cast<TStepDef*>(nullptr), document))
            << document;
}

std::string RandomDocument(std::uint32_t seed) {
    static const char* const tokens[] = {"<a>", "</a>", "<b x='1'>", "</b >", "<!-- c - -", "->", "\"s\\\"q",
                                         "\"", "#12", "#", "text ", "\n", "\r\n", "\r", "caf\xC3\xA9",
                                         "\xF0\x9F\x98\x80", "<c/>", "-", ">", "<", "\\", "\xC2\xAB", "\xC2\xBB",
                                         "\xE2\x82\xAC", "\xC3\xBC", "\xFF"};
    std::string document;
    for (int i = 0; i < 120; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t pick = (seed >> 16) % std::size(tokens);
        document += tokens[pick == std::size(tokens) - 1 && i % 7 ? 0 : pick]; // invalid bytes seldom
    }
    return document;
}

template <class T> Strings ParseAs(const std::string& document, const UnicodeString& lineEnd) {
    TRunGrammar grammar(static_cast<T*>(nullptr), lineEnd);
    return grammar.Parse(document);
}

// The run grammar with the definitions fnAdd adds (given the definition class to use), parsed with
// definitions of the base class and with ones that compile their own expressions, must tell the same.
template <class TAdd> void ExpectBareParsesAgree(const std::vector<std::string>& documents, TAdd fnAdd) {
    const auto parse = [&](auto* kind, const std::string& document) {
        TRunGrammar grammar(kind, u"\n");
        fnAdd(grammar, kind);
        return grammar.Parse(document);
    };
    for (const std::string& document : documents)
        ASSERT_EQ(parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr), document),
                  parse(static_cast<TBareDef*>(nullptr), document))
            << document;
}

} // namespace

TEST(StreamParserRuns, RunsTellTheSameStoryAsSingleCharacters) {
    std::vector<std::string> documents = {
        "<a>text\r\nmore\rline\n<b x='1'>in</b>tail</a>",
        "\xC2\xAB" "caf\xC3\xA9 \xE2\x82\xAC\xC2\xBB\xE2\x82\xAC\xE2\x82\xAC \xC3\xA9\xC2\xBB<a>\xC2\xAB\xC3\xA9\xC3\xBC</a>",
        "<a><!-- one - two -- three --></a>#123 \"q\\\"uote\\\\\" <c/>",
        "<a>\n\n\n</x>late text", "<a>caf\xC3\xA9 \xF0\x9F\x98\x80 end</a>", "<a>bad \xFF byte</a>"};
    for (std::uint32_t seed = 1; seed <= 60; ++seed)
        documents.push_back(RandomDocument(seed));
    for (const std::string& document : documents)
        for (const UnicodeString& lineEnd : {UnicodeString(u"\n"), UnicodeString(u"\r\n"), UnicodeString()})
            ASSERT_EQ(ParseAs<TORVIStreamedNodeDefinition>(document, lineEnd), ParseAs<TStepDef>(document, lineEnd))
                << document;
}

TEST(StreamParserRuns, ABufferRunGoesPastAStopOnlyWhereNothingCouldTakeTheBuffer) {
    // Units that another expression requires or that stop a run ('-', '"', '#', '>', non-ASCII) inside
    // tags and closes, openings that are dead after two units or only after more, and ones that
    // become possible only at the unit that stopped the run.
    const std::vector<std::string> documents = {
        "<a-b x='caf\xC3\xA9-\"#'>t</a-b ><a x=\"--\">u</a>",
        "<!-x><a>\xC3\xA9-</a><!->-<!-- - --><!--x-->",
        "<a><a-\xC3\xA9/></a>\n  <b-c/> <b x='1'-->#12<!--->",
        "<a>x<!-<!--y--></a>< a><a\xC3\xA9>\"s-\"",
        "<a>\r\n<a\r\n-b>\xF0\x9F\x98\x80-</a\n></a>",
        // A close that starts inside a tag's run, after a stop or not.
        "<a><b x='1'</a>t<b-c</a><b \xC3\xA9 </a >-</a>"};
    for (const std::string& document : documents)
        for (const UnicodeString& lineEnd : {UnicodeString(u"\n"), UnicodeString(u"\r\n")})
            ASSERT_EQ(ParseAs<TORVIStreamedNodeDefinition>(document, lineEnd), ParseAs<TStepDef>(document, lineEnd))
                << document;
}

TEST(StreamParserRuns, AUnitThatEndsABufferRunIsPutToWhatItMayRevive) {
    // Openings and a node's content ruled out for want of different units: the unit one of them
    // waits for ends the run while the others stay ruled out, and the buffer opens (or becomes
    // content) at the first unit that completes one, at the root and in a node, after units past
    // ASCII too. The brace's content takes a text only before the unit that completes a bang.
    const std::vector<std::string> documents = {"[ab!cd]",
                                                "[ab]cd!",
                                                "[a-b\xC3\xA9!x]",
                                                "<a>x</a>[y!<!--[-->]",
                                                "[[!]",
                                                "(([ab!]))",
                                                "(([a]b!))",
                                                "((x[a-b>c]))",
                                                "{{[ab;!}}",
                                                "{{[a\xC3\xA9;!]}}",
                                                "[a\xC3\xA9\xC2\xA7!]",
                                                "||[ab\xC2\xB6!||"};
    ExpectRunsAsSteps(documents, [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"bracket", u"\\[[^\\]!]*\\]", u"", u"", false);
        grammar.Add<T>(u"bang", u"\\[[^!\\]]*!", u"", u"", false);
        grammar.Add<T>(u"pair", u"\\(\\(", u"\\)\\)", u"^[^\\[)]", true);
        grammar.Add<T>(u"brace", u"\\{\\{", u"\\}\\}", u"^\\[[a-z]*;(?!!)", true);
        // Units past ASCII that complete an opening or a node's content.
        grammar.Add<T>(u"section", u"\\[[^\\]]*\u00A7", u"", u"", false);
        grammar.Add<T>(u"bar", u"\\|\\|", u"\\|\\|", u"^\\[[a-z]*\u00B6(?!!)", true);
    });
}

TEST(StreamParserRuns, ACloseThatStartsInTheContentIsFoundFromItsFirstPossibleStart) {
    // Closes whose start lies in the content already taken, at its dead offset or later, with
    // partial starts that fail before the real one and line ends inside the close. The reference
    // compiles its own close expression, which is searched in the whole text.
    ExpectBareParsesAgree({"[xaab\nbc]", "[aaaxabbbbc <a>t</a>", "[a\r\nab a zc zz", "[abab abac ", "[z az zaz zzz]"},
                          [](TRunGrammar& grammar, auto* kind) {
                              using T = std::remove_pointer_t<decltype(kind)>;
                              grammar.Add<T>(u"span", u"\\[", u"a[ab\\n]*c|zz", u"^[^\\]]", false);
                          });
    // A close that starts with a unit past ASCII, which content otherwise takes alone.
    ExpectBareParsesAgree({"[x\xC3\xA9;", "[\xC3\xA9\xC3\xA9;x", "[\xC3\xA9x\xC3\xA9;\xC3\xA9"},
                          [](TRunGrammar& grammar, auto* kind) {
                              using T = std::remove_pointer_t<decltype(kind)>;
                              grammar.Add<T>(u"accent", u"\\[", u"\u00E9;", u"^.", false);
                          });
}

TEST(StreamParserRuns, WhatIsKnownOfAnExpressionAnswersAsTheExpressionWould) {
    // Closes of two alternatives and of a repeated unit, opens longer than one unit or of one unit
    // alone, text of one unit at a time.
    std::vector<std::string> documents = {"((a) b ; c) ;; ((x)) ! a!b!!c!!! ABCDE <a>((#12 ;;</a>", "(((( ;;;))",
                                          "%ay xy<a>q</a>", "%a z az<a>q</a>"};
    for (std::uint32_t seed = 1; seed <= 40; ++seed)
        documents.push_back(RandomDocument(seed) + "((" + RandomDocument(seed + 100) + ";;!x!!!AB");
    ExpectBareParsesAgree(documents, [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"pair", u"\\(\\(", u"\\)\\)|;;", u"^[^;)]|^.", true);
        grammar.Add<T>(u"bang", u"!", u"!!!", u"^.", false);
        grammar.Add<T>(u"word", u"[A-Z]{3}", u"", u"^[A-Z]", false);
        grammar.Add<T>(u"behind", u"%", u"(?<=x)y|\\Bz", u"^.", false); // looks before its start
    });
}

TEST(StreamParserRuns, DefinitionsChangedDuringAParseTakeEffectAtOnce) {
    const std::string document = "<a>x\"s\\\"\" <!-- c --> --!> y</a><a>z</a>";
    const auto parse = [&](auto* kind) {
        TRunGrammar grammar(kind, u"\n");
        grammar.fnOnOpen = [&] {
            grammar.defs[1]->SetCloseMatch(u"--!>");
            grammar.defs[2]->SetEscapes(u"");
            grammar.defs[0]->SetAllowedContentMatch(u"^[^<z]+");
            grammar.defs[1]->SetCaseInsensitiveClose(true);
        };
        return grammar.Parse(document);
    };
    const Strings plain = parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr));
    EXPECT_EQ(plain, parse(static_cast<TStepDef*>(nullptr)));
    EXPECT_NE(std::find(plain.begin(), plain.end(), "1:25 -comment  c --> |--!>"), plain.end());
    EXPECT_NE(std::find(plain.begin(), plain.end(), "1:39 -tag z|</a>"), plain.end());
}

namespace {

// An escape handler that narrows the content its definition takes.
struct TNarrowingEscape {
    TORVIStreamedNodeDefinition* pDefinition = nullptr;
    char16_t Handle(TORVIStreamedNodeDefinition*, char16_t cEscaped) {
        pDefinition->SetAllowedContentMatch(u"^[^q]");
        return cEscaped;
    }
};

// An escape handler that turns escapes into units past ASCII, one of which the content refuses.
struct TWideEscape {
    char16_t Handle(TORVIStreamedNodeDefinition*, char16_t cEscaped) {
        return cEscaped == u'e' ? u'\u00E9' : cEscaped == u'u' ? u'\uFFFF' : cEscaped;
    }
};

} // namespace

TEST(StreamParserRuns, AnEscapeHandlerThatChangesTheContentIsHeededForTheEscapedCharacter) {
    const auto parse = [](auto* kind) {
        TRunGrammar grammar(kind, u"\n");
        TNarrowingEscape narrowing{grammar.defs[2]};
        grammar.defs[2]->SetOnHandleEscape(TORVIStreamParserEscapeEvent(&narrowing, &TNarrowingEscape::Handle));
        return grammar.Parse("\"a\\qb\" <a>\"x\\nq\"</a>");
    };
    EXPECT_EQ(parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr)), parse(static_cast<TStepDef*>(nullptr)));
}

TEST(StreamParserRuns, EscapesThatStandForUnitsPastAsciiAreTakenOrRefusedEachByItsOwnAnswer) {
    // The answer kept for one unit past ASCII is no answer for another, nor for the next expression.
    const auto parse = [](auto* kind) {
        TRunGrammar grammar(kind, u"\n");
        TWideEscape wide;
        grammar.defs[2]->SetOnHandleEscape(TORVIStreamParserEscapeEvent(&wide, &TWideEscape::Handle));
        grammar.defs[2]->SetAllowedContentMatch(u"^[^\uFFFF]");
        grammar.Parse("\"a\\eb\\ec\\ud\" <a>\"\\e\\u\"</a>");
        grammar.defs[2]->SetAllowedContentMatch(u"^[^\u00E9]");
        return grammar.Parse("<a>\"\\u\\u\\e\\u\"</a>"); // the events of both
    };
    const Strings plain = parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr));
    EXPECT_EQ(plain, parse(static_cast<TStepDef*>(nullptr)));
    // Both units past ASCII taken before the refused one closes the string.
    const std::string taken = "-string a\xC3\xA9" "b\xC3\xA9" "c|";
    EXPECT_TRUE(std::any_of(plain.begin(), plain.end(),
                            [&](const std::string& line) { return line.find(taken) != std::string::npos; }));
}

TEST(StreamParserRuns, NestingChangedDuringAParseTakesEffectAtOnce) {
    // What may open where is kept between steps: a handler that changes it is heeded at once.
    using TChange = std::function<void(TRunGrammar&)>;
    const std::vector<std::pair<std::string, TChange>> cases = {
        {"#1 <a>x</a> #2 <a>y</a>", [](TRunGrammar& g) { g.defs[3]->SetCanBeRootNode(false); }},
        {"<a>x <b>y</b> z <b>w</b></a>", [](TRunGrammar& g) { g.defs[0]->SetAllowsContainedNodes(false); }},
        {"<a>x <b>y</b> \"s\" <b>w</b></a>",
         [](TRunGrammar& g) { g.defs[0]->DisallowNodeClass(&g.defs[2]->DefinitionClass()); }},
        {"<a>\"s\" <b>y</b> \"t\"</a>", [](TRunGrammar& g) { g.pParser->RemoveNodeDefinition(g.defs[2]); }}};
    for (const auto& [document, change] : cases) {
        const auto parse = [&](auto* kind) {
            TRunGrammar grammar(kind, u"\n");
            int opened = 0;
            grammar.fnOnOpen = [&] {
                if (++opened == 2)
                    change(grammar);
            };
            return grammar.Parse(document);
        };
        EXPECT_EQ(parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr)), parse(static_cast<TStepDef*>(nullptr)))
            << document;
    }
}

TEST(StreamParserRuns, AOneUnitCloseAfterTheNodeStoppedTakingTextRefusesItsText) {
    // A child's handler stops the parent taking text after it took some: the parent's close, one
    // unit alone, still finds that text unexpected.
    const auto parse = [](auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        TRunGrammar grammar(kind, u"\n");
        TORVIStreamedNodeDefinition* paren = grammar.Add<T>(u"paren", u"\\(", u"\\)", u"^[a-z]+", true);
        grammar.fnOnOpen = [&grammar, paren] {
            if (grammar.log.back().find("+number") != std::string::npos)
                paren->SetAllowsContainedText(false);
        };
        return grammar.Parse("(ab#1) (#2)");
    };
    const Strings plain = parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr));
    EXPECT_EQ(plain, parse(static_cast<TStepDef*>(nullptr)));
    EXPECT_NE(std::find(plain.begin(), plain.end(),
                        "false Stream Error Unexpected text found in paren node near line 1 character 5 "
                        "(Next characters:  (#2))"),
              plain.end())
        << testing::PrintToString(plain);
}

TEST(StreamParserRuns, PatternsThatTellNothingAndLateRequiredUnitsKeepTheirMeaning) {
    const std::string document = "{" + std::string(3000, 'a') + "}<a>text\nEnD more end</a>";
    const auto parse = [&](auto* kind) {
        TRunGrammar grammar(kind, u"\n");
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"brace", u"\\{[^}]*\\}", u"", u"", false);
        grammar.defs[0]->SetCloseMatch(u"(?i)end");     // its required unit has another case
        grammar.defs[0]->SetAllowedContentMatch(u"(?:.|)"); // may match nothing: no start units
        return grammar.Parse(document);
    };
    const Strings plain = parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr));
    EXPECT_EQ(plain, parse(static_cast<TStepDef*>(nullptr)));
    ASSERT_GE(plain.size(), 4u);
    EXPECT_EQ(plain[0].substr(0, 15), "1:3002 +brace {");
    EXPECT_EQ(plain[3], "2:3 -tag text\n|EnD");
}

TEST(StreamParserRuns, MoreNestingContextsThanKeptCandidateSetsParseAsSteps) {
    // Twenty definitions nested in one another at random, each with its own escape and closing on its
    // own letter, so that what may start a run differs by context: more contexts than the parser keeps
    // worked-out candidates for, several of them sharing the slot their addresses point to.
    std::vector<std::string> documents;
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        std::string document;
        std::string open;
        for (std::uint32_t state = seed, i = 0; i < 600; ++i) {
            state = state * 1103515245u + 12345u;
            const unsigned pick = state >> 16;
            const char letter = static_cast<char>('a' + pick / 3 % 20);
            if (pick % 3 == 0 && !open.empty()) {
                document += open.back() + std::string("}");
                open.pop_back();
            } else if (pick % 3 == 1 || open.empty()) { // text only inside a node: at the root it stays
                document += std::string("{") + letter;
                open += letter;
            } else {
                document += std::string("x ") + static_cast<char>(letter - 'a' + 'A') + letter;
            }
        }
        for (; !open.empty(); open.pop_back())
            document += open.back() + std::string("}");
        documents.push_back(document);
    }
    ExpectRunsAsSteps(documents, [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        for (char16_t letter = u'a'; letter < u'a' + 20; ++letter) {
            const UnicodeString name(1, letter);
            grammar.Add<T>(name.c_str(), (u"\\{" + name).c_str(), (name + u"\\}").c_str(), u"^[^{}]", true)
                ->SetEscapes(UnicodeString(1, static_cast<char16_t>(letter - u'a' + u'A')));
        }
    });
}

TEST(StreamParserRuns, InputSplitAcrossStreamReadsReadsTheSame) {
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("<a>wide\r\n\"s\"</a>"))
        utf16 += std::string{c, '\0'};
    for (const std::string& document : {RandomDocument(7), RandomDocument(8), utf16}) {
        TRunGrammar whole(static_cast<TORVIStreamedNodeDefinition*>(nullptr), u"\n");
        TRunGrammar split(static_cast<TORVIStreamedNodeDefinition*>(nullptr), u"\n");
        EXPECT_EQ(whole.Parse(document), split.Parse(document, true));
    }
}

TEST(StreamParserRuns, AHandlerThatReadsPastACharacterOfTwoUnitsLeavesTheRestReadAsBefore) {
    // Runs stop before a character of two units; an open handler reads on past it (and past two
    // in a row) while such a run is being taken.
    const std::string wide = "\xF0\x9F\x98\x80";
    const auto parse = [&wide](auto* kind) {
        TRunGrammar grammar(kind, u"\n");
        grammar.fnOnOpen = [&grammar] { grammar.pParser->SlurpCharacters(2); };
        return grammar.Parse("<a>x<c/>" + wide + "y <c/>z" + wide + wide + "#12" + wide + "3 \"s" + wide + "\"</a>");
    };
    EXPECT_EQ(parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr)), parse(static_cast<TStepDef*>(nullptr)));
}

TEST_F(StreamParser, TheStreamIsLeftWhereReadingStopped) {
    Define(u"word", u"[a-z]+");
    auto* stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes{'a', 'b', '\n', 'c'});
    EXPECT_TRUE(pParser->ParseStream(stream));
    EXPECT_EQ(stream->Position(), 4);
    // After bad bytes the message reads twelve more characters, and no further.
    rtl::Free(stream);
    const std::string bad = "ab\xFF" + std::string(20, 'x');
    stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes(bad.begin(), bad.end()));
    EXPECT_FALSE(pParser->ParseStream(stream));
    EXPECT_EQ(stream->Position(), 3 + 12);
    rtl::Free(stream);
}

TEST(StreamParserRuns, ALongBufferIsSearchedOnWhereItGrew) {
    // Opens that stay partial over a long buffer and then complete, fail, or can never be searched
    // in pieces (the atomic group takes "x" where a search in pieces would take "xy"); the reference
    // reads the whole buffer at every step.
    const std::string tags = [] {
        std::string s;
        for (int i = 0; i < 40; ++i)
            s += "<a>";
        return s;
    }();
    ExpectBareParsesAgree({"<?v" + tags + "?>#1<?" + tags + "!?><a>t</a>", "<?v" + tags + "@?>#2 <?x?>",
                           "<xy" + std::string(80, 'q') + "!#3<xy" + std::string(70, 'y') + "!",
                           "<?" + std::string(70, 'a') + "\xF0\x9F\x98\x80?>#4"},
                          [](TRunGrammar& grammar, auto* kind) {
                              using T = std::remove_pointer_t<decltype(kind)>;
                              grammar.Add<T>(u"decl", u"\\s*<\\?[^@]*?\\?>", u"", u"", false);
                              grammar.Add<T>(u"atomic", u"<(?>x|xy)y.*?!", u"", u"", false);
                          });
    // Closes searched for in a long buffer that nothing takes: their required unit comes as the
    // newest unit (and a close needs a unit after it), a close is cut from the buffer and the rest is
    // searched again from its start.
    std::string inner = "<a><a><[" + std::string(300, '[') + ">" + tags + "</a  x></";
    ExpectBareParsesAgree({inner + "a>", inner + "a >" + std::string(90, ']') + "</a><a>t</a>",
                           "<a><a><[>" + std::string(100, 'z') + "</a><[y</a" + std::string(100, ' ') + ">",
                           "{x" + std::string(80, 'y') + ";abc; {7 {x" + std::string(70, 'z') + ";;q"},
                          [](TRunGrammar& grammar, auto* kind) {
                              using T = std::remove_pointer_t<decltype(kind)>;
                              grammar.Add<T>(u"semi", u"\\{", u";[a-z]", u"^[0-9]+", true);
                          });
}

TEST(StreamParserRuns, TheUnitThatEndsARunBegunOnOneUnitIsPutToWhatItMayRevive) {
    // A run begun on 'a', too short for the word and ruled out for want of 'z' for the other
    // opening (and, in the pair, for want of its close): the unit that ends it, and the units after
    // it while the word only partly matches, revive only those; one revived stays asked.
    const std::vector<std::string> documents = {"aaz5", "aaaz5", "aaaz", "aaax", "aaaaay", "aaaaz5", "aaaaaz5",
                                                "((aa)", "((aa)x", "((aaaa)", "((aaaa)x", "((aaz5 aaax)",
                                                "((a\nz5)", "((aa\xC3\xA9z5)", "((aaaa\xC3\xA9z5)", "aab aaz5"};
    ExpectRunsAsSteps(documents, [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"word", u"aaax|aaaaay", u"", u"", false);
        grammar.Add<T>(u"zed", u"a+z[0-9]", u"", u"", false);
        grammar.Add<T>(u"pair", u"\\(\\(", u"\\)", u"^[ ,]+", true);
    });
}

TEST(StreamParserRuns, AUnitThatMoreThanOneOpeningTakesOpensTheFirstInTheList) {
    ExpectRunsAsSteps({"xyx", "<a>yx</a>x", "  x\ny"}, [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"ex", u"x", u"", u"", false);
        grammar.Add<T>(u"either", u"x|y", u"", u"", false);
    });
}

TEST(StreamParserRuns, ShortOpeningsMetAgainAreAnsweredForTheExpressionOfTheMoment) {
    // Words opened again and again, partly written ones and the '-' that a number may follow: what
    // an open expression answered for a short buffer is not answered for another expression, nor
    // for the same expression once it was set anew during the parse.
    const std::string document = "yes no yes -1 noyes -3 yes! nob yes! <a>-2</a> -4 yes!";
    const auto parse = [&](auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        TRunGrammar grammar(kind, u"\n");
        T* word = grammar.Add<T>(u"word", u"\\s*(?:yes|no)", u"", u"", false);
        grammar.Add<T>(u"minus", u"\\s*-[0-9]", u"", u"", false);
        int nOpened = 0;
        grammar.fnOnOpen = [&] {
            if (++nOpened == 6)
                word->SetOpenMatch(u"\\s*(?:yes!|nob)");
        };
        return grammar.Parse(document);
    };
    const Strings plain = parse(static_cast<TORVIStreamedNodeDefinition*>(nullptr));
    EXPECT_EQ(plain, parse(static_cast<TBareDef*>(nullptr)));
    EXPECT_EQ(plain, parse(static_cast<TStepDef*>(nullptr)));
    EXPECT_NE(std::find(plain.begin(), plain.end(), "1:27 +word  yes!"), plain.end());
    // A unit that opens nothing alone but may with the next one ('-' of a signed number).
    const std::vector<std::string> documents = {"( -1, -2,-3)", "(- 5)", "(--1)", "(7-)",
                                                "( -\n3)",      "(-x)",  "(-",    "(a-1)"};
    const auto add = [](TRunGrammar& grammar, auto* kind) {
        using T = std::remove_pointer_t<decltype(kind)>;
        grammar.Add<T>(u"list", u"\\(", u"\\)", u"^[ ,]+", true);
        grammar.Add<T>(u"signed", u"\\s*-?[0-9]", u"", u"", false);
    };
    ExpectRunsAsSteps(documents, add);
    ExpectBareParsesAgree(documents, add);
}
