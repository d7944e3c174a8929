#pragma once
// TORVIStringParser: turns a text into a tree of typed nodes - text runs, whitespace runs, single
// separators, quoted texts and bracketed groups holding further nodes - driven by character sets the
// caller declares. The node classes and the parser's steps are virtual so that other parsers and user
// code can derive from them.
#include "utils/UtilsApi.h"

#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <vector>

namespace orvi {

class TORVIStringParser;
class TORVIContentsNode;
class TORVIParsedNodeList;

// --- Nodes ---------------------------------------------------------------------------------------------------
/// One node of a parsed text; owned by the list it is in.
class UTILS_API TORVIParsedNode : public rtl::TObject {
public:
    TORVIParsedNode() = default;
    bool Closed() const { return _GetClosed(); }
    /// The contents node whose list holds this node; null at the top level.
    TORVIContentsNode* Parent() const { return _GetParent(); }
    /// Offered the next character of the text: true when the node takes it. A node that can take no
    /// more closes itself.
    virtual bool TryAddChar(char16_t c, TORVIStringParser* pParser) = 0;

protected:
    friend class TORVIStringParser;
    friend class TORVIContentsNode;
    virtual void _Close();
    virtual bool _GetClosed() const;
    virtual TORVIContentsNode* _GetParent() const;

private:
    bool _blClosed = false;
    TORVIContentsNode* _pParent = nullptr;
};

/// The class-reference type of the nodes: creates a node for its first character.
using TORVIParsedNodeClass = rtl::TClassRef<TORVIParsedNode, char16_t>;

/// A run of text; takes every character that the parser has not declared as separator, whitespace,
/// quote or bracket.
class UTILS_API TORVITextNode : public TORVIParsedNode {
public:
    explicit TORVITextNode(char16_t c) : _szRawText(1, c) {}
    rtl::UnicodeString TextContent() const { return _GetTextContent(); }
    /// Appends a character that followed an escape character.
    virtual void AddEscapedChar(char16_t c);
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

protected:
    TORVITextNode() = default;
    virtual rtl::UnicodeString _GetTextContent() const;
    rtl::UnicodeString _szRawText;
};

/// One separator character; closed from the start.
class UTILS_API TORVISeparatorNode : public TORVITextNode {
public:
    explicit TORVISeparatorNode(char16_t c);
    char16_t Separator() const { return _GetSeparator(); }
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

protected:
    virtual char16_t _GetSeparator() const;
};

/// The text between an open quote and its paired close quote.
class UTILS_API TORVIQuotedNode : public TORVITextNode {
public:
    explicit TORVIQuotedNode(char16_t cOpenQuote) : _cOpenQuote(cOpenQuote) {}
    char16_t OpenQuote() const noexcept { return _cOpenQuote; }
    /// The close quote once it has come; #0 before.
    char16_t CloseQuote() const noexcept { return _cCloseQuote; }
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

private:
    char16_t _cOpenQuote;
    char16_t _cCloseQuote = 0;
};

/// What happened to a node in a contents list.
enum class TORVINodeListAction { naAdded, naExtracted, naRemoved };

/// A list of nodes that owns them. A contents node's list makes it the Parent of each node added and
/// clears Parent when a node is extracted or removed.
class UTILS_API TORVIParsedNodeList {
public:
    explicit TORVIParsedNodeList(TORVIContentsNode* pOwner = nullptr) : _pOwner(pOwner) {}
    ~TORVIParsedNodeList();
    TORVIParsedNodeList(const TORVIParsedNodeList&) = delete;
    TORVIParsedNodeList& operator=(const TORVIParsedNodeList&) = delete;

    int Count() const noexcept { return static_cast<int>(_items.size()); }
    /// The node at nIndex; raises EArgumentOutOfRangeException outside 0..Count-1.
    TORVIParsedNode* Items(int nIndex) const;
    TORVIParsedNode* operator[](int nIndex) const { return Items(nIndex); }
    int IndexOf(const TORVIParsedNode* pNode) const;
    /// Appends and takes ownership; returns the index. Null is ignored (-1).
    int Add(TORVIParsedNode* pNode);
    /// Takes the node out without freeing it; null when it is not in the list.
    TORVIParsedNode* Extract(TORVIParsedNode* pNode);
    /// Takes the node out and frees it.
    void Remove(TORVIParsedNode* pNode);
    void Delete(int nIndex);
    /// Removes and frees every node.
    void Clear();

private:
    friend class TORVIContentsNode;
    void Notify(TORVIParsedNode* pNode, TORVINodeListAction action);
    int IndexFromEnd(const TORVIParsedNode* pNode) const;
    /// Frees the nodes and everything under them without recursion, so that any depth is safe.
    static void FreeTrees(std::vector<TORVIParsedNode*> nodes);

    TORVIContentsNode* _pOwner;
    std::vector<TORVIParsedNode*> _items;
};

/// A node that holds further nodes.
class UTILS_API TORVIContentsNode : public TORVIParsedNode {
public:
    TORVIContentsNode() : _pContents(this) {}
    TORVIParsedNodeList* ContentNodes() { return _GetContentNodes(); }
    /// Plain contents nodes take no characters.
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

protected:
    friend class TORVIParsedNodeList;
    virtual TORVIParsedNodeList* _GetContentNodes();
    /// Called for each node added to, extracted from or removed from the list: sets or clears its Parent.
    virtual void _ContentsNodesChanged(TORVIParsedNode* pNode, TORVINodeListAction action);

private:
    TORVIParsedNodeList _pContents;
};

/// The nodes between an open bracket and its paired close bracket.
class UTILS_API TORVIBracketedNode : public TORVIContentsNode {
public:
    explicit TORVIBracketedNode(char16_t cOpenBracket) : _cOpenBracket(cOpenBracket) {}
    char16_t OpenBracket() const noexcept { return _cOpenBracket; }
    /// The close bracket once it has come; #0 before.
    char16_t CloseBracket() const noexcept { return _cCloseBracket; }
    /// Takes only its paired close bracket (and closes); refuses the rest without closing, so that they
    /// become its children.
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

private:
    char16_t _cOpenBracket;
    char16_t _cCloseBracket = 0;
};

/// Nodes between a start and an end text; for parsers built on this one (this parser never makes one).
class UTILS_API TORVIBlockNode : public TORVIContentsNode {
public:
    TORVIBlockNode(rtl::UnicodeString szStartBlock, rtl::UnicodeString szEndBlock)
        : _szStartBlock(std::move(szStartBlock)), _szEndBlock(std::move(szEndBlock)) {}

protected:
    rtl::UnicodeString _szStartBlock;
    rtl::UnicodeString _szEndBlock;
};

/// A run of whitespace.
class UTILS_API TORVIWhiteSpaceNode : public TORVIParsedNode {
public:
    explicit TORVIWhiteSpaceNode(char16_t c) : _szWhitespace(1, c) {}
    rtl::UnicodeString Whitespace() const { return _GetWhitespace(); }
    bool TryAddChar(char16_t c, TORVIStringParser* pParser) override;

protected:
    virtual rtl::UnicodeString _GetWhitespace() const;
    rtl::UnicodeString _szWhitespace;
};

// --- Parser --------------------------------------------------------------------------------------------------
enum class TORVIStringParserOption : std::uint8_t { spoIgnoreWS = 0 };

struct TORVIStringParserOptions {
    std::uint8_t Bits = 0;
    bool Contains(TORVIStringParserOption o) const noexcept { return Bits >> static_cast<int>(o) & 1; }
    void Set(TORVIStringParserOption o, bool on) noexcept {
        const auto bit = static_cast<std::uint8_t>(1u << static_cast<int>(o));
        Bits = on ? Bits | bit : Bits & static_cast<std::uint8_t>(~bit);
    }
};

/// Replaces an escaped character: (sender, the character after the escape) -> the character to use.
using TORVIStringParserEscapeEvent = rtl::TMethod<char16_t(rtl::TObject*, char16_t)>;

class UTILS_API TORVIStringParser : public rtl::TObject {
public:
    /// Whitespace space, TAB, LF and CR; no other characters declared; whitespace kept.
    TORVIStringParser();

    /// Appends the nodes of szInput to pOut; false only when pOut is null (nothing changes then).
    virtual bool Parse(const rtl::UnicodeString& szInput, TORVIParsedNodeList* pOut);
    /// Adds a quote pair unless either character is declared already.
    virtual void AddQuotePair(char16_t cOpen, char16_t cClose);
    /// Adds a bracket pair unless either character is declared already.
    virtual void AddBracketPair(char16_t cOpen, char16_t cClose);
    /// Removes the pair when cOpen is an open quote whose paired close quote is cClose.
    virtual void RemoveQuotePair(char16_t cOpen, char16_t cClose);
    virtual void RemoveBracketPair(char16_t cOpen, char16_t cClose);
    /// During Parse: true and the character nOffset places from the next one to read, when inside the text.
    virtual bool LookAhead(int nOffset, char16_t& cCharacter) const;
    /// During Parse: the next nCount characters, consumed; empty (nothing consumed) when fewer remain.
    virtual rtl::UnicodeString SlurpCharacters(int nCount);

    rtl::UnicodeString Escapes() const { return _GetEscapes(); }
    void SetEscapes(const rtl::UnicodeString& value) { _SetEscapes(value); }
    rtl::UnicodeString Separators() const { return _GetSeparators(); }
    void SetSeparators(const rtl::UnicodeString& value) { _SetSeparators(value); }
    rtl::UnicodeString Whitespace() const { return _GetWhitespace(); }
    void SetWhitespace(const rtl::UnicodeString& value) { _SetWhitespace(value); }
    bool IgnoreWhitespace() const { return _GetIgnoreWhitespace(); }
    void SetIgnoreWhitespace(bool value) { _SetIgnoreWhitespace(value); }
    TORVIStringParserEscapeEvent OnEscapeChar;

    // Character classes, for the nodes.
    /// In any of the separator, escape, whitespace, quote or bracket sets.
    virtual bool _IsDeclaredCharacter(char16_t c) const;
    virtual bool _IsEscape(char16_t c) const;
    virtual bool _IsSeparator(char16_t c) const;
    virtual bool _IsWhitespace(char16_t c) const;
    /// Index of c in the open or close quote or bracket set; -1 when absent.
    int IndexOfOpenQuote(char16_t c) const { return Has(kOpenQuote, _acOpenQuotes, c) ? IndexIn(_acOpenQuotes, c) : -1; }
    int IndexOfCloseQuote(char16_t c) const { return Has(kCloseQuote, _acCloseQuotes, c) ? IndexIn(_acCloseQuotes, c) : -1; }
    int IndexOfOpenBracket(char16_t c) const { return Has(kOpenBracket, _acOpenBrackets, c) ? IndexIn(_acOpenBrackets, c) : -1; }
    int IndexOfCloseBracket(char16_t c) const { return Has(kCloseBracket, _acCloseBrackets, c) ? IndexIn(_acCloseBrackets, c) : -1; }

protected:
    virtual TORVIParsedNode* _CreateBracketedNode(char16_t c);
    /// The node that c starts: separator, quoted, bracketed, whitespace or text; null for a close
    /// quote or bracket, which is dropped.
    virtual TORVIParsedNode* _CreateNewNode(char16_t c);
    virtual TORVIParsedNode* _CreateQuotedNode(char16_t c);
    virtual TORVIParsedNode* _CreateSeparatorNode(char16_t c);
    virtual TORVIParsedNode* _CreateTextNode(char16_t c);
    virtual TORVIParsedNode* _CreateWhitespaceNode(char16_t c);
    virtual rtl::UnicodeString _GetEscapes() const;
    virtual bool _GetIgnoreWhitespace() const;
    virtual rtl::UnicodeString _GetSeparators() const;
    virtual rtl::UnicodeString _GetWhitespace() const;
    virtual void _SetEscapes(const rtl::UnicodeString& value);
    virtual void _SetIgnoreWhitespace(bool value);
    virtual void _SetSeparators(const rtl::UnicodeString& value);
    virtual void _SetWhitespace(const rtl::UnicodeString& value);

    int _nParsePoint = 0;
    rtl::UnicodeString _szParsingText;

private:
    // Set bits of a character, cached for the first 256 codes.
    enum : std::uint8_t {
        kSeparator = 1, kEscape = 2, kWhitespace = 4, kOpenQuote = 8, kCloseQuote = 16, kOpenBracket = 32,
        kCloseBracket = 64
    };
    bool Has(std::uint8_t bit, const std::vector<char16_t>& set, char16_t c) const {
        return c < 256 ? (_lowSets[c] & bit) != 0 : In(set, c);
    }
    /// Refreshes the cache after a set changed.
    void Reclassify();
    static int IndexIn(const std::vector<char16_t>& set, char16_t c);
    static bool In(const std::vector<char16_t>& set, char16_t c) { return IndexIn(set, c) >= 0; }
    static void AddPair(std::vector<char16_t>& opens, std::vector<char16_t>& closes, char16_t cOpen, char16_t cClose);
    static void RemovePair(std::vector<char16_t>& opens, std::vector<char16_t>& closes, char16_t cOpen,
                           char16_t cClose);
    void PopClosed(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut, bool blDropWhitespace);
    void AddNode(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut, TORVIParsedNode* pNode);
    void ParseEscape(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut);
    void ParseCharacter(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut, char16_t c);

    TORVIStringParserOptions _ParserOptions;
    std::vector<char16_t> _acSeparators;
    std::vector<char16_t> _acOpenQuotes;
    std::vector<char16_t> _acCloseQuotes;
    std::vector<char16_t> _acOpenBrackets;
    std::vector<char16_t> _acCloseBrackets;
    std::vector<char16_t> _acWhiteSpace;
    std::vector<char16_t> _acEscapes;
    std::uint8_t _lowSets[256] = {};
};

} // namespace orvi
