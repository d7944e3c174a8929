#include "utils/text/ORVI.StringParser.h"

#include "rtl/Exceptions.h"

#include <algorithm>

namespace orvi {

using rtl::UnicodeString;

// --- TORVIParsedNode -----------------------------------------------------------------------------------------
void TORVIParsedNode::_Close() {
    _blClosed = true;
}

bool TORVIParsedNode::_GetClosed() const {
    return _blClosed;
}

TORVIContentsNode* TORVIParsedNode::_GetParent() const {
    return _pParent;
}

// --- Text, separator and quoted nodes ------------------------------------------------------------------------
void TORVITextNode::AddEscapedChar(char16_t c) {
    _szRawText.push_back(c);
}

UnicodeString TORVITextNode::_GetTextContent() const {
    return _szRawText;
}

bool TORVITextNode::TryAddChar(char16_t c, TORVIStringParser* pParser) {
    const bool blDeclared = pParser->_IsSeparator(c) || pParser->_IsWhitespace(c) ||
                            pParser->IndexOfOpenBracket(c) >= 0 || pParser->IndexOfCloseBracket(c) >= 0 ||
                            pParser->IndexOfOpenQuote(c) >= 0 || pParser->IndexOfCloseQuote(c) >= 0;
    if (blDeclared) {
        _Close();
        return false;
    }
    _szRawText.push_back(c);
    return true;
}

TORVISeparatorNode::TORVISeparatorNode(char16_t c) : TORVITextNode(c) {
    _Close();
}

char16_t TORVISeparatorNode::_GetSeparator() const {
    return _szRawText.empty() ? u'\0' : _szRawText[0];
}

bool TORVISeparatorNode::TryAddChar(char16_t, TORVIStringParser*) {
    return false;
}

bool TORVIQuotedNode::TryAddChar(char16_t c, TORVIStringParser* pParser) {
    const int nOpen = pParser->IndexOfOpenQuote(_cOpenQuote);
    if (nOpen >= 0 && pParser->IndexOfCloseQuote(c) == nOpen) {
        _cCloseQuote = c;
        _Close();
    } else {
        _szRawText.push_back(c);
    }
    return true;
}

// --- Node lists ----------------------------------------------------------------------------------------------
TORVIParsedNodeList::~TORVIParsedNodeList() {
    FreeTrees(std::move(_items));
}

void TORVIParsedNodeList::FreeTrees(std::vector<TORVIParsedNode*> nodes) {
    while (!nodes.empty()) {
        TORVIParsedNode* node = nodes.back();
        nodes.pop_back();
        // Children are taken over before the node goes, so no destructor recurses down the tree.
        if (auto* contents = dynamic_cast<TORVIContentsNode*>(node)) {
            std::vector<TORVIParsedNode*>& children = contents->_pContents._items;
            nodes.insert(nodes.end(), children.begin(), children.end());
            children.clear();
        }
        delete node;
    }
}

TORVIParsedNode* TORVIParsedNodeList::Items(int nIndex) const {
    if (nIndex < 0 || nIndex >= Count())
        throw rtl::EArgumentOutOfRangeException(u"Index out of bounds (" + rtl::IntToStr(nIndex) + u")");
    return _items[static_cast<std::size_t>(nIndex)];
}

int TORVIParsedNodeList::IndexOf(const TORVIParsedNode* pNode) const {
    const auto found = std::find(_items.begin(), _items.end(), pNode);
    return found == _items.end() ? -1 : static_cast<int>(found - _items.begin());
}

void TORVIParsedNodeList::Notify(TORVIParsedNode* pNode, TORVINodeListAction action) {
    if (_pOwner)
        _pOwner->_ContentsNodesChanged(pNode, action);
}

int TORVIParsedNodeList::Add(TORVIParsedNode* pNode) {
    if (!pNode)
        return -1;
    _items.push_back(pNode);
    Notify(pNode, TORVINodeListAction::naAdded);
    return Count() - 1;
}

int TORVIParsedNodeList::IndexFromEnd(const TORVIParsedNode* pNode) const {
    // The parser removes the node it added last: looking from the end keeps that constant-time.
    const auto found = std::find(_items.rbegin(), _items.rend(), pNode);
    return found == _items.rend() ? -1 : static_cast<int>(_items.rend() - found) - 1;
}

TORVIParsedNode* TORVIParsedNodeList::Extract(TORVIParsedNode* pNode) {
    const int at = IndexFromEnd(pNode);
    if (at < 0 || !pNode)
        return nullptr;
    _items.erase(_items.begin() + at);
    Notify(pNode, TORVINodeListAction::naExtracted);
    return pNode;
}

void TORVIParsedNodeList::Remove(TORVIParsedNode* pNode) {
    const int at = IndexFromEnd(pNode);
    if (at >= 0 && pNode)
        Delete(at);
}

void TORVIParsedNodeList::Delete(int nIndex) {
    TORVIParsedNode* node = Items(nIndex);
    _items.erase(_items.begin() + nIndex);
    Notify(node, TORVINodeListAction::naRemoved);
    FreeTrees({node});
}

void TORVIParsedNodeList::Clear() {
    std::vector<TORVIParsedNode*> nodes = std::move(_items);
    _items.clear();
    for (TORVIParsedNode* node : nodes)
        Notify(node, TORVINodeListAction::naRemoved);
    FreeTrees(std::move(nodes));
}

// --- Contents, bracketed and whitespace nodes ----------------------------------------------------------------
bool TORVIContentsNode::TryAddChar(char16_t, TORVIStringParser*) {
    return false;
}

TORVIParsedNodeList* TORVIContentsNode::_GetContentNodes() {
    return &_pContents;
}

void TORVIContentsNode::_ContentsNodesChanged(TORVIParsedNode* pNode, TORVINodeListAction action) {
    pNode->_pParent = action == TORVINodeListAction::naAdded ? this : nullptr;
}

bool TORVIBracketedNode::TryAddChar(char16_t c, TORVIStringParser* pParser) {
    const int nOpen = pParser->IndexOfOpenBracket(_cOpenBracket);
    if (nOpen < 0 || pParser->IndexOfCloseBracket(c) != nOpen)
        return false;
    _cCloseBracket = c;
    _Close();
    return true;
}

UnicodeString TORVIWhiteSpaceNode::_GetWhitespace() const {
    return _szWhitespace;
}

bool TORVIWhiteSpaceNode::TryAddChar(char16_t c, TORVIStringParser* pParser) {
    if (!pParser->_IsWhitespace(c)) {
        _Close();
        return false;
    }
    _szWhitespace.push_back(c);
    return true;
}

// --- Parser: character sets ----------------------------------------------------------------------------------
TORVIStringParser::TORVIStringParser() {
    _SetWhitespace(u" \t\n\r");
}

int TORVIStringParser::IndexIn(const std::vector<char16_t>& set, char16_t c) {
    const auto found = std::find(set.begin(), set.end(), c);
    return found == set.end() ? -1 : static_cast<int>(found - set.begin());
}

void TORVIStringParser::Reclassify() {
    std::fill(std::begin(_lowSets), std::end(_lowSets), 0);
    const std::pair<const std::vector<char16_t>*, std::uint8_t> sets[] = {
        {&_acSeparators, kSeparator},     {&_acEscapes, kEscape},          {&_acWhiteSpace, kWhitespace},
        {&_acOpenQuotes, kOpenQuote},     {&_acCloseQuotes, kCloseQuote},  {&_acOpenBrackets, kOpenBracket},
        {&_acCloseBrackets, kCloseBracket}};
    for (const auto& [chars, bit] : sets)
        for (char16_t c : *chars)
            if (c < 256)
                _lowSets[c] |= bit;
}

bool TORVIStringParser::_IsDeclaredCharacter(char16_t c) const {
    if (c < 256)
        return _lowSets[c] != 0;
    return In(_acSeparators, c) || In(_acEscapes, c) || In(_acWhiteSpace, c) || In(_acOpenQuotes, c) ||
           In(_acOpenBrackets, c) || In(_acCloseQuotes, c) || In(_acCloseBrackets, c);
}

bool TORVIStringParser::_IsEscape(char16_t c) const {
    return Has(kEscape, _acEscapes, c);
}

bool TORVIStringParser::_IsSeparator(char16_t c) const {
    return Has(kSeparator, _acSeparators, c);
}

bool TORVIStringParser::_IsWhitespace(char16_t c) const {
    return Has(kWhitespace, _acWhiteSpace, c);
}

void TORVIStringParser::AddPair(std::vector<char16_t>& opens, std::vector<char16_t>& closes, char16_t cOpen,
                                char16_t cClose) {
    opens.push_back(cOpen);
    closes.push_back(cClose);
}

void TORVIStringParser::RemovePair(std::vector<char16_t>& opens, std::vector<char16_t>& closes, char16_t cOpen,
                                   char16_t cClose) {
    const int at = IndexIn(opens, cOpen);
    if (at < 0 || static_cast<std::size_t>(at) >= closes.size() || closes[static_cast<std::size_t>(at)] != cClose)
        return;
    opens.erase(opens.begin() + at);
    closes.erase(closes.begin() + at);
}

void TORVIStringParser::AddQuotePair(char16_t cOpen, char16_t cClose) {
    if (!_IsDeclaredCharacter(cOpen) && !_IsDeclaredCharacter(cClose))
        AddPair(_acOpenQuotes, _acCloseQuotes, cOpen, cClose);
    Reclassify();
}

void TORVIStringParser::AddBracketPair(char16_t cOpen, char16_t cClose) {
    if (!_IsDeclaredCharacter(cOpen) && !_IsDeclaredCharacter(cClose))
        AddPair(_acOpenBrackets, _acCloseBrackets, cOpen, cClose);
    Reclassify();
}

void TORVIStringParser::RemoveQuotePair(char16_t cOpen, char16_t cClose) {
    RemovePair(_acOpenQuotes, _acCloseQuotes, cOpen, cClose);
    Reclassify();
}

void TORVIStringParser::RemoveBracketPair(char16_t cOpen, char16_t cClose) {
    RemovePair(_acOpenBrackets, _acCloseBrackets, cOpen, cClose);
    Reclassify();
}

UnicodeString TORVIStringParser::_GetEscapes() const {
    return {_acEscapes.begin(), _acEscapes.end()};
}

bool TORVIStringParser::_GetIgnoreWhitespace() const {
    return _ParserOptions.Contains(TORVIStringParserOption::spoIgnoreWS);
}

UnicodeString TORVIStringParser::_GetSeparators() const {
    return {_acSeparators.begin(), _acSeparators.end()};
}

UnicodeString TORVIStringParser::_GetWhitespace() const {
    return {_acWhiteSpace.begin(), _acWhiteSpace.end()};
}

void TORVIStringParser::_SetEscapes(const UnicodeString& value) {
    _acEscapes.assign(value.begin(), value.end());
    Reclassify();
}

void TORVIStringParser::_SetIgnoreWhitespace(bool value) {
    _ParserOptions.Set(TORVIStringParserOption::spoIgnoreWS, value);
}

void TORVIStringParser::_SetSeparators(const UnicodeString& value) {
    _acSeparators.assign(value.begin(), value.end());
    Reclassify();
}

void TORVIStringParser::_SetWhitespace(const UnicodeString& value) {
    _acWhiteSpace.assign(value.begin(), value.end());
    Reclassify();
}

// --- Parser: node creation -----------------------------------------------------------------------------------
TORVIParsedNode* TORVIStringParser::_CreateBracketedNode(char16_t c) {
    return new TORVIBracketedNode(c);
}

TORVIParsedNode* TORVIStringParser::_CreateQuotedNode(char16_t c) {
    return new TORVIQuotedNode(c);
}

TORVIParsedNode* TORVIStringParser::_CreateSeparatorNode(char16_t c) {
    return new TORVISeparatorNode(c);
}

TORVIParsedNode* TORVIStringParser::_CreateTextNode(char16_t c) {
    return new TORVITextNode(c);
}

TORVIParsedNode* TORVIStringParser::_CreateWhitespaceNode(char16_t c) {
    return new TORVIWhiteSpaceNode(c);
}

TORVIParsedNode* TORVIStringParser::_CreateNewNode(char16_t c) {
    if (_IsSeparator(c))
        return _CreateSeparatorNode(c);
    if (IndexOfOpenQuote(c) >= 0)
        return _CreateQuotedNode(c);
    if (IndexOfOpenBracket(c) >= 0)
        return _CreateBracketedNode(c);
    if (_IsWhitespace(c))
        return _CreateWhitespaceNode(c);
    if (IndexOfCloseQuote(c) >= 0 || IndexOfCloseBracket(c) >= 0)
        return nullptr; // a close with nothing open: dropped
    return _CreateTextNode(c);
}

// --- Parser: reading -----------------------------------------------------------------------------------------
bool TORVIStringParser::LookAhead(int nOffset, char16_t& cCharacter) const {
    const long long at = static_cast<long long>(_nParsePoint) + nOffset;
    if (at < 0 || at >= static_cast<long long>(_szParsingText.size()))
        return false;
    cCharacter = _szParsingText[static_cast<std::size_t>(at)];
    return true;
}

UnicodeString TORVIStringParser::SlurpCharacters(int nCount) {
    if (nCount <= 0 || static_cast<std::size_t>(_nParsePoint) + static_cast<std::size_t>(nCount) > _szParsingText.size())
        return {};
    UnicodeString out = _szParsingText.substr(static_cast<std::size_t>(_nParsePoint), static_cast<std::size_t>(nCount));
    _nParsePoint += nCount;
    return out;
}

namespace {

TORVIParsedNodeList* ContainerFor(TORVIParsedNode* pTop, TORVIParsedNodeList* pOut) {
    auto* contents = dynamic_cast<TORVIContentsNode*>(pTop);
    return contents ? contents->ContentNodes() : pOut;
}

TORVIParsedNode* Top(const std::vector<TORVIParsedNode*>& stack) {
    return stack.empty() ? nullptr : stack.back();
}

} // namespace

void TORVIStringParser::PopClosed(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut,
                                  bool blDropWhitespace) {
    while (!stack.empty() && stack.back()->Closed()) {
        TORVIParsedNode* node = stack.back();
        stack.pop_back();
        if (blDropWhitespace && IgnoreWhitespace() && dynamic_cast<TORVIWhiteSpaceNode*>(node)) {
            TORVIContentsNode* parent = node->Parent();
            (parent ? parent->ContentNodes() : pOut)->Remove(node);
        }
    }
}

void TORVIStringParser::AddNode(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut,
                                TORVIParsedNode* pNode) {
    if (!pNode)
        return;
    ContainerFor(Top(stack), pOut)->Add(pNode);
    if (!pNode->Closed())
        stack.push_back(pNode);
}

void TORVIStringParser::ParseEscape(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut) {
    char16_t c = _szParsingText[static_cast<std::size_t>(_nParsePoint - 1)];
    if (static_cast<std::size_t>(_nParsePoint) < _szParsingText.size())
        c = _szParsingText[static_cast<std::size_t>(_nParsePoint++)];
    if (OnEscapeChar)
        c = OnEscapeChar(this, c);
    if (auto* text = dynamic_cast<TORVITextNode*>(Top(stack))) {
        text->AddEscapedChar(c);
        return;
    }
    // An open node that holds neither text nor children (whitespace) ends here, so that the new text
    // lands beside it in the right container rather than at the top level.
    TORVIParsedNode* top = Top(stack);
    if (top && !dynamic_cast<TORVIContentsNode*>(top)) {
        top->_Close();
        PopClosed(stack, pOut, true);
    }
    AddNode(stack, pOut, _CreateTextNode(c));
}

void TORVIStringParser::ParseCharacter(std::vector<TORVIParsedNode*>& stack, TORVIParsedNodeList* pOut,
                                       char16_t c) {
    TORVIParsedNode* top = Top(stack);
    if (top && top->TryAddChar(c, this))
        return;
    PopClosed(stack, pOut, true);
    TORVIParsedNode* newTop = Top(stack);
    if (newTop != top && newTop && newTop->TryAddChar(c, this))
        return;
    AddNode(stack, pOut, _CreateNewNode(c));
}

bool TORVIStringParser::Parse(const UnicodeString& szInput, TORVIParsedNodeList* pOut) {
    if (!pOut)
        return false;
    _szParsingText = szInput;
    _nParsePoint = 0;
    // The stack only points into the output; the lists own the nodes. Cleared however Parse ends.
    struct TEnd {
        TORVIStringParser* p;
        ~TEnd() { p->_szParsingText.clear(); }
    } end{this};
    std::vector<TORVIParsedNode*> stack;
    while (static_cast<std::size_t>(_nParsePoint) < _szParsingText.size()) {
        const char16_t c = _szParsingText[static_cast<std::size_t>(_nParsePoint++)];
        if (_IsEscape(c))
            ParseEscape(stack, pOut);
        else
            ParseCharacter(stack, pOut, c);
        PopClosed(stack, pOut, false);
    }
    if (IgnoreWhitespace() && dynamic_cast<TORVIWhiteSpaceNode*>(Top(stack))) {
        TORVIParsedNode* node = Top(stack);
        stack.pop_back();
        TORVIContentsNode* parent = node->Parent();
        (parent ? parent->ContentNodes() : pOut)->Remove(node);
    }
    return true;
}

} // namespace orvi
