#include "utils/framework/ORVI.StreamParser.h"

#include "utils/text/ORVI.IOUtils.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <string>

namespace orvi {

namespace {

std::atomic<std::uint64_t> g_nCompileSerial{0};

bool StartsWith(const rtl::UnicodeString& s, char16_t c) {
    return !s.empty() && s.front() == c;
}
bool EndsWith(const rtl::UnicodeString& s, char16_t c) {
    return !s.empty() && s.back() == c;
}

// Anchors are added around a group, so that an alternation stays anchored as a whole.
rtl::UnicodeString AnchorStart(const rtl::UnicodeString& pattern) {
    return StartsWith(pattern, u'^') ? pattern : u"^(?:" + pattern + u")";
}
rtl::UnicodeString AnchorEnd(const rtl::UnicodeString& pattern) {
    return EndsWith(pattern, u'$') ? pattern : u"(?:" + pattern + u")$";
}

unsigned CaseOption(bool blInsensitive) {
    return blInsensitive ? rtl::roIgnoreCase : rtl::roNone;
}

// The class name of an exception as written in the source, without its namespace.
rtl::UnicodeString ExceptionClassName(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    const std::size_t colon = name.rfind("::");
    if (colon != std::string::npos)
        name.erase(0, colon + 2);
    return rtl::Utf8ToString(name);
}

rtl::UnicodeString IntText(int n) {
    return rtl::IntToStr(static_cast<std::int64_t>(n));
}

} // namespace

// ---- TORVIStreamedNode

TORVIStreamedNode::TORVIStreamedNode(TORVIStreamParser* pParser) : _pParser(pParser) {}

TORVIStreamedNode::~TORVIStreamedNode() {
    SetDefinition(nullptr);
}

void TORVIStreamedNode::SetDefinition(TORVIStreamedNodeDefinition* pDefinition) {
    if (pDefinition == Definition())
        return;
    // The lock is counted on the definition for all its nodes together (a deep nest has many open
    // nodes of one definition, and each locker of its own would make every lock cost the nest's
    // depth); the pin tells a node whose definition was freed outright.
    rtl::TPin<TORVIStreamedNodeDefinition> old = std::move(_pinDefinition);
    if (pDefinition && !pDefinition->_Freeing()) {
        pDefinition->AddMemLockReference(pDefinition);
        _pinDefinition = rtl::TPin<TORVIStreamedNodeDefinition>(pDefinition);
    }
    // Released last: the old definition may free itself now.
    if (!old.Freeing())
        old.Get()->RemoveMemLockReference(old.Get());
}

rtl::UnicodeString TORVIStreamedNode::_GetText() {
    rtl::UnicodeString text;
    text.reserve(_szOpen.size() + _szContent.size() + _szClose.size());
    return text.append(_szOpen).append(_szContent).append(_szClose);
}

bool TORVIStreamedNode::IsAllowedNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    TORVIStreamedNodeDefinition* definition = Definition();
    return definition && definition->IsAllowedNodeClass(pNodeClass);
}

bool TORVIStreamedNode::TryAccept(rtl::UnicodeString& szNextChar) {
    TORVIStreamedNodeDefinition* definition = Definition();
    return definition && definition->TryAccept(szNextChar, this);
}

void TORVIStreamedNode::_SetContent(rtl::UnicodeString szContent) {
    _szContent = std::move(szContent);
    ++_nContentRevision;
}

void TORVIStreamedNode::_AppendContent(rtl::UnicodeStringView szText) {
    _szContent.append(szText);
}

// ---- TORVIStreamedNodeDefinition

TORVIStreamedNodeDefinition::TORVIStreamedNodeDefinition(rtl::TPersistent* AOwner)
    : TORVIReferencedPersistent(AOwner) {}

TORVIStreamedNodeDefinition::~TORVIStreamedNodeDefinition() = default;

void TORVIStreamedNodeDefinition::AfterConstruction() {
    // Before registering with the owner: a class that would nest as its base is refused outright.
    rtl::RequireOwnClassRef(DefinitionClass().TypeInfo(), typeid(*this));
    TORVIReferencedPersistent::AfterConstruction();
}

void TORVIStreamedNodeDefinition::Assign(const rtl::TPersistent* source) {
    const auto* src = dynamic_cast<const TORVIStreamedNodeDefinition*>(source);
    if (!src) {
        TORVIReferencedPersistent::Assign(source);
        return;
    }
    if (src == this)
        return;
    _SetAllowedMatch(src->_szAllowed);
    _SetAllowsContainedNodes(src->_Has(snd_AllowsNodes));
    _SetAllowsContainedText(src->_Has(snd_AllowsText));
    _SetCloseMatch(src->_szClose);
    _SetEscapes(rtl::UnicodeString(src->_caEscapes.begin(), src->_caEscapes.end()));
    _fnEscapeHandler = src->_fnEscapeHandler;
    _fnOpenCallback = src->_fnOpenCallback;
    _fnCloseCallback = src->_fnCloseCallback;
    _SetOpenMatch(src->_szOpen);
    _pAllowedNodes = src->_pAllowedNodes;
}

const TORVIStreamedNodeDefinitionClass& TORVIStreamedNodeDefinition::DefinitionClass() const {
    return ORVIStreamedNodeDefinitionClass<TORVIStreamedNodeDefinition>();
}

const TORVIStreamedNodeClass& TORVIStreamedNodeDefinition::GetStreamedNodeClass() const {
    return ORVIStreamedNodeClass<TORVIStreamedNode>();
}

bool TORVIStreamedNodeDefinition::_Holds(const TClassList& list,
                                         const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    return std::any_of(list.begin(), list.end(), [&](const TORVIStreamedNodeDefinitionClass* entry) {
        return entry == pNodeClass ||
               (entry && pNodeClass && std::strcmp(entry->ClassName(), pNodeClass->ClassName()) == 0);
    });
}

void TORVIStreamedNodeDefinition::_Drop(TClassList& list,
                                        const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const TORVIStreamedNodeDefinitionClass* entry) {
                                  return _Holds(TClassList{entry}, pNodeClass);
                              }),
               list.end());
}

void TORVIStreamedNodeDefinition::AllowNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    if (!pNodeClass)
        return;
    _Drop(_pDisallowedNodes, pNodeClass);
    if (!_Holds(_pAllowedNodes, pNodeClass))
        _pAllowedNodes.push_back(pNodeClass);
}

void TORVIStreamedNodeDefinition::DisallowNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    if (!pNodeClass)
        return;
    _Drop(_pAllowedNodes, pNodeClass);
    if (!_Holds(_pDisallowedNodes, pNodeClass))
        _pDisallowedNodes.push_back(pNodeClass);
}

bool TORVIStreamedNodeDefinition::IsAllowedNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    if (!_GetAllowsContainedNodes())
        return false;
    if (!_pDisallowedNodes.empty() && _Holds(_pDisallowedNodes, pNodeClass))
        return false;
    return _pAllowedNodes.empty() || _Holds(_pAllowedNodes, pNodeClass);
}

TORVIStreamedNode* TORVIStreamedNodeDefinition::CreateNode(TORVIStreamParser* pForParser) {
    return GetStreamedNodeClass().Create(pForParser);
}

// -- expressions

void TORVIStreamedNodeDefinition::_SetPattern(rtl::UnicodeString& szPattern,
                                              std::unique_ptr<rtl::TRegEx>& pCompiled,
                                              const rtl::UnicodeString& value) {
    if (szPattern == value)
        return;
    szPattern = value;
    pCompiled.reset();
}

void TORVIStreamedNodeDefinition::_SetOption(TNodeOption option, bool value) noexcept {
    const auto bit = static_cast<TNodeOptions>(1u << option);
    _NodeOptions = static_cast<TNodeOptions>(value ? (_NodeOptions | bit) : (_NodeOptions & ~bit));
}

void TORVIStreamedNodeDefinition::_SetCompileOption(TNodeOption option, bool value,
                                                    std::unique_ptr<rtl::TRegEx>& pCompiled) {
    if (_Has(option) == value)
        return;
    _SetOption(option, value);
    pCompiled.reset();
}

void TORVIStreamedNodeDefinition::_SetOpenMatch(const rtl::UnicodeString& value) {
    _SetPattern(_szOpen, _pRegOpen, value);
}
void TORVIStreamedNodeDefinition::_SetAllowedMatch(const rtl::UnicodeString& value) {
    _SetPattern(_szAllowed, _pRegAllowed, value);
}
void TORVIStreamedNodeDefinition::_SetValidMatch(const rtl::UnicodeString& value) {
    _SetPattern(_szValid, _pRegValid, value);
}
void TORVIStreamedNodeDefinition::_SetCloseMatch(const rtl::UnicodeString& value) {
    _SetPattern(_szClose, _pRegClose, value);
}
void TORVIStreamedNodeDefinition::_SetCaseInsensitiveOpen(bool value) {
    _SetCompileOption(snd_CaseInsensitiveOpen, value, _pRegOpen);
}
void TORVIStreamedNodeDefinition::_SetCaseInsensitiveClose(bool value) {
    _SetCompileOption(snd_CaseInsensitiveClose, value, _pRegClose);
}
void TORVIStreamedNodeDefinition::_SetCaseInsensitiveContent(bool value) {
    _SetCompileOption(snd_CaseInsensitiveContent, value, _pRegAllowed);
}
void TORVIStreamedNodeDefinition::_SetCaseInsensitiveValid(bool value) {
    _SetCompileOption(snd_CaseInsensitiveValid, value, _pRegValid);
}
void TORVIStreamedNodeDefinition::_SetAllowsMultiLineText(bool value) {
    _SetCompileOption(snd_AllowsMultiLineText, value, _pRegValid);
}

rtl::TRegEx* TORVIStreamedNodeDefinition::_GetOpenRegEx() {
    if (!_pRegOpen && !_szOpen.empty())
        _pRegOpen = std::make_unique<rtl::TRegEx>(AnchorStart(_szOpen),
                                                  rtl::roSingleLine | CaseOption(_GetCaseInsensitiveOpen()));
    return _pRegOpen.get();
}

rtl::TRegEx* TORVIStreamedNodeDefinition::_GetCloseRegEx() {
    if (!_pRegClose && !_szClose.empty()) {
        _pRegClose = std::make_unique<rtl::TRegEx>(
            AnchorEnd(_szClose), rtl::roSingleLine | rtl::roPartial | CaseOption(_GetCaseInsensitiveClose()));
        _nCloseSerial = ++g_nCompileSerial;
    }
    return _pRegClose.get();
}

rtl::TRegEx* TORVIStreamedNodeDefinition::_GetValidRegEx() {
    if (!_pRegValid && !_szValid.empty()) {
        const unsigned options = (_GetAllowsMultiLineText() ? rtl::roSingleLine : rtl::roNone) |
                                 CaseOption(_GetCaseInsensitiveValid());
        _pRegValid = std::make_unique<rtl::TRegEx>(AnchorEnd(AnchorStart(_szValid)), options);
    }
    return _pRegValid.get();
}

rtl::TRegEx* TORVIStreamedNodeDefinition::_GetAllowedRegEx() {
    if (!_pRegAllowed && !_szAllowed.empty())
        _pRegAllowed = std::make_unique<rtl::TRegEx>(
            _szAllowed, rtl::roSingleLine | CaseOption(_GetCaseInsensitiveContent()));
    return _pRegAllowed.get();
}

// -- opening, accepting and closing

TORVIStreamedNode* TORVIStreamedNodeDefinition::TryMatchOpen(rtl::UnicodeString& szCandidate,
                                                             TORVIStreamParser* pForParser) {
    rtl::TRegEx* open = _GetOpenRegEx();
    rtl::TRegExGroups groups;
    if (!open || !open->Match(szCandidate, groups) || groups.Offset(0) != 0)
        return nullptr;
    TORVIStreamedNode* node = CreateNode(pForParser);
    node->SetDefinition(this); // the node keeps this definition alive, whatever its handlers do
    const auto length = static_cast<std::size_t>(groups.Length(0));
    node->_szOpen.assign(szCandidate, 0, length);
    szCandidate.erase(0, length);
    // The parser that is parsing, which need not be the one whose list holds this definition (a
    // parser that took over another's definitions by Assign shares them).
    if (TORVIStreamParser* parser = pForParser ? pForParser : _pParser)
        parser->_Push(node);
    if (const TORVIStreamedNodeEvent fnOpen = _fnOpenCallback) {
        rtl::TPin<TORVIStreamedNodeDefinition> self(this);
        fnOpen(this, node);
        if (self.Freeing())
            return node; // freed outright by the handler: the node's pin tells it has no definition
    }
    if (!_GetAllowedRegEx() && !_GetValidRegEx()) {
        if (!_GetCloseRegEx())
            _DoClose(node);
        else
            _CheckClose(szCandidate, node);
    }
    return node;
}

bool TORVIStreamedNodeDefinition::_CheckClose(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode) {
    rtl::TRegEx* close = _GetCloseRegEx();
    if (!close || !pNode)
        return false;
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    const rtl::UnicodeString& content = pNode->_szContent;
    if (scan.nExpression != _nCloseSerial || scan.nRevision != pNode->_nContentRevision ||
        content.size() < scan.nContent)
        scan = {{}, 0, 0, 0, pNode->_nContentRevision, _nCloseSerial};
    // Content only grows between revisions: bring the mirror up to date, then move the dead offset
    // over the content alone (no later text can revive a start that failed before its end).
    scan.szSubject.resize(scan.nContent);
    scan.szSubject.append(content, scan.nContent);
    scan.nContent = content.size();
    rtl::TRegExGroups groups;
    if (scan.nContent > scan.nDeadChecked) {
        switch (close->MatchPartial(scan.szSubject, groups, static_cast<long>(scan.nDead))) {
        case rtl::TRegExPartial::rpNoMatch:
            scan.nDead = scan.nContent;
            break;
        case rtl::TRegExPartial::rpPartial:
            scan.nDead = static_cast<std::size_t>(groups.Offset(0));
            break;
        case rtl::TRegExPartial::rpMatch:
            break;
        }
        scan.nDeadChecked = scan.nContent;
    }
    scan.szSubject.append(szBuffer);
    if (!close->Match(scan.szSubject, groups, static_cast<long>(scan.nDead)))
        return false;

    const auto start = static_cast<std::size_t>(groups.Offset(0));
    const auto end = start + static_cast<std::size_t>(groups.Length(0));
    if (_GetAllowsContainedText()) {
        if (start >= scan.nContent)
            pNode->_AppendContent(
                rtl::UnicodeStringView(scan.szSubject).substr(scan.nContent, start - scan.nContent));
        else
            pNode->_SetContent(scan.szSubject.substr(0, start));
    } else if (start > 0) {
        const rtl::UnicodeString name = _GetName();
        throw EORVIStreamError(name.empty() ? rtl::UnicodeString(u"Unexpected text found in unnamed node")
                                            : u"Unexpected text found in " + name + u" node");
    }
    pNode->_szClose = scan.szSubject.substr(start, end - start);
    szBuffer = scan.szSubject.substr(end);
    _DoClose(pNode);
    return true;
}

TORVIStreamParser* TORVIStreamedNodeDefinition::_ParserOf(TORVIStreamedNode* pNode) {
    return pNode->_pParser ? pNode->_pParser : _pParser;
}

rtl::UnicodeString TORVIStreamedNodeDefinition::_FetchEscaped(TORVIStreamedNode* pNode) {
    TORVIStreamParser* parser = _ParserOf(pNode);
    if (!parser || !parser->_pInput)
        return {};
    return parser->SlurpCharacters(1);
}

bool TORVIStreamedNodeDefinition::TryAccept(rtl::UnicodeString& szCandidate, TORVIStreamedNode* pCandidate) {
    if (!pCandidate)
        return false;
    const bool blEscape = szCandidate.size() == 1 &&
                          std::find(_caEscapes.begin(), _caEscapes.end(), szCandidate[0]) != _caEscapes.end();
    if (blEscape) {
        // The escaped character is taken as it is (or as the handler says), never as a close.
        szCandidate = _FetchEscaped(pCandidate);
        if (const TORVIStreamParserEscapeEvent fnEscape = _fnEscapeHandler;
            fnEscape && !szCandidate.empty()) {
            rtl::TPin<TORVIStreamedNodeDefinition> self(this);
            szCandidate[0] = fnEscape(this, szCandidate[0]);
            if (self.Freeing())
                return false; // the handler freed this definition: the node has none left
        }
    } else if (_CheckClose(szCandidate, pCandidate)) {
        return true;
    }
    bool blAccepted = false;
    if (!szCandidate.empty() && _GetAllowsContainedText()) {
        rtl::TRegEx* valid = _GetValidRegEx();
        rtl::TRegExGroups groups;
        if (valid) {
            const rtl::UnicodeString subject = pCandidate->Text() + szCandidate;
            if (valid->Match(subject, groups)) {
                blAccepted = true;
                const auto start = static_cast<std::size_t>(groups.Offset(0));
                const auto length = static_cast<std::size_t>(groups.Length(0));
                const std::size_t skip = std::min(pCandidate->_szOpen.size(), length);
                pCandidate->_SetContent(subject.substr(start + skip, length - skip));
                szCandidate = subject.substr(start + length);
                if (!szCandidate.empty())
                    _DoClose(pCandidate);
                return true;
            }
        }
        rtl::TRegEx* allowed = _GetAllowedRegEx();
        if (allowed && allowed->Match(szCandidate, groups)) {
            blAccepted = true;
            if (!valid) {
                const auto start = static_cast<std::size_t>(groups.Offset(0));
                const auto length = static_cast<std::size_t>(groups.Length(0));
                pCandidate->_AppendContent(rtl::UnicodeStringView(szCandidate).substr(start, length));
                szCandidate.erase(start, length);
            }
        }
    }
    if (!blAccepted && !_GetAllowsContainedNodes())
        _DoClose(pCandidate);
    return blAccepted;
}

void TORVIStreamedNodeDefinition::_DoClose(TORVIStreamedNode* pNode) {
    pNode->_NodeState |= sn_Complete;
    TORVIStreamParser* parser = _ParserOf(pNode);
    // A copy: the handler may free the node, and with it the last lock on this definition.
    const TORVIStreamedNodeEvent fnClose = _fnCloseCallback;
    if (!fnClose) {
        if (parser)
            parser->_PopIfCurrent(pNode);
        rtl::Free(pNode);
        return;
    }
    try {
        fnClose(this, pNode);
    } catch (...) {
        // The handler has the node: it must not stay on the stack to be freed a second time.
        if (parser)
            parser->_PopIfCurrent(pNode);
        throw;
    }
    if (parser)
        parser->_PopIfCurrent(pNode);
}

bool TORVIStreamedNodeDefinition::EndOfStream(rtl::UnicodeString& szResidual, TORVIStreamedNode* pCandidate) {
    if (!pCandidate)
        return false;
    if (szResidual.empty() && !_GetCloseRegEx()) {
        _DoClose(pCandidate);
        return true;
    }
    rtl::TRegEx* valid = _GetValidRegEx();
    if (!valid)
        return false;
    const rtl::UnicodeString subject = pCandidate->Text() + szResidual;
    rtl::TRegExGroups groups;
    if (!valid->Match(subject, groups))
        return false;
    const auto start = static_cast<std::size_t>(groups.Offset(0));
    const auto length = static_cast<std::size_t>(groups.Length(0));
    // The residual that completed the node is its content, as while the stream was read.
    const std::size_t skip = std::min(pCandidate->_szOpen.size(), length);
    pCandidate->_SetContent(subject.substr(start + skip, length - skip));
    szResidual = subject.substr(start + length);
    _DoClose(pCandidate);
    return true;
}

// ---- TORVIStreamParser

TORVIStreamParser::TORVIStreamParser(rtl::TPersistent* AOwner) : TORVIReferencedPersistent(AOwner) {}

TORVIStreamParser::~TORVIStreamParser() = default;

void TORVIStreamParser::AfterConstruction() {
    TORVIReferencedPersistent::AfterConstruction();
    // The list locks its definitions for itself, so a definition that is freed outright tells the
    // list, which drops it.
    _pNodeDefs = rtl::Create<TDefinitionList>(nullptr, _raMemLock);
    _pNodeDefs->SubscribeToChangeNotification(rtl::TCollectionNotifyEvent<TORVIStreamedNodeDefinition*>(
        this, &TORVIStreamParser::_DefinitionsChanged));
}

void TORVIStreamParser::BeforeDestruction() {
    _FreeNodes();
    rtl::FreeAndNil(_pNodeDefs);
    TORVIReferencedPersistent::BeforeDestruction();
}

void TORVIStreamParser::Assign(const rtl::TPersistent* source) {
    const auto* src = dynamic_cast<const TORVIStreamParser*>(source);
    if (!src) {
        TORVIReferencedPersistent::Assign(source);
        return;
    }
    if (src == this)
        return;
    _FreeNodes();
    std::vector<TORVIStreamedNodeDefinition*> definitions;
    if (src->_pNodeDefs)
        definitions.assign(src->_pNodeDefs->begin(), src->_pNodeDefs->end());
    if (_pNodeDefs)
        _pNodeDefs->Clear();
    for (TORVIStreamedNodeDefinition* definition : definitions)
        AddNodeDefinition(definition);
}

void TORVIStreamParser::_DefinitionsChanged(rtl::TObject*, TORVIStreamedNodeDefinition* const& Item,
                                            rtl::TCollectionNotification Action) {
    if (!Item)
        return;
    if (Action == rtl::TCollectionNotification::cnAdded)
        Item->_SetParser(this);
    else if (!Item->_Freed() && Item->_pParser == this)
        Item->_SetParser(nullptr);
}

void TORVIStreamParser::AddNodeDefinition(TORVIStreamedNodeDefinition* pNodeDef) {
    if (pNodeDef && _pNodeDefs && !_pNodeDefs->Contains(pNodeDef))
        _pNodeDefs->Add(pNodeDef);
}

void TORVIStreamParser::RemoveNodeDefinition(TORVIStreamedNodeDefinition* pNodeDef) {
    if (pNodeDef && _pNodeDefs)
        _pNodeDefs->Remove(pNodeDef);
}

TORVIStreamedNodeDefinition* TORVIStreamParser::_GetDefinition(int nIndex) {
    if (!_pNodeDefs || nIndex < 0 || nIndex >= _pNodeDefs->Count())
        return nullptr;
    return (*_pNodeDefs)[nIndex];
}

void TORVIStreamParser::_SetAllowMultiLineBuffer(bool value) {
    _ParserOptions = static_cast<TORVIStreamParserOptions>(
        value ? (_ParserOptions | sp_AllowMultiLineBuffer) : (_ParserOptions & ~sp_AllowMultiLineBuffer));
}

void TORVIStreamParser::_FreeNodes() {
    while (!_pCurrentNodes.empty()) {
        TORVIStreamedNode* node = _pCurrentNodes.back();
        _pCurrentNodes.pop_back();
        rtl::Free(node);
    }
}

void TORVIStreamParser::_PopIfCurrent(TORVIStreamedNode* pNode) {
    if (!_pCurrentNodes.empty() && _pCurrentNodes.back() == pNode)
        _pCurrentNodes.pop_back();
}

// -- reading

bool TORVIStreamParser::_Fetch(rtl::UnicodeString& szChars, int& nByteCount, bool blQuiet) {
    char16_t ch = 0;
    if (ORVIFetchEncodedCharacter(_pInput, _pEncoding, ch, szChars, nByteCount))
        return true;
    // Bytes read without a character: the stream goes on with something that is not text.
    if (nByteCount == 0 || blQuiet)
        return false;
    // The bad character is counted, and reading would go on right after its first code unit.
    const int nUnit = dynamic_cast<const rtl::TUnicodeEncoding*>(_pEncoding) ? 2 : 1;
    if (nByteCount > nUnit)
        _pInput->Seek(nUnit - nByteCount, rtl::TSeekOrigin::soCurrent);
    ++_nCharCount;
    throw EORVIStreamError(u"Invalid " +
                           (_pEncoding ? _pEncoding->EncodingName() : rtl::UnicodeString(u"UTF-8")) +
                           u" character");
}

bool TORVIStreamParser::LookAhead(int nOffset, char16_t& cCharacter) {
    cCharacter = 0;
    if (!_pInput || nOffset < 0)
        return false;
    rtl::UnicodeString ahead;
    rtl::UnicodeString chars;
    std::int64_t nBytes = 0;
    while (ahead.size() <= static_cast<std::size_t>(nOffset)) {
        int nCount = 0;
        const bool fetched = _Fetch(chars, nCount, true);
        nBytes += nCount;
        if (!fetched)
            break;
        ahead += chars;
    }
    _pInput->Seek(-nBytes, rtl::TSeekOrigin::soCurrent);
    if (ahead.size() <= static_cast<std::size_t>(nOffset))
        return false;
    cCharacter = ahead[static_cast<std::size_t>(nOffset)];
    return true;
}

rtl::UnicodeString TORVIStreamParser::SlurpCharacters(int nCount) {
    rtl::UnicodeString result;
    if (!_pInput)
        return result;
    rtl::UnicodeString chars;
    while (result.size() < static_cast<std::size_t>(std::max(nCount, 0))) {
        int nBytes = 0;
        if (!_Fetch(chars, nBytes, true))
            break;
        ++_nCharCount;
        result += chars;
    }
    return result;
}

bool TORVIStreamParser::ParseStream(rtl::TStream* pInput, rtl::TEncoding* Encoding) {
    if (!pInput)
        return false;
    _pInput = pInput;
    _nLineCount = 1;
    _nCharCount = 0;
    _szBuffer.clear();
    ORVIGetStreamEncoding(pInput, _pEncoding, Encoding);
    bool blResult = false;
    try {
        _ReadStream();
        blResult = _FinishStream();
    } catch (const EORVIStreamError& e) {
        _Fail(u"Stream Error " + e.Message());
    } catch (const rtl::Exception& e) {
        _Fail(u"Unexpected Error " + ExceptionClassName(e) + u" (" + e.Message() + u")");
    } catch (const std::exception& e) {
        _Fail(u"Unexpected Error " + ExceptionClassName(e) + u" (" + rtl::Utf8ToString(e.what()) + u")");
    }
    _pInput = nullptr;
    return blResult;
}

void TORVIStreamParser::_Fail(const rtl::UnicodeString& szWhat) {
    const int nLine = _nLineCount;
    const int nChar = _nCharCount - 1;
    _FreeNodes();
    rtl::UnicodeString next;
    try {
        next = SlurpCharacters(12);
    } catch (...) {
        // The message is written with what could be read.
    }
    _szErrorMessage = szWhat + u" near line " + IntText(nLine) + u" character " + IntText(nChar) +
                      u" (Next characters: " + next + u")";
}

void TORVIStreamParser::_ReadStream() {
    bool blLineEnded = false;
    rtl::UnicodeString chars;
    for (;;) {
        if (blLineEnded) {
            ++_nLineCount;
            _nCharCount = 0;
            blLineEnded = false;
        }
        int nBytes = 0;
        if (!_Fetch(chars, nBytes, false))
            break;
        ++_nCharCount;
        if (chars.size() == 1 && (chars[0] == u'\r' || chars[0] == u'\n')) {
            char16_t next = 0;
            if (chars[0] == u'\r' && LookAhead(0, next) && next == u'\n')
                SlurpCharacters(1);
            chars = _szNormedLineEnd;
            blLineEnded = true;
        }
        _szBuffer += chars;
        _OfferBuffer();
    }
}

void TORVIStreamParser::_OfferBuffer() {
    // The innermost node takes what it can; when that closes it, its parent is offered the rest.
    for (TORVIStreamedNode* node = _GetCurrentNode(); node && !_szBuffer.empty(); node = _GetCurrentNode()) {
        node->TryAccept(_szBuffer);
        if (_GetCurrentNode() == node)
            break;
    }
    if (_szBuffer.empty())
        return;
    TORVIStreamedNode* current = _GetCurrentNode();
    for (int i = 0; _pNodeDefs && i < _pNodeDefs->Count(); ++i) {
        TORVIStreamedNodeDefinition* definition = (*_pNodeDefs)[i];
        const bool takesPart = current ? current->IsAllowedNodeClass(&definition->DefinitionClass())
                                       : definition->CanBeRootNode();
        if (takesPart && definition->TryMatchOpen(_szBuffer, this))
            break;
    }
}

bool TORVIStreamParser::_FinishStream() {
    for (TORVIStreamedNode* node = _GetCurrentNode(); node; node = _GetCurrentNode()) {
        TORVIStreamedNodeDefinition* definition = node->Definition();
        if (!definition || !definition->EndOfStream(_szBuffer, node) || _GetCurrentNode() == node)
            break;
    }
    if (_pCurrentNodes.empty())
        return true;
    _szErrorMessage = u"Unclosed nodes at end of stream";
    _FreeNodes();
    return false;
}

} // namespace orvi
