#include "utils/framework/ORVI.StreamParser.h"

#include "utils/text/ORVI.IOUtils.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <iterator>
#include <limits>
#include <string>

namespace orvi {

namespace {

std::atomic<std::uint64_t> g_nCompileSerial{0};

// Changes whenever what decides which definitions take part at a node may have changed: a definition
// made, freed, added to or removed from a list, its options or its nesting rules set.
std::atomic<std::uint64_t> g_nNestingEpoch{1};

void NestingChanged() {
    g_nNestingEpoch.fetch_add(1, std::memory_order_relaxed);
}

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

using TUnitSet = std::uint64_t[2]; // ASCII units, bit u of word u / 64

void AddUnit(TUnitSet& set, char16_t unit) {
    if (unit < 128)
        set[unit >> 6] |= std::uint64_t{1} << (unit & 63);
}
bool HasUnit(const TUnitSet& set, char16_t unit) {
    const unsigned index = unit; // shifted as a whole word
    return index < 128 && (set[index >> 6] >> (index & 63) & 1) != 0;
}

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// CR or LF; most units are past both, which one comparison tells.
bool IsLineEndUnit(char16_t unit) {
    return unit <= u'\r' && (unit == u'\r' || unit == u'\n');
}

// Subject texts longer than this are not searched for a required unit: the expression is called.
constexpr std::size_t kLongestSearch = 256;

// From this length on, a buffer that the open expression partly matches is searched on from where
// the last search of it ended, and one that the close expression is searched in is searched only
// from where a close may still start, rather than read whole again.
constexpr std::size_t kResumeFrom = 64;

// What the analysis of pattern (compiled with options, without any anchoring) tells of where its
// matches start and of a unit they hold; nothing when it does not compile.
void ReadStartUnits(rtl::TRegExInfo& info, const rtl::UnicodeString& pattern, unsigned options) {
    try {
        const rtl::TRegEx analysis(pattern, options | rtl::roInfoOnly);
        const rtl::TRegExInfo& found = analysis.Info();
        if (found.HasStartUnits) {
            info.HasStartUnits = true;
            std::copy(std::begin(found.StartUnits), std::end(found.StartUnits), std::begin(info.StartUnits));
        }
        // An anchored pattern may tell only its first unit as required, or none; the unanchored one
        // tells a later unit where there is one, which rules out more of a growing subject.
        if (found.HasRequiredUnit) {
            info.HasRequiredUnit = true;
            info.RequiredUnit = found.RequiredUnit;
        }
    } catch (const rtl::Exception&) {
        // Nothing more is known than the anchored form told.
    }
}

// The filter of an expression compiled from pattern with options. An anchored pattern has no start
// units of its own; they are read from the pattern without its anchor. szInner is the pattern that
// the anchoring enclosed ("" when the pattern brought its own "^").
template <class TFilter> bool RuledOut(const TFilter& filter, rtl::UnicodeStringView subject, TUnitSet& stops);

rtl::TRegExScratch& ThreadScratch();

// Asks the expression about the two ASCII units once: no match starts with them, whatever follows,
// when a soft partial search of the two finds neither a match nor a partial one starting at the
// first (an earlier partial start is reported first). Kept out of line: it is seldom called.
template <class TFilter> [[gnu::noinline]] void AskPair(const TFilter& filter, char16_t first, char16_t second) {
    if (!filter.pPairs)
        filter.pPairs = std::make_unique<typename TFilter::TPairs>();
    auto& pairs = *filter.pPairs;
    const std::uint64_t bit = std::uint64_t{1} << (second & 63);
    const char16_t two[2] = {first, second};
    long offset = 0, length = 0;
    const rtl::TRegExPartial found =
        filter.pCompiled->FindPartial(rtl::UnicodeStringView(two, 2), ThreadScratch(), offset, length);
    if (found == rtl::TRegExPartial::rpNoMatch || (found == rtl::TRegExPartial::rpPartial && offset > 0))
        pairs.Dead[first][second >> 6] |= bit;
    pairs.Known[first][second >> 6] |= bit;
}

// Whether no match of the filtered expression starts with the units first and second.
template <class TFilter> inline bool DeadPair(const TFilter& filter, char16_t first, char16_t second) {
    if (!filter.pCompiled || first >= 128 || second >= 128)
        return false;
    const std::uint64_t bit = std::uint64_t{1} << (second & 63);
    if (!filter.pPairs || (filter.pPairs->Known[first][second >> 6] & bit) == 0)
        AskPair(filter, first, second);
    return (filter.pPairs->Dead[first][second >> 6] & bit) != 0;
}

template <class TFilter>
void MakeFilter(TFilter& filter, const rtl::TRegEx& compiled, const rtl::UnicodeString& szInner,
                const rtl::UnicodeString& szOwn, unsigned options) {
    filter = TFilter{};
    filter.Info = compiled.Info();
    filter.blAnchored = filter.Info.Anchored;
    filter.pCompiled = &compiled;
    // What a subject of one unit gets is asked once. For an anchored expression, a subject that
    // could not even partly match cannot match once it has grown: those first units end every hope.
    rtl::TRegExScratch scratch;
    for (char16_t unit = 0; unit < 128; ++unit) {
        long offset = 0, length = 0;
        const char16_t one[1] = {unit};
        const rtl::TRegExPartial found = compiled.FindPartial(rtl::UnicodeStringView(one, 1), scratch, offset, length);
        filter.Alone[unit] = {found, static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(length)};
        offset = length = 0;
        const bool whole = compiled.Find(rtl::UnicodeStringView(one, 1), scratch, offset, length);
        filter.AloneWhole[unit] = {whole ? rtl::TRegExPartial::rpMatch : rtl::TRegExPartial::rpNoMatch,
                                   static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(length)};
        if (whole && offset == 0 && length == 1)
            filter.Singly[unit >> 6] |= std::uint64_t{1} << (unit & 63);
        if (filter.blAnchored && found == rtl::TRegExPartial::rpNoMatch)
            filter.DeadFirst[unit >> 6] |= std::uint64_t{1} << (unit & 63);
    }
    if (filter.blAnchored && !szInner.empty()) {
        ReadStartUnits(filter.Info, u"(?:" + szInner + u")", options);
    } else if (filter.blAnchored && szOwn.size() > 1 && szOwn[0] == u'^' &&
               rtl::UnicodeStringView(u"*+?{").find(szOwn[1]) == rtl::UnicodeStringView::npos) {
        // "^" always holds at the subject's start: what follows it starts every match.
        ReadStartUnits(filter.Info, szOwn.substr(1), options);
    }
    for (char16_t unit = 0; unit < 128; ++unit)
        if (filter.Info.CanStartWith(unit))
            AddUnit(filter.StartAscii, unit);
    // A buffer of one unit is the common case at every step: its answer is asked once.
    for (char16_t unit = 0; unit < 128; ++unit) {
        TUnitSet stops = {};
        if (filter.Info.MinLength > 1 || RuledOut(filter, rtl::UnicodeStringView(&unit, 1), stops))
            AddUnit(filter.Short, unit);
    }
    filter.blShortKnown = true;
}

// Whether the matches of pattern depend on nothing before their start (no start-of-text or
// boundary assertion, no look-behind), so that text before a match's start may be left out of the
// subject. Refuses a little more than it must.
bool ContextFree(rtl::UnicodeStringView pattern) {
    for (const rtl::UnicodeStringView anchor : {u"^", u"(?<", u"(*"}) // the last also names look-behinds
        if (pattern.find(anchor) != rtl::UnicodeStringView::npos)
            return false;
    for (std::size_t at = pattern.find(u'\\'); at != rtl::UnicodeStringView::npos; at = pattern.find(u'\\', at + 2))
        if (at + 1 < pattern.size() && rtl::UnicodeStringView(u"bBAGKQ").find(pattern[at + 1]) != rtl::UnicodeStringView::npos)
            return false;
    return true;
}

// Whether what a subject of two units answers of a context-free pattern's matches starting at the
// first holds in any text: not so when the pattern looks ahead or branches on a condition.
bool PairsHoldAnywhere(rtl::UnicodeStringView pattern) {
    for (const rtl::UnicodeStringView look : {u"(?=", u"(?!", u"(?(", u"(*"})
        if (pattern.find(look) != rtl::UnicodeStringView::npos)
            return false;
    return true;
}

// Whether no match of the filtered context-free expression lies wholly in subject, whose units in
// [1, nSkipTo) are known to start none: each other unit that may start one is followed by a unit no
// match goes on with, or is the last and the shortest match is longer.
template <class TFilter>
bool NoMatchIn(const TFilter& filter, rtl::UnicodeStringView subject, std::size_t nSkipTo) {
    const rtl::TRegExInfo& info = filter.Info;
    if (!filter.pCompiled || !info.HasStartUnits || subject.empty())
        return false;
    const std::uint8_t* const starts = info.StartUnits;
    const char16_t* at = subject.data();
    const char16_t* const end = at + subject.size();
    if (!info.CanStartWith(*at))
        at = subject.data() + std::max<std::size_t>(nSkipTo, 1);
    else if (subject.size() == 1)
        return info.MinLength > 1;
    else if (!DeadPair(filter, at[0], at[1]))
        return false;
    else
        at = subject.data() + std::max<std::size_t>(nSkipTo, 1);
    for (;; ++at) {
        for (; at != end; ++at) {
            const unsigned unit = *at > 255 ? 255u : *at;
            if ((starts[unit >> 3] >> (unit & 7) & 1) != 0)
                break;
        }
        if (at == end)
            return true;
        if (at + 1 == end)
            return info.MinLength > 1;
        if (!DeadPair(filter, at[0], at[1]))
            return false;
    }
}

// Whether the filtered expression certainly fails on subject; when it does for want of units that
// may still come, those go into stops (with every unit past ASCII, which always stops a run).
template <class TFilter>
bool RuledOut(const TFilter& filter, rtl::UnicodeStringView subject, TUnitSet& stops) {
    const rtl::TRegExInfo& info = filter.Info;
    // Searched from the end, where the unit that grew the subject is.
    if (info.HasRequiredUnit && subject.size() <= kLongestSearch &&
        subject.rfind(info.RequiredUnit) == rtl::UnicodeStringView::npos) {
        AddUnit(stops, info.RequiredUnit);
        return true;
    }
    if (subject.empty() || (!info.HasStartUnits && !filter.blAnchored))
        return false;
    if (filter.blAnchored && HasUnit(filter.DeadFirst, subject[0]))
        return true; // the first unit stays while the subject grows
    if (filter.blAnchored)
        return !info.CanStartWith(subject[0]);
    if (subject.size() > kLongestSearch)
        return false;
    for (const char16_t unit : subject)
        if (info.CanStartWith(unit))
            return false;
    stops[0] |= filter.StartAscii[0];
    stops[1] |= filter.StartAscii[1];
    return true;
}

// The answer of a filtered expression to a subject of one ASCII unit, found when its filter was made;
// false for other subjects.
template <class TFilter>
bool AnsweredAlone(const TFilter& filter, rtl::UnicodeStringView subject, rtl::TRegExPartial& found, long& offset,
                   long& length, bool blPartial = true) {
    if (subject.size() != 1 || subject[0] >= 128)
        return false;
    const auto& alone = (blPartial ? filter.Alone : filter.AloneWhole)[subject[0]];
    found = alone.Found;
    offset = alone.nOffset;
    length = alone.nLength;
    return true;
}

rtl::TRegExScratch& ThreadScratch() {
    thread_local rtl::TRegExScratch scratch;
    return scratch;
}

// The entry of Recent that a subject of 2..kRecentLongest units is first looked for in.
std::size_t RecentSlot(rtl::UnicodeStringView subject) {
    return (subject[0] ^ (static_cast<std::size_t>(subject.back()) << 1) ^ (subject.size() * 5)) & 31;
}

} // namespace

bool TORVIStreamedNodeDefinition::TFilter::Recalled(rtl::UnicodeStringView subject, rtl::TRegExPartial& found,
                                                    long& offset, long& length) const {
    static_assert(kRecentCount == 32, "RecentSlot answers 32 entries");
    if (subject.size() < 2 || subject.size() > kRecentLongest)
        return false;
    const std::size_t slot = RecentSlot(subject);
    const auto holds = [subject](const TRecent& entry) {
        if (entry.nSize != subject.size())
            return false;
        for (std::size_t i = 0; i < subject.size(); ++i)
            if (entry.Units[i] != subject[i])
                return false;
        return true;
    };
    const TRecent& recent = Recent[holds(Recent[slot]) ? slot : slot ^ 1];
    if (&recent != &Recent[slot] && !holds(recent))
        return false;
    found = recent.Found;
    offset = recent.nOffset;
    length = recent.nLength;
    return true;
}

void TORVIStreamedNodeDefinition::TFilter::Remember(rtl::UnicodeStringView subject, rtl::TRegExPartial found,
                                                    long offset, long length) const {
    if (subject.size() < 2 || subject.size() > kRecentLongest)
        return;
    const std::size_t slot = RecentSlot(subject);
    // The neighbour takes it where the first entry is taken and the neighbour is free.
    TRecent& recent =
        Recent[slot].nSize != 0 && Recent[slot ^ 1].nSize == 0 ? Recent[slot ^ 1] : Recent[slot];
    recent.nSize = static_cast<std::uint8_t>(subject.size());
    std::copy(subject.begin(), subject.end(), recent.Units);
    recent.Found = found;
    recent.nOffset = static_cast<std::uint8_t>(offset);
    recent.nLength = static_cast<std::uint8_t>(length);
}

// ---- TORVIStreamedNode

namespace {
// The states Definition() reads where no block is pinned: none at all, or one off the heap.
const std::atomic<std::uint32_t> g_NoDefinition{rtl::TControlBlock::kFreeing | rtl::TControlBlock::kFreed};
const std::atomic<std::uint32_t> g_DefinitionOffHeap{0};
} // namespace

TORVIStreamedNode::TORVIStreamedNode(TORVIStreamParser* pParser)
    : _pParser(pParser), _pDefinitionState(&g_NoDefinition) {}

TORVIStreamedNode::TORVIStreamedNode(TORVIStreamParser* pParser, rtl::UnicodeString&& szStorage,
                                     rtl::UnicodeStringView szOpen)
    : _pParser(pParser), _pDefinitionState(&g_NoDefinition), _szOpen(szOpen), _szContent(std::move(szStorage)) {}

// Inline: every node made takes its pin here (this unit is the only caller).
inline void TORVIStreamedNode::_PinDefinition(rtl::TPin<TORVIStreamedNodeDefinition>&& pin) noexcept {
    const rtl::TControlBlock* block = pin.Block();
    _pDefinitionState = block ? &block->nState : pin.Pinned() ? &g_DefinitionOffHeap : &g_NoDefinition;
    _pinDefinition = std::move(pin);
}

// Inline: every node freed with its definition alive comes here.
inline void TORVIStreamedNodeDefinition::_KeepContentStorage(rtl::UnicodeString& szContent) noexcept {
    const std::size_t capacity = szContent.capacity();
    if (capacity <= _szSpareContent.capacity() || capacity > kSpareContentLargest)
        return;
    _szSpareContent = std::move(szContent); // takes the storage as it is, with its text
    _szSpareContent.clear();
}

// Flattened: the content storage handed over and the members' ends are each a few instructions,
// less than a call to them.
[[gnu::flatten]] TORVIStreamedNode::~TORVIStreamedNode() {
    // The lock goes back as SetDefinition(nullptr) would give it, without handing the pin around:
    // unless the definition is being freed, or gone (an empty pin's state reads both).
    constexpr std::uint32_t kGoing = rtl::TControlBlock::kFreeing | rtl::TControlBlock::kFreed;
    if (!(_pDefinitionState->load(std::memory_order_acquire) & kGoing)) {
        TORVIStreamedNodeDefinition* definition = _pinDefinition.Pinned();
        definition->_KeepContentStorage(_szContent);
        // The pin first: giving back the lock may free the definition, whose stock then closes.
        definition->_Pins.GiveBack(_pinDefinition);
        _pDefinitionState = &g_NoDefinition;
        if (_blPlainLock)
            definition->_RemoveSelfLock();
        else
            definition->RemoveMemLockReference(definition);
    }
}

void TORVIStreamedNode::SetDefinition(TORVIStreamedNodeDefinition* pDefinition) {
    if (pDefinition == Definition())
        return;
    // The lock is counted on the definition for all its nodes together (a deep nest has many open
    // nodes of one definition, and each locker of its own would make every lock cost the nest's
    // depth); the pin tells a node whose definition was freed outright.
    rtl::TPin<TORVIStreamedNodeDefinition> old = std::move(_pinDefinition);
    _pDefinitionState = &g_NoDefinition;
    _blPlainLock = false;
    if (pDefinition && !pDefinition->_Freeing()) {
        pDefinition->AddMemLockReference(pDefinition);
        _PinDefinition(rtl::TPin<TORVIStreamedNodeDefinition>(pDefinition));
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
    : TORVIReferencedPersistent(AOwner) {
    NestingChanged();
}

TORVIStreamedNodeDefinition::~TORVIStreamedNodeDefinition() {
    _Pins.Close(); // before any other work here: nodes freed from now on give their pins back singly
    NestingChanged();
}

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
    NestingChanged();
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
    NestingChanged();
}

void TORVIStreamedNodeDefinition::DisallowNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass) {
    if (!pNodeClass)
        return;
    _Drop(_pAllowedNodes, pNodeClass);
    if (!_Holds(_pDisallowedNodes, pNodeClass))
        _pDisallowedNodes.push_back(pNodeClass);
    NestingChanged();
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
    ++_nSettings;
    NestingChanged();
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
    ++_nSettings;
    NestingChanged();
    _SetPattern(_szOpen, _pRegOpen, value);
}
void TORVIStreamedNodeDefinition::_SetAllowedMatch(const rtl::UnicodeString& value) {
    ++_nSettings;
    NestingChanged();
    _SetPattern(_szAllowed, _pRegAllowed, value);
}
void TORVIStreamedNodeDefinition::_SetValidMatch(const rtl::UnicodeString& value) {
    ++_nSettings;
    NestingChanged();
    _SetPattern(_szValid, _pRegValid, value);
}
void TORVIStreamedNodeDefinition::_SetCloseMatch(const rtl::UnicodeString& value) {
    ++_nSettings;
    NestingChanged();
    _SetPattern(_szClose, _pRegClose, value);
}
void TORVIStreamedNodeDefinition::_SetEscapes(const rtl::UnicodeString& value) {
    _caEscapes.assign(value.begin(), value.end());
    ++_nSettings;
    NestingChanged();
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
    if (!_pRegOpen && !_szOpen.empty()) {
        const unsigned options = rtl::roSingleLine | CaseOption(_GetCaseInsensitiveOpen());
        _pRegOpen = std::make_unique<rtl::TRegEx>(AnchorStart(_szOpen), options | rtl::roPartial);
        _nOpenDeadBuffer = 0; // found for the form this one replaces
        _OpenProgress.nBuffer = 0;
        MakeFilter(_OpenFilter, *_pRegOpen, StartsWith(_szOpen, u'^') ? rtl::UnicodeString() : _szOpen,
                   _szOpen, options);
    }
    return _pRegOpen.get();
}

rtl::TRegEx* TORVIStreamedNodeDefinition::_GetCloseRegEx() {
    if (!_pRegClose && !_szClose.empty()) {
        _pRegClose = std::make_unique<rtl::TRegEx>(
            AnchorEnd(_szClose), rtl::roSingleLine | rtl::roPartial | CaseOption(_GetCaseInsensitiveClose()));
        _nCloseSerial = ++g_nCompileSerial;
        _CloseFilter = TFilter{};
        _CloseFilter.Info = _pRegClose->Info();
        _CloseFilter.blContextFree = ContextFree(_szClose);
        if (_CloseFilter.blContextFree) {
            // What a pair of units answers holds wherever they stand, unless the expression looks
            // ahead of what it takes.
            if (PairsHoldAnywhere(_szClose))
                _CloseFilter.pCompiled = _pRegClose.get();
            // A buffer of one unit, searched alone, gets the answer found here.
            rtl::TRegExScratch scratch;
            for (char16_t unit = 0; unit < 128; ++unit) {
                long offset = 0, length = 0;
                const char16_t one[1] = {unit};
                const bool whole = _pRegClose->Find(rtl::UnicodeStringView(one, 1), scratch, offset, length);
                _CloseFilter.AloneWhole[unit] = {whole ? rtl::TRegExPartial::rpMatch : rtl::TRegExPartial::rpNoMatch,
                                                 static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(length)};
            }
        }
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
    if (!_pRegAllowed && !_szAllowed.empty()) {
        const unsigned options = rtl::roSingleLine | CaseOption(_GetCaseInsensitiveContent());
        _pRegAllowed = std::make_unique<rtl::TRegEx>(_szAllowed, options | rtl::roPartial);
        _nAllowedDeadBuffer = 0; // found for the form this one replaces
        _AllowedWide = {};
        MakeFilter(_AllowedFilter, *_pRegAllowed, rtl::UnicodeString(), _szAllowed, options);
        // What _AllowedMatch answers for the parser's buffer of one unit, asked once.
        _AllowedAlone[0] = _AllowedAlone[1] = 0;
        for (char16_t unit = 0; unit < 128; ++unit) {
            TUnitSet stops = {};
            const TFilter::TAlone& alone = (_AllowedFilter.blAnchored ? _AllowedFilter.Alone : _AllowedFilter.AloneWhole)[unit];
            if (!RuledOut(_AllowedFilter, rtl::UnicodeStringView(&unit, 1), stops) &&
                alone.Found == rtl::TRegExPartial::rpMatch)
                AddUnit(_AllowedAlone, unit);
        }
    }
    return _pRegAllowed.get();
}

// -- opening, accepting and closing

namespace {

rtl::TRegExScratch& ScratchOf(TORVIStreamParser* pParser, rtl::TRegExScratch* pOwn) {
    return pParser && pOwn ? *pOwn : ThreadScratch();
}

} // namespace

TORVIStreamedNode* TORVIStreamedNodeDefinition::TryMatchOpen(rtl::UnicodeString& szCandidate,
                                                             TORVIStreamParser* pForParser) {
    return _MatchOpen(szCandidate, pForParser, false);
}

TORVIStreamedNode* TORVIStreamedNodeDefinition::_MatchOpen(rtl::UnicodeString& szCandidate,
                                                           TORVIStreamParser* pForParser, bool blScreened) {
    // Screened means screened for the compiled expression, which is the one to match.
    rtl::TRegEx* open = blScreened ? _pRegOpen.get() : _GetOpenRegEx();
    if (!open)
        return nullptr;
    TORVIStreamParser* parser = pForParser ? pForParser : _pParser;
    // The parser's own buffer only grows between its changes: an expression that could not even
    // partly match it cannot match it later either.
    const bool blParserBuffer = parser && &szCandidate == &parser->_szBuffer;
    if (!blScreened && blParserBuffer && _nOpenDeadBuffer == parser->_nBufferSerial && _nOpenDeadBuffer != 0 &&
        _FilterOf(open, _pRegOpen, _OpenFilter))
        return nullptr;
    long offset = 0, length = 0;
    rtl::TRegExPartial found = rtl::TRegExPartial::rpNoMatch;
    const TFilter* filter = _FilterOf(open, _pRegOpen, _OpenFilter);
    if (filter && !blScreened) {
        TUnitSet stops = {};
        if (!szCandidate.empty() && RuledOut(*filter, szCandidate, stops))
            return nullptr;
        if (szCandidate.size() < filter->Info.MinLength)
            return nullptr; // too short for any match yet
    }
    if (!filter || !AnsweredAlone(*filter, szCandidate, found, offset, length)) {
        if (filter && blParserBuffer && szCandidate.size() >= kResumeFrom && _OpenPending(*open, parser))
            return nullptr;
        if (!filter || !filter->Recalled(szCandidate, found, offset, length)) {
            found = open->FindPartial(szCandidate, ScratchOf(parser, parser ? &parser->_Scratch : nullptr),
                                      offset, length);
            if (filter)
                filter->Remember(szCandidate, found, offset, length);
        }
    }
    if (found == rtl::TRegExPartial::rpNoMatch && blParserBuffer && _FilterOf(open, _pRegOpen, _OpenFilter))
        _nOpenDeadBuffer = parser->_nBufferSerial;
    if (found != rtl::TRegExPartial::rpMatch || offset != 0)
        return nullptr;
    // A definition of the base class makes nodes of the base class.
    const bool blPlain = _Plain(nullptr);
    // Made with its open text, its content starting in the storage a freed node left (a node made
    // by CreateNode may have set content of its own).
    const auto nOpen = static_cast<std::size_t>(length);
    TORVIStreamedNode* node =
        blPlain ? rtl::Create<TORVIStreamedNode>(pForParser, std::move(_szSpareContent),
                                                 rtl::UnicodeStringView(szCandidate.data(), nOpen))
                : CreateNode(pForParser);
    if (blPlain) {
        node->_nPlain = 1; // made of the base class here
    } else {
        node->_szOpen.assign(szCandidate, 0, nOpen);
        if (_szSpareContent.capacity() > node->_szContent.capacity() && node->_szContent.empty())
            node->_szContent = std::move(_szSpareContent);
    }
    // The node keeps this definition alive, whatever its handlers do (as SetDefinition would, for a
    // node that has none yet: a plain node is made without).
    if ((blPlain || !node->_pinDefinition.Address()) && !_Freeing()) {
        // The base class overrides none of the lock calls: its count is kept the short way.
        node->_blPlainLock = blPlain;
        if (blPlain)
            _AddSelfLock();
        else
            AddMemLockReference(this);
        node->_PinDefinition(_Pins.Take(this));
    } else {
        node->SetDefinition(this);
    }
    if (nOpen == szCandidate.size())
        szCandidate.clear();
    else
        szCandidate.erase(0, nOpen);
    // The parser that is parsing, which need not be the one whose list holds this definition (a
    // parser that took over another's definitions by Assign shares them).
    if (parser)
        parser->_Push(node);
    if (const TORVIStreamedNodeEvent fnOpen = _fnOpenCallback) {
        rtl::TPin<TORVIStreamedNodeDefinition> self = _Pins.Take(this);
        fnOpen(this, node);
        if (self.Freeing())
            return node; // freed outright by the handler: the node's pin tells it has no definition
        _Pins.GiveBack(self);
    }
    if (!(blPlain && _pRegAllowed) && !_GetAllowedRegEx() && !_GetValidRegEx()) {
        if (!_GetCloseRegEx())
            _DoClose(node);
        else
            _CheckClose(szCandidate, node);
    }
    return node;
}

bool TORVIStreamedNodeDefinition::_OpenPending(const rtl::TRegEx& open, TORVIStreamParser* pParser) {
    const rtl::UnicodeString& buffer = pParser->_szBuffer;
    // The buffer only grows between serial changes: what the search read of it is still there.
    TOpenProgress& progress = _OpenProgress;
    const std::size_t read = progress.Progress.Read();
    if (progress.nBuffer != pParser->_nBufferSerial || read > buffer.size() ||
        (read > 0 && buffer[read - 1] != progress.cLast)) {
        progress.nBuffer = pParser->_nBufferSerial;
        progress.blRefused = false;
        progress.blSearched = false;
        progress.Progress.Reset();
    }
    // A buffer met for the first time often holds a whole match already (a buffer run grows it
    // straight to the expression's required unit): the usual search reads it once and says where
    // the match ends, where a resumed search would read it all and then leave it to that search.
    // Only a buffer that goes on growing after that is resumed.
    if (!progress.blSearched) {
        progress.blSearched = true;
        return false;
    }
    rtl::TRegExPartial found = rtl::TRegExPartial::rpNoMatch;
    if (progress.blRefused || !open.Resume(buffer, progress.Progress, found)) {
        progress.blRefused = true;
        return false;
    }
    progress.cLast = buffer.back();
    if (found == rtl::TRegExPartial::rpNoMatch)
        _nOpenDeadBuffer = pParser->_nBufferSerial;
    // A complete match is left to the usual search, which tells where it ends.
    return found != rtl::TRegExPartial::rpMatch;
}

TORVIStreamedNodeDefinition::TBufferScan* TORVIStreamedNodeDefinition::_CloseBufferScanOf(
    TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer, const rtl::TRegEx& close) {
    if (!pParser || &szBuffer != &pParser->_szBuffer || &close != _pRegClose.get())
        return nullptr;
    TBufferScan& scan = _CloseBufferScan;
    if (scan.nBuffer != pParser->_nBufferSerial || scan.nExpression != _nCloseSerial ||
        szBuffer.size() < scan.nKept || scan.nDead > szBuffer.size())
        scan = {pParser->_nBufferSerial, _nCloseSerial, 0, 0, 0, 0};
    // A run may take its newest unit back to try another (the one read again next time).
    scan.nKept = szBuffer.empty() ? 0 : szBuffer.size() - 1;
    return &scan;
}

bool TORVIStreamedNodeDefinition::_HoldsCloseUnit(TORVIStreamParser* pParser,
                                                  const rtl::UnicodeString& szBuffer, const rtl::TRegEx& close,
                                                  char16_t cUnit) {
    TBufferScan* scan = _CloseBufferScanOf(pParser, szBuffer, close);
    if (!scan)
        return szBuffer.find(cUnit) != rtl::UnicodeString::npos;
    // Where it was found, it stays while the buffer grows.
    const std::size_t found = scan->nUnitAt;
    if (found < szBuffer.size() && found >= scan->nUnitFrom && szBuffer[found] == cUnit)
        return true;
    const std::size_t at = szBuffer.find(cUnit, scan->nUnitFrom);
    scan->nUnitFrom = std::min(at, scan->nKept);
    scan->nUnitAt = at;
    return at != rtl::UnicodeString::npos;
}

bool TORVIStreamedNodeDefinition::_FindCloseInBuffer(TORVIStreamParser* pParser,
                                                     const rtl::UnicodeString& szBuffer, const rtl::TRegEx& close,
                                                     rtl::TRegExScratch& scratch, long& offset, long& length) {
    TBufferScan* scan = _CloseBufferScanOf(pParser, szBuffer, close);
    if (!scan)
        return close.Find(szBuffer, scratch, offset, length);
    if (close.Find(szBuffer, scratch, offset, length, static_cast<long>(scan->nDead)))
        return true;
    // The starts that failed before the buffer's end fail whatever it gains.
    long start = 0, partial = 0;
    switch (close.FindPartial(szBuffer, scratch, start, partial, static_cast<long>(scan->nDead))) {
    case rtl::TRegExPartial::rpNoMatch:
        scan->nDead = szBuffer.size();
        break;
    case rtl::TRegExPartial::rpPartial:
        scan->nDead = static_cast<std::size_t>(start);
        break;
    case rtl::TRegExPartial::rpMatch:
        break;
    }
    return false;
}

TORVIStreamedNode::TCloseScan& TORVIStreamedNodeDefinition::_SyncCloseScan(TORVIStreamedNode* pNode,
                                                                           const rtl::TRegEx& close) {
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    const rtl::UnicodeString& content = pNode->_szContent;
    if (scan.nExpression != _nCloseSerial || scan.nRevision != pNode->_nContentRevision ||
        content.size() < scan.nContent || content.size() < scan.nDeadChecked)
        scan = {{}, 0, 0, 0, pNode->_nContentRevision, _nCloseSerial};
    // No match starts at a unit that cannot start one.
    if (const TFilter* filter = _FilterOf(&close, _pRegClose, _CloseFilter); filter && filter->Info.HasStartUnits) {
        while (scan.nDead < content.size() && !filter->Info.CanStartWith(content[scan.nDead]))
            ++scan.nDead;
        if (scan.nDead == content.size())
            scan.nDeadChecked = content.size();
    }
    return scan;
}

void TORVIStreamedNodeDefinition::_MirrorContent(TORVIStreamedNode* pNode) {
    // Content only grows between revisions: only what it gained is copied.
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    scan.szSubject.resize(scan.nContent);
    scan.szSubject.append(pNode->_szContent, scan.nContent);
    scan.nContent = pNode->_szContent.size();
}

void TORVIStreamedNodeDefinition::_AdvanceCloseScan(TORVIStreamedNode* pNode, const rtl::TRegEx& close,
                                                    rtl::TRegExScratch& scratch) {
    // Move the dead offset over the content alone (no later text can revive a start that failed
    // before its end).
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    const rtl::UnicodeString& content = pNode->_szContent;
    if (content.size() <= scan.nDeadChecked)
        return;
    long offset = 0, length = 0;
    switch (close.FindPartial(content, scratch, offset, length, static_cast<long>(scan.nDead))) {
    case rtl::TRegExPartial::rpNoMatch:
        scan.nDead = content.size();
        break;
    case rtl::TRegExPartial::rpPartial:
        scan.nDead = static_cast<std::size_t>(offset);
        break;
    case rtl::TRegExPartial::rpMatch:
        break;
    }
    scan.nDeadChecked = content.size();
}

TORVIStreamedNode::TCloseScan& TORVIStreamedNodeDefinition::_RefreshCloseScan(TORVIStreamedNode* pNode,
                                                                              const rtl::TRegEx& close,
                                                                              rtl::TRegExScratch& scratch) {
    TORVIStreamedNode::TCloseScan& scan = _SyncCloseScan(pNode, close);
    _AdvanceCloseScan(pNode, close, scratch);
    return scan;
}

bool TORVIStreamedNodeDefinition::_CheckClose(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode) {
    rtl::TRegEx* close = _GetCloseRegEx();
    if (!close || !pNode)
        return false;
    TORVIStreamParser* parser = _ParserOf(pNode);
    rtl::TRegExScratch& scratch = ScratchOf(parser, parser ? &parser->_Scratch : nullptr);
    TORVIStreamedNode::TCloseScan& scan = _SyncCloseScan(pNode, *close);
    // Every close match holds the required unit at or after its start, and no match starts before
    // the dead offset: without that unit in what follows it, there is nothing to look for.
    if (const TFilter* filter = _FilterOf(close, _pRegClose, _CloseFilter); filter && filter->Info.HasRequiredUnit) {
        // Searched from the end: the unit that ended the buffer's run is often the one looked for.
        const rtl::UnicodeString& content = pNode->_szContent;
        if (content.size() - scan.nDead + szBuffer.size() <= kLongestSearch &&
            szBuffer.rfind(filter->Info.RequiredUnit) == rtl::UnicodeString::npos &&
            content.find(filter->Info.RequiredUnit, scan.nDead) == rtl::UnicodeString::npos)
            return false;
    }
    if (_CloseFilter.blContextFree && close == _pRegClose.get() && scan.nDead >= pNode->_szContent.size())
        return _CloseInBuffer(szBuffer, pNode, *close, scratch);
    if (_CloseFilter.blContextFree && close == _pRegClose.get())
        return _CloseInTail(szBuffer, pNode, *close, scratch);
    _MirrorContent(pNode);
    // The whole text is searched first: when it closes the node, the content alone need not be.
    scan.szSubject.append(szBuffer);
    long offset = 0, length = 0;
    if (!close->Find(scan.szSubject, scratch, offset, length, static_cast<long>(scan.nDead))) {
        scan.szSubject.resize(scan.nContent);
        _AdvanceCloseScan(pNode, *close, scratch);
        return false;
    }

    const auto start = static_cast<std::size_t>(offset);
    const auto end = start + static_cast<std::size_t>(length);
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

bool TORVIStreamedNodeDefinition::_CloseInTail(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode,
                                               const rtl::TRegEx& close, rtl::TRegExScratch& scratch) {
    // No match starts before the dead offset and none depends on what comes before its start: the
    // content from there on, followed by the buffer, answers as the whole text would.
    const rtl::UnicodeString& content = pNode->_szContent;
    const std::size_t from = pNode->_CloseScan.nDead;
    rtl::UnicodeString& tail = _szCloseTail;
    tail.assign(content, from);
    tail.append(szBuffer);
    long offset = 0, length = 0;
    if (!close.Find(tail, scratch, offset, length)) {
        _AdvanceCloseScan(pNode, close, scratch);
        return false;
    }
    const std::size_t start = from + static_cast<std::size_t>(offset);
    if (_GetAllowsContainedText()) {
        if (start >= content.size())
            pNode->_AppendContent(rtl::UnicodeStringView(tail).substr(content.size() - from, start - content.size()));
        else
            pNode->_SetContent(content.substr(0, start));
    } else if (start > 0) {
        const rtl::UnicodeString name = _GetName();
        throw EORVIStreamError(name.empty() ? rtl::UnicodeString(u"Unexpected text found in unnamed node")
                                            : u"Unexpected text found in " + name + u" node");
    }
    pNode->_szClose.assign(tail, static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    szBuffer.assign(tail, static_cast<std::size_t>(offset + length));
    _DoClose(pNode);
    return true;
}

bool TORVIStreamedNodeDefinition::_CloseInBuffer(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode,
                                                 const rtl::TRegEx& close, rtl::TRegExScratch& scratch) {
    // No match starts in the content and none depends on what comes before it: the buffer alone
    // answers as the content followed by the buffer would.
    long offset = 0, length = 0;
    if (rtl::TRegExPartial found; AnsweredAlone(_CloseFilter, szBuffer, found, offset, length, false)) {
        if (found != rtl::TRegExPartial::rpMatch)
            return false;
    } else if (const std::size_t gap = szBuffer.size() < kResumeFrom ? _RunCloseGapOf(pNode, szBuffer, close) : 0;
               gap > 1 && NoMatchIn(_CloseFilter, szBuffer, gap)) {
        return false; // an open tag's buffer, say, offered at the unit that ended its run
    } else if (__builtin_expect(szBuffer.size() >= kResumeFrom, 0)
                   ? !_FindCloseInBuffer(_ParserOf(pNode), szBuffer, close, scratch, offset, length)
                   : !close.Find(szBuffer, scratch, offset, length)) {
        return false;
    }
    const auto start = static_cast<std::size_t>(offset);
    const auto size = static_cast<std::size_t>(length);
    if (_GetAllowsContainedText()) {
        pNode->_AppendContent(rtl::UnicodeStringView(szBuffer).substr(0, start));
    } else if (start > 0 || !pNode->_szContent.empty()) {
        const rtl::UnicodeString name = _GetName();
        throw EORVIStreamError(name.empty() ? rtl::UnicodeString(u"Unexpected text found in unnamed node")
                                            : u"Unexpected text found in " + name + u" node");
    }
    pNode->_szClose.assign(szBuffer, start, size);
    szBuffer.erase(0, start + size);
    _DoClose(pNode);
    return true;
}

inline std::size_t TORVIStreamedNodeDefinition::_RunCloseGapOf(TORVIStreamedNode* pNode,
                                                               const rtl::UnicodeString& szBuffer,
                                                               const rtl::TRegEx& close) {
    TORVIStreamParser* parser = _ParserOf(pNode);
    if (!parser || &szBuffer != &parser->_szBuffer || &close != _pRegClose.get())
        return 0;
    const TORVIStreamParser::TRunCloseGap& gap = parser->_RunCloseGap;
    if (gap.nBuffer != parser->_nBufferSerial || gap.nExpression != _nCloseSerial || gap.nUpTo > szBuffer.size())
        return 0;
    return gap.nUpTo;
}

void TORVIStreamedNodeDefinition::_FetchEscaped(TORVIStreamedNode* pNode, rtl::UnicodeString& szInto) {
    TORVIStreamParser* parser = _ParserOf(pNode);
    if (!parser || !parser->_pInput) {
        szInto.clear();
        return;
    }
    if (!parser->_Plain()) {
        szInto = parser->SlurpCharacters(1);
        return;
    }
    // One character as the base class's SlurpCharacters(1) reads it, straight into place (a single
    // unit over the escape itself).
    TORVIStreamParser::TInput& in = parser->_Input;
    if (szInto.size() == 1 && in.nUnit < in.Text.size() &&
        !(in.nWide < in.Wide.size() && in.Wide[in.nWide].first == in.nUnit)) {
        szInto[0] = in.Text[in.nUnit++];
        ++parser->_nCharCount;
        return;
    }
    if (parser->_Next(szInto, true))
        ++parser->_nCharCount;
}

inline bool TORVIStreamedNodeDefinition::_AcceptContent(rtl::UnicodeString& szCandidate, TORVIStreamedNode* pCandidate,
                                                 TORVIStreamParser* parser) {
    bool blAccepted = false;
    if (!szCandidate.empty() && _GetAllowsContainedText()) {
        rtl::TRegExScratch& scratch = ScratchOf(parser, parser ? &parser->_Scratch : nullptr);
        rtl::TRegEx* valid = _GetValidRegEx();
        long offset = 0, length = 0;
        if (valid) {
            const rtl::UnicodeString subject = pCandidate->Text() + szCandidate;
            if (valid->Find(subject, scratch, offset, length)) {
                blAccepted = true;
                const auto start = static_cast<std::size_t>(offset);
                const auto size = static_cast<std::size_t>(length);
                const std::size_t skip = std::min(pCandidate->_szOpen.size(), size);
                pCandidate->_SetContent(subject.substr(start + skip, size - skip));
                szCandidate = subject.substr(start + size);
                if (!szCandidate.empty())
                    _DoClose(pCandidate);
                return true;
            }
        }
        rtl::TRegEx* allowed = _GetAllowedRegEx();
        if (allowed && _AllowedMatch(*allowed, parser, szCandidate, scratch, offset, length)) {
            blAccepted = true;
            if (!valid) {
                const auto start = static_cast<std::size_t>(offset);
                const auto size = static_cast<std::size_t>(length);
                pCandidate->_AppendContent(rtl::UnicodeStringView(szCandidate).substr(start, size));
                szCandidate.erase(start, size);
            }
        }
    }
    if (!blAccepted && !_GetAllowsContainedNodes())
        _DoClose(pCandidate);
    return blAccepted;
}

bool TORVIStreamedNodeDefinition::TryAccept(rtl::UnicodeString& szCandidate, TORVIStreamedNode* pCandidate) {
    if (!pCandidate)
        return false;
    const bool blEscape = szCandidate.size() == 1 &&
                          std::find(_caEscapes.begin(), _caEscapes.end(), szCandidate[0]) != _caEscapes.end();
    TORVIStreamParser* parser = _ParserOf(pCandidate);
    if (blEscape) {
        // The escaped character is taken as it is (or as the handler says), never as a close.
        _FetchEscaped(pCandidate, szCandidate);
        if (parser && &szCandidate == &parser->_szBuffer)
            parser->_BufferChanged();
        if (const TORVIStreamParserEscapeEvent fnEscape = _fnEscapeHandler;
            fnEscape && !szCandidate.empty()) {
            rtl::TPin<TORVIStreamedNodeDefinition> self = _Pins.Take(this);
            szCandidate[0] = fnEscape(this, szCandidate[0]);
            if (self.Freeing())
                return false; // the handler freed this definition: the node has none left
            _Pins.GiveBack(self);
        }
    } else if (_CheckClose(szCandidate, pCandidate)) {
        return true;
    }
    return _AcceptContent(szCandidate, pCandidate, parser);
}

inline void TORVIStreamedNodeDefinition::_TakeAlone(rtl::UnicodeString& buffer, TORVIStreamedNode* pNode,
                                                    char16_t unit, bool blOneUnitClose) {
    const TFilter::TAlone& alone = (_AllowedFilter.blAnchored ? _AllowedFilter.Alone : _AllowedFilter.AloneWhole)[unit];
    _TakeSpan(buffer, pNode, unit, alone.nOffset, alone.nLength, blOneUnitClose);
}

inline void TORVIStreamedNodeDefinition::_TakeSpan(rtl::UnicodeString& buffer, TORVIStreamedNode* pNode,
                                                   char16_t unit, std::size_t nOffset, std::size_t nLength,
                                                   bool blOneUnitClose) {
    const std::size_t from = pNode->_szContent.size();
    if (nOffset == 0 && nLength == 1 && buffer.size() == 1) {
        pNode->_szContent.push_back(unit); // the whole buffer, as the append and erase below would take it
        buffer.clear();
    } else {
        pNode->_AppendContent(rtl::UnicodeStringView(buffer).substr(nOffset, nLength));
        buffer.erase(nOffset, nLength);
    }
    if (_pRegClose && _CloseFilter.Info.HasStartUnits && !_CloseFilter.Info.CanStartWith(unit))
        _NoCloseStartsFrom(pNode, from);
    else if (blOneUnitClose && nOffset == 0 && nLength == 1)
        _CloseDeadAtEnd(pNode, _nCloseSerial); // the content ends with the unit, which no close matches
}

inline int TORVIStreamedNodeDefinition::_AcceptUnit(TORVIStreamParser* pParser, TORVIStreamedNode* pNode,
                                                    bool blScanAtEnd) {
    // The steps TryAccept would take, each answered as it answers a subject of this unit alone:
    // whatever is not known so (an escape, an expression not compiled yet or without that answer,
    // a close match that may start in the content) is left to TryAccept.
    rtl::UnicodeString& buffer = pParser->_szBuffer;
    const char16_t unit = buffer[0]; // ASCII
    const bool blText = _Has(snd_AllowsText);
    if ((pNode->_pParser != pParser && _ParserOf(pNode) != pParser) || !_UnitAnswerable())
        return -1;
    if (_blAsciiEscapes && (_EscapeUnits[unit >> 6] >> (unit & 63) & 1) != 0)
        return _AcceptEscape(pParser, pNode);
    bool blOneUnitClose = false; // the close was answered from the unit alone, though the content may hold a start
    if (_pRegClose) {
        if (!blScanAtEnd && !pNode->_szContent.empty() && !_CloseScanAtEnd(pNode) &&
            _SyncCloseScan(pNode, *_pRegClose).nDead < pNode->_szContent.size()) {
            if ((unit >= u'\n' && unit <= u'\r') || !_CloseIsOneUnit())
                return -1;
            blOneUnitClose = true;
        }
        if (const TFilter::TAlone& close = _CloseFilter.AloneWhole[unit];
            close.Found == rtl::TRegExPartial::rpMatch) {
            // The close is the unit itself: no text comes before it, so the buffer search would add
            // none to the content and find nothing to refuse.
            if (close.nOffset != 0 || close.nLength != 1 ||
                (!_GetAllowsContainedText() && !pNode->_szContent.empty()))
                return _CloseInBuffer(buffer, pNode, *_pRegClose, pParser->_Scratch) ? 1 : 0;
            pNode->_szClose.assign(1, unit);
            buffer.clear();
            _DoClose(pNode);
            return 1;
        }
    }
    if (blText && _pRegAllowed && HasUnit(_AllowedAlone, unit) &&
        !(_AllowedFilter.blAnchored && _nAllowedDeadBuffer == pParser->_nBufferSerial && _nAllowedDeadBuffer != 0)) {
        _TakeAlone(buffer, pNode, unit, blOneUnitClose);
        return 1;
    }
    if (!_Has(snd_AllowsNodes))
        _DoClose(pNode);
    return 0;
}

bool TORVIStreamedNodeDefinition::_WorkOutUnitAnswerable() {
    // A compiled expression is dropped only with a change of the settings, and a true answer asks
    // no more than that the expressions are compiled: it holds until the next change.
    if ((!_szClose.empty() && (!_pRegClose || !_CloseFilter.blContextFree)) ||
        (_Has(snd_AllowsText) && (!_szValid.empty() || (!_szAllowed.empty() && !_pRegAllowed))))
        return false;
    _EscapeUnits[0] = _EscapeUnits[1] = 0;
    for (const char16_t escape : _caEscapes)
        if (escape < 128)
            AddUnit(_EscapeUnits, escape);
    _blAsciiEscapes = (_EscapeUnits[0] | _EscapeUnits[1]) != 0;
    _nUnitSettings = _nSettings;
    return true;
}

bool TORVIStreamedNodeDefinition::_WorkOutOneUnitClose() {
    // One unit that stands for itself, or an escaped punctuation unit; a trailing '$' would be
    // taken as the anchor, leaving the expression unanchored.
    const rtl::UnicodeString& pattern = _szClose;
    const auto plain = [](char16_t unit) {
        return unit > u' ' && unit < 127 && !std::strchr("\\^$.|?*+()[]{}", static_cast<char>(unit));
    };
    const auto punctuation = [](char16_t unit) {
        return unit > u' ' && unit < 127 && unit != u'$' && !std::isalnum(static_cast<unsigned char>(unit));
    };
    _OneUnitCloseUnits[0] = _OneUnitCloseUnits[1] = 0;
    for (char16_t unit = 0; unit < 128; ++unit)
        if (_CloseFilter.AloneWhole[unit].Found != rtl::TRegExPartial::rpNoMatch)
            AddUnit(_OneUnitCloseUnits, unit);
    _blOneUnitClose = _CloseFilter.blContextFree && _CloseFilter.Info.MinLength == 1 &&
                      ((pattern.size() == 1 && plain(pattern[0])) ||
                       (pattern.size() == 2 && pattern[0] == u'\\' && punctuation(pattern[1])));
    _nOneUnitSerial = _nCloseSerial;
    return _blOneUnitClose;
}

void TORVIStreamedNodeDefinition::_CloseDeadAtEnd(TORVIStreamedNode* pNode, std::uint64_t nCloseSerial) {
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    if (scan.nExpression != nCloseSerial || scan.nRevision != pNode->_nContentRevision) {
        scan.szSubject.clear();
        scan.nContent = 0;
        scan.nRevision = pNode->_nContentRevision;
        scan.nExpression = nCloseSerial;
    }
    scan.nDead = scan.nDeadChecked = pNode->_szContent.size();
}

int TORVIStreamedNodeDefinition::_AcceptEscape(TORVIStreamParser* pParser, TORVIStreamedNode* pNode) {
    // TryAccept's steps for an escape: the escaped character is taken as it is (or as the handler
    // says), never as a close.
    rtl::UnicodeString& buffer = pParser->_szBuffer;
    // The escaped unit read straight over the escape when it is a character alone (see _FetchEscaped).
    if (TORVIStreamParser::TInput& in = pParser->_Input;
        pParser->_pInput && pParser->_Plain() && buffer.size() == 1 && in.nUnit < in.Text.size() &&
        !(in.nWide < in.Wide.size() && in.Wide[in.nWide].first == in.nUnit)) {
        buffer[0] = in.Text[in.nUnit++];
        ++pParser->_nCharCount;
    } else {
        _FetchEscaped(pNode, buffer);
    }
    pParser->_BufferChanged();
    if (const TORVIStreamParserEscapeEvent fnEscape = _fnEscapeHandler; fnEscape && !buffer.empty()) {
        rtl::TPin<TORVIStreamedNodeDefinition> self = _Pins.Take(this);
        buffer[0] = fnEscape(this, buffer[0]);
        if (self.Freeing())
            return 0; // the handler freed this definition: the node has none left
        _Pins.GiveBack(self);
    }
    // A unit that the allowed-content expression answered alone, as _AllowedMatch answers it: an
    // ASCII one when compiled, one past ASCII when last met (every \uXXXX escape, say); anything
    // else (the handler may have changed the expressions too) as TryAccept takes it.
    if (buffer.size() != 1 || !_Has(snd_AllowsText) || !_szValid.empty() || !_pRegAllowed ||
        (_AllowedFilter.blAnchored && _nAllowedDeadBuffer == pParser->_nBufferSerial && _nAllowedDeadBuffer != 0))
        return _AcceptContent(buffer, pNode, pParser) ? 1 : 0;
    const char16_t unit = buffer[0];
    std::size_t nOffset = 0, nLength = 0; // the span taken, as _TakeAlone finds it for an ASCII unit
    if (unit < 128) {
        if (!HasUnit(_AllowedAlone, unit))
            return _AcceptContent(buffer, pNode, pParser) ? 1 : 0;
        const TFilter::TAlone& alone =
            (_AllowedFilter.blAnchored ? _AllowedFilter.Alone : _AllowedFilter.AloneWhole)[unit];
        nOffset = alone.nOffset;
        nLength = alone.nLength;
    } else {
        // The answer kept is asked only where the filter answers nothing for the unit, which it does
        // from the unit alone: kept for this unit, it is what asking again would find.
        const TUnitAnswer& known = _AllowedWide;
        if (!_AllowedFilter.blAnchored || !known.blKnown || known.cUnit != unit ||
            known.Found != rtl::TRegExPartial::rpMatch)
            return _AcceptContent(buffer, pNode, pParser) ? 1 : 0;
        nOffset = static_cast<std::size_t>(known.nOffset);
        nLength = static_cast<std::size_t>(known.nLength);
    }
    _TakeSpan(buffer, pNode, unit, nOffset, nLength, false);
    return 1;
}

bool TORVIStreamedNodeDefinition::_AllowedMatch(const rtl::TRegEx& allowed, TORVIStreamParser* pParser,
                                                const rtl::UnicodeString& szCandidate, rtl::TRegExScratch& scratch,
                                                long& offset, long& length) {
    const TFilter* filter = _FilterOf(&allowed, _pRegAllowed, _AllowedFilter);
    if (!filter)
        return allowed.Find(szCandidate, scratch, offset, length);
    const bool blParserBuffer = pParser && &szCandidate == &pParser->_szBuffer;
    if (blParserBuffer && szCandidate.size() == 1 && szCandidate[0] < 128) {
        // What the steps below answer for this unit was found when the expression was compiled.
        const char16_t unit = szCandidate[0];
        if (!HasUnit(_AllowedAlone, unit) ||
            (filter->blAnchored && _nAllowedDeadBuffer == pParser->_nBufferSerial && _nAllowedDeadBuffer != 0))
            return false;
        const TFilter::TAlone& alone = (filter->blAnchored ? filter->Alone : filter->AloneWhole)[unit];
        offset = alone.nOffset;
        length = alone.nLength;
        return true;
    }
    TUnitSet stops = {};
    if (RuledOut(*filter, szCandidate, stops))
        return false;
    // An expression that matches only at the start and could not even partly match the parser's
    // buffer cannot match it while it only grows.
    const bool blDeadKnown = filter->blAnchored && blParserBuffer;
    if (blDeadKnown && _nAllowedDeadBuffer == pParser->_nBufferSerial && _nAllowedDeadBuffer != 0)
        return false;
    if (rtl::TRegExPartial found; AnsweredAlone(*filter, szCandidate, found, offset, length, blDeadKnown))
        return found == rtl::TRegExPartial::rpMatch;
    if (!blDeadKnown)
        return allowed.Find(szCandidate, scratch, offset, length);
    rtl::TRegExPartial found;
    if (szCandidate.size() == 1) {
        // A unit past ASCII alone (an escape that stands for one, say) comes again and again: the
        // expression's answer to it is kept.
        TUnitAnswer& known = _AllowedWide;
        if (!known.blKnown || known.cUnit != szCandidate[0]) {
            known.blKnown = false;
            known.Found = allowed.FindPartial(szCandidate, scratch, known.nOffset, known.nLength);
            known.cUnit = szCandidate[0];
            known.blKnown = true;
        }
        found = known.Found;
        offset = known.nOffset;
        length = known.nLength;
    } else {
        found = allowed.FindPartial(szCandidate, scratch, offset, length);
    }
    if (found == rtl::TRegExPartial::rpNoMatch)
        _nAllowedDeadBuffer = pParser->_nBufferSerial;
    return found == rtl::TRegExPartial::rpMatch;
}

// -- what the parser may do in one step for a run of characters

void TORVIStreamedNodeDefinition::_AskPlain(const TORVIStreamedNode* pNode) const {
    if (_nPlain < 0)
        _nPlain = typeid(*this) == typeid(TORVIStreamedNodeDefinition) ? 1 : 0;
    if (pNode && pNode->_nPlain < 0)
        pNode->_nPlain = typeid(*pNode) == typeid(TORVIStreamedNode) ? 1 : 0;
}

inline bool TORVIStreamedNodeDefinition::_CloseScanAtEnd(const TORVIStreamedNode* pNode) const {
    const TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    const std::size_t size = pNode->_szContent.size();
    return scan.nExpression == _nCloseSerial && scan.nRevision == pNode->_nContentRevision && scan.nDead == size &&
           scan.nDeadChecked == size && scan.nContent <= size;
}

inline bool TORVIStreamedNodeDefinition::_ContentUnits(TORVIStreamedNode* pNode, std::uint64_t (&units)[2],
                                                       bool& blLineEnds) {
    // The common case, answered inline: units known for the settings and the line end of the
    // node's parser, and no close scan to ask (empty content, or a dead offset at its end already).
    const TContentRun& run = _ContentRun;
    const TORVIStreamParser* parser = pNode->_pParser;
    if (run.nReady != _nSettings || pNode->_nPlain != 1 || !parser || run.nLineEnd != parser->_nLineEndSerial ||
        (run.blCloseUnit && !pNode->_szContent.empty() && !_CloseScanAtEnd(pNode)))
        return _ContentUnitsAsking(pNode, units, blLineEnds);
    units[0] = run.Units[0];
    units[1] = run.Units[1];
    blLineEnds = run.blLineEnds;
    return true;
}

bool TORVIStreamedNodeDefinition::_ContentUnitsAsking(TORVIStreamedNode* pNode, std::uint64_t (&units)[2],
                                                      bool& blLineEnds) {
    if (!_Plain(pNode))
        return false;
    TORVIStreamParser* parser = _ParserOf(pNode);
    if (!parser)
        return false;
    TContentRun& run = _ContentRun;
    if (!run.blKnown || run.nSettings != _nSettings || run.nLineEnd != parser->_nLineEndSerial)
        _WorkOutContentRun(parser);
    if (!run.blRuns)
        return false;
    run.nReady = run.nSettings; // this definition is of the base class
    if (run.blCloseUnit && !pNode->_szContent.empty() && !_CloseScanAtEnd(pNode) && _pRegClose &&
        _CloseIsOneUnit()) {
        // The steps for units that no close matches alone and that are no line ends would each
        // decide the close from the unit (see _AcceptUnit): the run takes only such units.
        constexpr std::uint64_t kLineEnds = std::uint64_t{0xF} << u'\n';
        units[0] = run.Units[0] & ~_OneUnitCloseUnits[0] & ~kLineEnds;
        units[1] = run.Units[1] & ~_OneUnitCloseUnits[1];
        blLineEnds = false;
        _blOneUnitRun = true;
        return true;
    }
    // A close match would have to start in the run (every start before it is dead) and hold the
    // required unit, which the run leaves out.
    // (Empty content holds no start: its scan need not be brought up to date to tell. Where the
    // units that cannot start a match reach the end, searching the content would not move the
    // dead offset back before it.)
    if (run.blCloseUnit && !pNode->_szContent.empty() &&
        _SyncCloseScan(pNode, *_pRegClose).nDead < pNode->_szContent.size() &&
        _RefreshCloseScan(pNode, *_pRegClose, parser->_Scratch).nDead < pNode->_szContent.size())
        return false;
    units[0] = run.Units[0];
    units[1] = run.Units[1];
    blLineEnds = run.blLineEnds;
    return true;
}

void TORVIStreamedNodeDefinition::_WorkOutContentRun(TORVIStreamParser* pParser) {
    TContentRun& run = _ContentRun;
    run = TContentRun{};
    run.blKnown = true;
    run.nSettings = _nSettings;
    run.szLineEnd = pParser->_szNormedLineEnd;
    run.nLineEnd = pParser->_nLineEndSerial;
    if (!_GetAllowsContainedText() || _GetValidRegEx())
        return;
    rtl::TRegEx* allowed = _GetAllowedRegEx();
    TFilter* filter = _FilterOf(allowed, _pRegAllowed, _AllowedFilter);
    if (!filter)
        return;
    std::uint64_t(&units)[2] = run.Units;
    units[0] = filter->Singly[0];
    units[1] = filter->Singly[1];
    char16_t cCloseUnit = 0;
    if (rtl::TRegEx* close = _GetCloseRegEx()) {
        const TFilter* closeFilter = _FilterOf(close, _pRegClose, _CloseFilter);
        if (!closeFilter || !closeFilter->Info.HasRequiredUnit)
            return;
        TUnitSet drop = {};
        AddUnit(drop, closeFilter->Info.RequiredUnit);
        run.blCloseUnit = true;
        cCloseUnit = closeFilter->Info.RequiredUnit;
        run.cCloseUnit = cCloseUnit;
        units[0] &= ~drop[0];
        units[1] &= ~drop[1];
    }
    for (const char16_t escape : _caEscapes)
        if (escape < 128)
            units[escape >> 6] &= ~(std::uint64_t{1} << (escape & 63));
    units[0] &= ~((std::uint64_t{1} << u'\r') | (std::uint64_t{1} << u'\n'));
    // A line end comes as the parser's normalised one, which must be taken whole.
    const rtl::UnicodeString& lineEnd = run.szLineEnd;
    long offset = 0, length = 0;
    const bool blTakesLineEnd = allowed->Find(lineEnd, pParser->_Scratch, offset, length) && offset == 0 &&
                                static_cast<std::size_t>(length) == lineEnd.size();
    const bool blOneEscape = lineEnd.size() == 1 &&
                             std::find(_caEscapes.begin(), _caEscapes.end(), lineEnd[0]) != _caEscapes.end();
    run.blLineEnds = lineEnd.empty() ||
                     (!blOneEscape && (!run.blCloseUnit || lineEnd.find(cCloseUnit) == rtl::UnicodeString::npos) &&
                      blTakesLineEnd);
    run.blRuns = (units[0] | units[1]) != 0 || run.blLineEnds;
    if (const TFilter* closeFilter = _FilterOf(_pRegClose.get(), _pRegClose, _CloseFilter);
        closeFilter && closeFilter->Info.HasStartUnits) {
        run.blStartsNoClose = true;
        for (char16_t unit = 0; unit < 128; ++unit)
            if (HasUnit(units, unit) && closeFilter->Info.CanStartWith(unit))
                run.blStartsNoClose = false;
        if (run.blLineEnds)
            for (const char16_t unit : lineEnd)
                run.blStartsNoClose = run.blStartsNoClose && !closeFilter->Info.CanStartWith(unit);
    }
}

inline bool TORVIStreamedNodeDefinition::_ContentRunTaken(TORVIStreamedNode* pNode, std::size_t nFrom) {
    return _ContentRun.blStartsNoClose && _NoCloseStartsFrom(pNode, nFrom);
}

inline bool TORVIStreamedNodeDefinition::_NoCloseStartsFrom(TORVIStreamedNode* pNode, std::size_t nFrom) {
    // The scan is left as bringing it up to date would leave it: the dead offset at the end.
    TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
    if (scan.nExpression != _nCloseSerial || scan.nRevision != pNode->_nContentRevision) {
        if (nFrom != 0)
            return false;
        scan.szSubject.clear();
        scan.nContent = scan.nDead = scan.nDeadChecked = 0;
        scan.nRevision = pNode->_nContentRevision;
        scan.nExpression = _nCloseSerial;
    }
    if (scan.nDead != nFrom || scan.nContent > nFrom || scan.nDeadChecked > nFrom)
        return false;
    scan.nDead = scan.nDeadChecked = pNode->_szContent.size();
    return true;
}

bool TORVIStreamedNodeDefinition::_ContentTakesWide(char16_t cUnit, TORVIStreamParser* pParser) {
    // What a step would do with the unit alone in the buffer: not an escape, no close (the required
    // unit is left out, as for the ASCII units), and the allowed-content expression takes it whole.
    TContentRun& run = _ContentRun;
    TContentRun::TWide& known = run.Wide[cUnit % std::size(run.Wide)];
    if (known.nTakes < 0 || known.cUnit != cUnit) {
        known.cUnit = cUnit;
        known.nTakes = 0;
        long offset = 0, length = 0;
        const char16_t one[1] = {cUnit};
        if ((cUnit < 0xD800 || cUnit > 0xDFFF) && !(run.blCloseUnit && cUnit == run.cCloseUnit) &&
            !(run.blStartsNoClose && _CloseFilter.Info.CanStartWith(cUnit)) &&
            std::find(_caEscapes.begin(), _caEscapes.end(), cUnit) == _caEscapes.end() &&
            _pRegAllowed->Find(rtl::UnicodeStringView(one, 1), pParser->_Scratch, offset, length))
            known.nTakes = offset == 0 && length == 1;
    }
    return known.nTakes > 0;
}

bool TORVIStreamedNodeDefinition::_IgnoresBuffer(TORVIStreamedNode* pNode, const rtl::UnicodeString& szBuffer,
                                                 std::uint64_t (&stops)[2]) {
    if (!_Plain(pNode) || szBuffer.empty())
        return false;
    TORVIStreamParser* parser = _ParserOf(pNode);
    // Of the base class: its getters answer from the members, compiling what is not compiled yet.
    if (rtl::TRegEx* close = _pRegClose ? _pRegClose.get() : _GetCloseRegEx()) {
        const TFilter* filter = _FilterOf(close, _pRegClose, _CloseFilter);
        if (!filter || !filter->Info.HasRequiredUnit || !parser)
            return false;
        const char16_t unit = filter->Info.RequiredUnit;
        const bool blHeld = __builtin_expect(szBuffer.size() >= kResumeFrom, 0)
                                ? _HoldsCloseUnit(parser, szBuffer, *close, unit)
                                : szBuffer.find(unit) != rtl::UnicodeString::npos;
        if (blHeld || !_CloseScanClear(pNode, *close))
            return false;
        AddUnit(stops, filter->Info.RequiredUnit);
    }
    if (_Has(snd_AllowsText)) {
        if (_pRegValid || (!_szValid.empty() && _GetValidRegEx()))
            return false;
        if (rtl::TRegEx* allowed = _pRegAllowed ? _pRegAllowed.get() : _GetAllowedRegEx()) {
            const TFilter* filter = _FilterOf(allowed, _pRegAllowed, _AllowedFilter);
            const bool blDead = filter && filter->blAnchored && parser && &szBuffer == &parser->_szBuffer &&
                                _nAllowedDeadBuffer == parser->_nBufferSerial && _nAllowedDeadBuffer != 0;
            if (!filter || !(blDead || RuledOut(*filter, szBuffer, stops)))
                return false;
        }
    }
    // Nothing accepted: a node that takes no nodes would close.
    return _Has(snd_AllowsNodes);
}

bool TORVIStreamedNodeDefinition::_RefreshedScanClear(TORVIStreamedNode* pNode, const rtl::TRegEx& close) {
    TORVIStreamParser* parser = _ParserOf(pNode);
    return parser && _RefreshCloseScan(pNode, close, parser->_Scratch).nDead >= pNode->_szContent.size();
}

bool TORVIStreamedNodeDefinition::_CannotOpen(TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer,
                                              std::uint64_t (&stops)[2], std::size_t& nRoom) {
    if (!_Plain(nullptr))
        return false;
    rtl::TRegEx* open = _pRegOpen ? _pRegOpen.get() : _GetOpenRegEx(); // the base class's getter
    if (!open)
        return true;
    const TFilter* filter = _FilterOf(open, _pRegOpen, _OpenFilter);
    if (!filter)
        return false;
    if (_nOpenDeadBuffer == pParser->_nBufferSerial && _nOpenDeadBuffer != 0)
        return true;
    // No text starting with the buffer's first two units can match: nothing that comes later
    // revives it, so no unit needs to stop a run for it.
    if (filter->blAnchored && szBuffer.size() >= 2 && &szBuffer == &pParser->_szBuffer &&
        DeadPair(*filter, szBuffer[0], szBuffer[1])) {
        _nOpenDeadBuffer = pParser->_nBufferSerial;
        return true;
    }
    if (RuledOut(*filter, szBuffer, stops))
        return true;
    // Too short for any match: it cannot open before it has grown to the shortest match.
    if (szBuffer.size() >= filter->Info.MinLength)
        return false;
    nRoom = std::min<std::size_t>(nRoom, filter->Info.MinLength - 1 - szBuffer.size());
    return true;
}

int TORVIStreamedNodeDefinition::_RecalledOpen(TORVIStreamParser* pParser) {
    rtl::TRegExPartial found = rtl::TRegExPartial::rpNoMatch;
    long offset = 0, length = 0;
    if (!_pRegOpen || !_Plain(nullptr) || !_OpenFilter.Recalled(pParser->_szBuffer, found, offset, length))
        return -1;
    if (found == rtl::TRegExPartial::rpNoMatch)
        _nOpenDeadBuffer = pParser->_nBufferSerial;
    return found == rtl::TRegExPartial::rpMatch && offset == 0 ? 1 : 0;
}

bool TORVIStreamedNodeDefinition::_CannotOpenNow(TORVIStreamParser* pParser) {
    // Only what TryMatchOpen would settle without a call, for an expression compiled already.
    if (!_Plain(nullptr) || !_pRegOpen)
        return false;
    const rtl::UnicodeString& buffer = pParser->_szBuffer;
    if (_nOpenDeadBuffer == pParser->_nBufferSerial && _nOpenDeadBuffer != 0)
        return true;
    if (buffer.size() == 1 && buffer[0] < 128 && _OpenFilter.blShortKnown)
        return HasUnit(_OpenFilter.Short, buffer[0]);
    if (_OpenFilter.blAnchored && buffer.size() >= 2 && DeadPair(_OpenFilter, buffer[0], buffer[1])) {
        _nOpenDeadBuffer = pParser->_nBufferSerial;
        return true;
    }
    TUnitSet stops = {};
    if (!buffer.empty() && RuledOut(_OpenFilter, buffer, stops))
        return true;
    return buffer.size() < _OpenFilter.Info.MinLength;
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

// ---- TORVIStreamParser

TORVIStreamParser::TORVIStreamParser(rtl::TPersistent* AOwner)
    : TORVIReferencedPersistent(AOwner), _nLineEndSerial(++g_nCompileSerial) {}

void TORVIStreamParser::_SetNormalisedLineEnd(const rtl::UnicodeString& value) {
    _szNormedLineEnd = value;
    _nLineEndSerial = ++g_nCompileSerial;
}

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
    NestingChanged();
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

// -- reading

namespace {

// A whole, well-formed UTF-8 sequence of two to four bytes at pBytes: its units appended to szChars
// and its length; 0 for anything else (which the encoding's own decoder then judges).
int DecodeUtf8Whole(const std::uint8_t* pBytes, std::size_t nAvailable, rtl::UnicodeString& szChars) {
    const std::uint8_t lead = pBytes[0];
    int length = 0;
    std::uint32_t cp = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, cp = lead & 0x1Fu, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, cp = lead & 0x0Fu, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, cp = lead & 0x07u, least = 0x10000;
    if (length == 0 || nAvailable < static_cast<std::size_t>(length))
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((pBytes[k] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (pBytes[k] & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    if (cp < 0x10000) {
        szChars.push_back(static_cast<char16_t>(cp));
    } else {
        szChars.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        szChars.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    return length;
}

// One character from bytes (as many as available): its units in szChars and its byte count; 0 when
// the bytes make none, with nTried the bytes looked at (0 at the end), as one read from a stream.
// A well-formed sequence of two or three bytes that makes one unit (not a surrogate), into cUnit;
// the bytes it took, 0 for any other sequence.
inline int DecodeUtf8OneUnit(const std::uint8_t* pBytes, std::size_t nAvailable, char16_t& cUnit) {
    const std::uint8_t lead = pBytes[0];
    if (lead >= 0xC2 && lead <= 0xDF && nAvailable >= 2 && (pBytes[1] & 0xC0) == 0x80) {
        cUnit = static_cast<char16_t>((lead & 0x1Fu) << 6 | (pBytes[1] & 0x3Fu));
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF && nAvailable >= 3 && (pBytes[1] & 0xC0) == 0x80 &&
        (pBytes[2] & 0xC0) == 0x80) {
        const std::uint32_t cp = (lead & 0x0Fu) << 12 | (pBytes[1] & 0x3Fu) << 6 | (pBytes[2] & 0x3Fu);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        cUnit = static_cast<char16_t>(cp);
        return 3;
    }
    return 0;
}

int DecodeOne(const rtl::TEncoding* pEncoding, bool blUtf8, const std::uint8_t* pBytes, std::size_t nAvailable,
              rtl::UnicodeString& szChars, int& nTried) {
    szChars.clear();
    if (blUtf8 && nAvailable > 0 && pBytes[0] < 0x80) {
        szChars.push_back(static_cast<char16_t>(pBytes[0]));
        return 1;
    }
    if (blUtf8) {
        if (const int n = DecodeUtf8Whole(pBytes, nAvailable, szChars))
            return n;
    }
    const int nMax = std::min(pEncoding->MaxBytesPerCharacter(), 16);
    for (int n = 1; n <= nMax; ++n) {
        if (static_cast<std::size_t>(n) > nAvailable) {
            nTried = n - 1;
            return 0;
        }
        if (pEncoding->TryGetString(pBytes, static_cast<std::size_t>(n), szChars) && !szChars.empty())
            return n;
        szChars.clear();
    }
    nTried = std::max(nMax, 0);
    return 0;
}

// Copies the ASCII bytes from `at` on as their own units to text[out], eight at a time while a
// whole word is ASCII; both offsets end after the run.
void WidenAscii(const std::uint8_t* bytes, std::size_t size, std::size_t& at, char16_t* text, std::size_t& out) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
#if defined(__GNUC__)
    // Sixteen bytes a step, widened element by element (the compiler's vectors, whatever the target).
    using TBytes16 = std::uint8_t __attribute__((vector_size(16)));
    using TUnits16 = std::uint16_t __attribute__((vector_size(32)));
    for (std::uint64_t halves[2]; at + 16 <= size; at += 16, out += 16) {
        std::memcpy(halves, bytes + at, sizeof halves);
        if ((halves[0] | halves[1]) & kHighBits)
            break;
        TBytes16 narrow;
        std::memcpy(&narrow, bytes + at, sizeof narrow);
        const TUnits16 wide = __builtin_convertvector(narrow, TUnits16);
        std::memcpy(text + out, &wide, sizeof wide);
    }
#endif
    for (std::uint64_t word = 0; at + 8 <= size; at += 8, out += 8) {
        std::memcpy(&word, bytes + at, sizeof word);
        if (word & kHighBits)
            break;
        if constexpr (std::endian::native == std::endian::little) {
            // Each half's four bytes spread to four 16-bit lanes, in memory order.
            std::uint64_t halves[2] = {word & 0xFFFFFFFFu, word >> 32};
            for (std::uint64_t& half : halves) {
                half = (half | half << 16) & 0x0000FFFF0000FFFFu;
                half = (half | half << 8) & 0x00FF00FF00FF00FFu;
            }
            std::memcpy(text + out, halves, sizeof halves);
        } else {
            for (std::size_t k = 0; k < 8; ++k)
                text[out + k] = bytes[at + k];
        }
    }
    while (at < size && bytes[at] < 0x80)
        text[out++] = bytes[at++];
}

} // namespace

void TORVIStreamParser::_LoadInput() {
    TInput& in = _Input;
    in = TInput{};
    in.nOrigin = _pInput->Position();
    constexpr std::size_t kChunk = 1 << 16;
    // A memory stream tells its size without reading: its bytes are then read in one step, with
    // room for the read that finds the end, instead of being moved each time the buffer grows.
    std::size_t nKnown = 0;
    if (typeid(*_pInput) == typeid(rtl::TMemoryStream))
        nKnown = static_cast<std::size_t>(std::max<std::int64_t>(_pInput->Size() - in.nOrigin, 0));
    in.Bytes.reserve(nKnown + kChunk);
    for (;;) {
        const std::size_t at = in.Bytes.size();
        const std::size_t want = at < nKnown ? nKnown - at : kChunk;
        in.Bytes.resize(at + want);
        const std::int64_t nRead = _pInput->Read(in.Bytes.data() + at, static_cast<std::int64_t>(want));
        in.Bytes.resize(at + static_cast<std::size_t>(std::max<std::int64_t>(nRead, 0)));
        if (nRead <= 0)
            break;
    }
    in.pEncoding = _pEncoding ? _pEncoding : rtl::TEncoding::UTF8();
    in.blUtf8 = typeid(*in.pEncoding) == typeid(rtl::TUTF8Encoding);
    in.Text.reserve(in.Bytes.size());
    _Decode();
}

void TORVIStreamParser::_Decode() {
    TInput& in = _Input;
    in.Starts.emplace_back(in.Text.size(), in.nByte);
    if (in.blUtf8) {
        _DecodeUtf8();
        return;
    }
    rtl::UnicodeString chars;
    const std::uint8_t* bytes = in.Bytes.data();
    const std::size_t size = in.Bytes.size();
    while (in.nByte < size) {
        int nTried = 0;
        const int nBytes = DecodeOne(in.pEncoding, false, bytes + in.nByte, size - in.nByte, chars, nTried);
        if (nBytes == 0) {
            in.nStopBytes = nTried;
            return;
        }
        if (chars.size() > 1)
            in.Wide.emplace_back(in.Text.size(), chars.size());
        in.Text.insert(in.Text.end(), chars.begin(), chars.end());
        in.nByte += static_cast<std::size_t>(nBytes);
    }
    in.nStopBytes = 0;
}

void TORVIStreamParser::_DecodeUtf8() {
    // No UTF-8 character takes more units than bytes: the text is sized once for the rest of the
    // bytes, decoded into place and trimmed to what was decoded.
    TInput& in = _Input;
    const std::uint8_t* bytes = in.Bytes.data();
    const std::size_t size = in.Bytes.size();
    std::size_t out = in.Text.size(), at = in.nByte;
    in.Text.resize(out + (size - at));
    rtl::UnicodeString chars;
    int nTried = 0;
    for (;;) {
        WidenAscii(bytes, size, at, in.Text.data(), out);
        if (at >= size)
            break;
        if (const int nBytes = DecodeUtf8OneUnit(bytes + at, size - at, in.Text[out])) {
            ++out;
            at += static_cast<std::size_t>(nBytes);
            continue;
        }
        const int nBytes = DecodeOne(in.pEncoding, true, bytes + at, size - at, chars, nTried);
        if (nBytes == 0)
            break;
        if (chars.size() > 1)
            in.Wide.emplace_back(out, chars.size());
        if (out + chars.size() > in.Text.size())
            in.Text.resize(out + chars.size() + (size - at)); // the encoding's own answer for bad bytes
        std::copy(chars.begin(), chars.end(), in.Text.begin() + static_cast<std::ptrdiff_t>(out));
        out += chars.size();
        at += static_cast<std::size_t>(nBytes);
    }
    in.Text.resize(out);
    in.nByte = at;
    in.nStopBytes = at < size ? nTried : 0;
}

std::int64_t TORVIStreamParser::_InputPosition() {
    TInput& in = _Input;
    if (in.nUnit >= in.Text.size())
        return in.nOrigin + static_cast<std::int64_t>(in.nByte);
    // Decoded ahead: count the bytes of the characters read since decoding last began before them.
    auto start = std::upper_bound(in.Starts.begin(), in.Starts.end(),
                                  std::make_pair(in.nUnit, std::numeric_limits<std::size_t>::max()));
    if (start != in.Starts.begin())
        --start;
    std::size_t unit = start->first, byte = start->second;
    rtl::UnicodeString chars;
    while (unit < in.nUnit) {
        int nTried = 0;
        const int nBytes = DecodeOne(in.pEncoding, in.blUtf8, in.Bytes.data() + byte, in.Bytes.size() - byte,
                                     chars, nTried);
        if (nBytes == 0)
            break;
        unit += chars.size();
        byte += static_cast<std::size_t>(nBytes);
    }
    return in.nOrigin + static_cast<std::int64_t>(byte);
}

bool TORVIStreamParser::_Next(rtl::UnicodeString& szChars, bool blQuiet) {
    TInput& in = _Input;
    if (in.nUnit < in.Text.size()) {
        std::size_t count = 1;
        if (in.nWide < in.Wide.size() && in.Wide[in.nWide].first == in.nUnit)
            count = in.Wide[in.nWide++].second;
        szChars.assign(in.Text.data() + in.nUnit, count);
        in.nUnit += count;
        return true;
    }
    szChars.clear();
    if (in.nStopBytes == 0)
        return false;
    // Bytes that are no character: read quietly, they are passed over; otherwise the bad character
    // is counted, and reading goes on right after its first code unit.
    const int nUnitBytes = dynamic_cast<const rtl::TUnicodeEncoding*>(_pEncoding) ? 2 : 1;
    in.nByte += static_cast<std::size_t>(blQuiet ? in.nStopBytes : std::min(in.nStopBytes, nUnitBytes));
    in.nStopBytes = 0;
    _Decode();
    if (blQuiet)
        return false;
    ++_nCharCount;
    throw EORVIStreamError(u"Invalid " +
                           (_pEncoding ? _pEncoding->EncodingName() : rtl::UnicodeString(u"UTF-8")) +
                           u" character");
}

bool TORVIStreamParser::LookAhead(int nOffset, char16_t& cCharacter) {
    cCharacter = 0;
    if (!_pInput || nOffset < 0)
        return false;
    const std::size_t at = _Input.nUnit + static_cast<std::size_t>(nOffset);
    if (at >= _Input.Text.size())
        return false;
    cCharacter = _Input.Text[at];
    return true;
}

rtl::UnicodeString TORVIStreamParser::SlurpCharacters(int nCount) {
    rtl::UnicodeString result;
    if (!_pInput)
        return result;
    rtl::UnicodeString chars;
    while (result.size() < static_cast<std::size_t>(std::max(nCount, 0))) {
        if (!_Next(chars, true))
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
    _BufferChanged();
    ORVIGetStreamEncoding(pInput, _pEncoding, Encoding);
    bool blResult = false;
    try {
        _LoadInput();
        _ReadStream();
        blResult = _FinishStream();
    } catch (const EORVIStreamError& e) {
        _Fail(u"Stream Error " + e.Message());
    } catch (const rtl::Exception& e) {
        _Fail(u"Unexpected Error " + ExceptionClassName(e) + u" (" + e.Message() + u")");
    } catch (const std::exception& e) {
        _Fail(u"Unexpected Error " + ExceptionClassName(e) + u" (" + rtl::Utf8ToString(e.what()) + u")");
    }
    // The stream is left where reading it character by character would have left it.
    try {
        _pInput->Seek(_InputPosition(), rtl::TSeekOrigin::soBeginning);
    } catch (...) {
        // A stream that cannot seek stays where it is.
    }
    _pInput = nullptr;
    _Input = TInput{};
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

void TORVIStreamParser::_TakeSerials() {
    constexpr std::uint64_t kBlock = 4096;
    _nSerialNext = g_nCompileSerial.fetch_add(kBlock, std::memory_order_relaxed) + 1;
    _nSerialEnd = _nSerialNext + kBlock;
}

void TORVIStreamParser::_ReadStream() {
    bool blLineEnded = false;
    const bool blPlain = typeid(*this) == typeid(TORVIStreamParser);
    rtl::UnicodeString chars;
    for (;;) {
        if (blLineEnded) {
            ++_nLineCount;
            _nCharCount = 0;
            blLineEnded = false;
        }
        if (blPlain) {
            _TakeRun(blLineEnded);
            if (blLineEnded) {
                ++_nLineCount;
                _nCharCount = 0;
                blLineEnded = false;
            }
        }
        if (TInput& in = _Input; in.nUnit < in.Text.size() && in.Text[in.nUnit] != u'\r' && in.Text[in.nUnit] != u'\n') {
            // A decoded character other than a line end goes straight from the input to the buffer.
            std::size_t count = 1;
            if (in.nWide < in.Wide.size() && in.Wide[in.nWide].first == in.nUnit)
                count = in.Wide[in.nWide++].second;
            if (count == 1)
                _szBuffer.push_back(in.Text[in.nUnit]);
            else
                _szBuffer.append(in.Text.data() + in.nUnit, count);
            in.nUnit += count;
            ++_nCharCount;
            _OfferBuffer();
            continue;
        }
        if (!_Next(chars, false))
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

inline const std::vector<TORVIStreamedNodeDefinition*>* TORVIStreamParser::_CandidatesNow(TORVIStreamedNode* pCurrent) {
    if (TCandidates* last = _pCandidates; last && pCurrent && last->pContext &&
                                          last->nEpoch == g_nNestingEpoch.load(std::memory_order_relaxed)) {
        // The context's address is compared, not read: the epoch changes whenever a definition goes.
        TORVIStreamedNodeDefinition* context = pCurrent->Definition();
        if (context == last->pContext && context->_PlainNow(pCurrent))
            return last->blPlain ? &last->Definitions : nullptr;
    }
    return _CandidatesAt(pCurrent);
}

// A context's candidates are kept in the first slot from its home slot (given by its address) that was
// free when they were worked out. Working them out is costly: contexts whose addresses share a home
// slot must not keep taking it from each other, and where they land depends on how the heap lies.
// A slot holds nothing once the epoch has moved on, and every slot holds the same epoch or an older
// one, so a search ends at the first free slot: what was worked out later went no further.
namespace {
std::size_t HomeSlot(const void* context, std::size_t nSlots) {
    return (reinterpret_cast<std::uintptr_t>(context) >> 6) % nSlots;
}
} // namespace

inline TORVIStreamParser::TCandidates* TORVIStreamParser::_FindCandidates(const TORVIStreamedNodeDefinition* context,
                                                                          std::uint64_t epoch) {
    constexpr std::size_t kSlots = kCandidateSlots;
    const std::size_t home = HomeSlot(context, kSlots);
    for (std::size_t i = 0; i < kSlots; ++i) {
        TCandidates& slot = _CandidateSlots[(home + i) % kSlots];
        if (slot.nEpoch != epoch)
            return nullptr;
        if (slot.pContext == context)
            return &slot;
    }
    return nullptr;
}

TORVIStreamParser::TCandidates& TORVIStreamParser::_SlotForCandidates(const TORVIStreamedNodeDefinition* context,
                                                                      std::uint64_t epoch) {
    constexpr std::size_t kSlots = kCandidateSlots;
    const std::size_t home = HomeSlot(context, kSlots);
    for (std::size_t i = 0; i < kSlots; ++i)
        if (TCandidates& slot = _CandidateSlots[(home + i) % kSlots]; slot.nEpoch != epoch)
            return slot;
    return _CandidateSlots[home]; // more contexts than slots: one is worked out again when next met
}

const std::vector<TORVIStreamedNodeDefinition*>* TORVIStreamParser::_CandidatesAt(TORVIStreamedNode* pCurrent) {
    TORVIStreamedNodeDefinition* context = pCurrent ? pCurrent->Definition() : nullptr;
    if (!_pNodeDefs || (pCurrent && (!context || !context->_Plain(pCurrent))))
        return nullptr;
    const std::uint64_t epoch = g_nNestingEpoch.load(std::memory_order_relaxed);
    if (_pCandidates && _pCandidates->pContext == context && _pCandidates->nEpoch == epoch)
        return _pCandidates->blPlain ? &_pCandidates->Definitions : nullptr; // the set last answered from
    TCandidates* found = _FindCandidates(context, epoch);
    TCandidates& candidates = found ? *found : _SlotForCandidates(context, epoch);
    if (!found) {
        candidates.nEpoch = epoch;
        candidates.pContext = context;
        candidates.Definitions.clear();
        candidates.blPlain = true;
        candidates.blRunStarts = false;
        std::fill(std::begin(candidates.Refuser), std::end(candidates.Refuser), std::int8_t{-1});
        for (int i = 0; i < _pNodeDefs->Count(); ++i) {
            TORVIStreamedNodeDefinition* definition = (*_pNodeDefs)[i];
            candidates.blPlain = candidates.blPlain && definition->_Plain(nullptr);
            const bool takesPart = context ? context->IsAllowedNodeClass(&definition->DefinitionClass())
                                           : definition->CanBeRootNode();
            if (takesPart)
                candidates.Definitions.push_back(definition);
        }
    }
    _pCandidates = &candidates;
    return candidates.blPlain ? &candidates.Definitions : nullptr;
}

void TORVIStreamParser::_TakeRun(bool& blLineEnded) {
    // The flag is read and set at every run: kept in this frame while they are taken.
    bool blEnded = blLineEnded;
    _TakeRuns(blEnded);
    blLineEnded = blEnded;
}

inline void TORVIStreamParser::_TakeRuns(bool& blLineEnded) {
    // The steps of the main loop for single units other than line ends are taken here too, each
    // after the run before it, so that a run and the unit that ends it cost one pass.
    // Where the next character of more than one unit starts: a handler that reads on past it can
    // only move that further, and decoding more adds characters only after the end, so the pass
    // that stops here early leaves the rest to the main loop as it is.
    TInput& in = _Input;
    const std::size_t end = in.nWide < in.Wide.size() ? in.Wide[in.nWide].first : in.Text.size();
    for (;;) {
        if (in.nUnit >= end)
            return;
        // Asked once for the run and the step after it: nothing between runs a handler.
        TORVIStreamedNode* node = _pCurrentNodes.empty() ? nullptr : _pCurrentNodes.back(); // of the base class
        TORVIStreamedNodeDefinition* definition = node ? node->Definition() : nullptr;
        const bool blScanAtEnd = _TakeRunOnce(blLineEnded, end, node, definition);
        if (in.nUnit >= end)
            return;
        const char16_t unit = in.Text[in.nUnit];
        if (IsLineEndUnit(unit))
            return;
        if (blLineEnded) {
            ++_nLineCount;
            _nCharCount = 0;
            blLineEnded = false;
        }
        _szBuffer.push_back(unit);
        ++in.nUnit;
        ++_nCharCount;
        _OfferBufferHere(true, node, definition, blScanAtEnd);
    }
}

inline bool TORVIStreamParser::_TakeRunOnce(bool& blLineEnded, std::size_t end, TORVIStreamedNode* node,
                                            TORVIStreamedNodeDefinition* definition) {
    TInput& in = _Input;
    if (!_pNodeDefs)
        return false;
    bool blScanAtEnd = false;
    TUnitSet units;  // set by whichever answer lets a run be taken
    bool blLineEnds; // line ends may be part of the run
    std::size_t nRoom = kNoLimit; // units the buffer may grow by in the run
    if (_szBuffer.empty()) {
        if (node) {
            // Every character of the run would be taken alone into the current node's content.
            if (!definition || !definition->_ContentUnits(node, units, blLineEnds))
                return false;
            if (__builtin_expect(definition->_blOneUnitRun, 0)) {
                definition->_blOneUnitRun = false;
                if (HasUnit(units, in.Text[in.nUnit])) {
                    _AppendRun(node->_szContent, units, false, end, kNoLimit, blLineEnded, nullptr);
                    TORVIStreamedNodeDefinition::_CloseDeadAtEnd(node, definition->_nCloseSerial);
                }
            } else if (const char16_t unit = in.Text[in.nUnit];
                HasUnit(units, unit) || (blLineEnds && IsLineEndUnit(unit)) ||
                (unit >= 128 && definition->_ContentTakesWide(unit, this))) {
                const std::size_t from = node->_szContent.size();
                _AppendRun(node->_szContent, units, blLineEnds, end, kNoLimit, blLineEnded, definition);
                blScanAtEnd = definition->_ContentRunTaken(node, from);
            }
        }
        // The character that ends it would start the buffer: when nothing could take that either,
        // the buffer's run begins with it (a node that takes no nodes closes on what it does not take).
        if (in.nUnit >= end || (node && !definition->_Has(snd_AllowsNodes)))
            return blScanAtEnd;
        // A unit that the candidates last worked out here could open on alone starts no run.
        if (const TCandidates* last = _pCandidates;
            last && last->blRunStarts && last->pContext == definition &&
            last->nEpoch == g_nNestingEpoch.load(std::memory_order_relaxed) &&
            !HasUnit(last->RunStarts, in.Text[in.nUnit]))
            return blScanAtEnd;
        if (!_StartBufferRun(node, definition, end, units, blLineEnds, nRoom, blLineEnded))
            return blScanAtEnd; // what it asked left the content as it was
    } else if (!_BufferRunUnits(node, definition, units, blLineEnds, nRoom)) {
        return false;
    }
    do
        _AppendRun(_szBuffer, units, blLineEnds, end, nRoom, blLineEnded);
    while (_ExtendBufferRun(node, definition, end, units, blLineEnds, nRoom, blLineEnded));
    // Only a run begun here with the table is covered by it; it appended no unit of any stops.
    if (__builtin_expect(nRoom != kNoLimit, 0) && _RunEnd.nBuffer == _nBufferSerial && _RunEnd.nCovered == kNotCovered)
        _RunEnd.nCovered = _szBuffer.size();
    return false;
}

bool TORVIStreamParser::TCandidates::_WorkOutRunStarts(char16_t unit) {
    {
        // Worked out once every expression concerned is compiled (its filter made with it).
        TUnitSet starts = {~std::uint64_t{0}, ~std::uint64_t{0}};
        Openers[0] = Openers[1] = 0;
        std::fill(std::begin(RunStops[0]), std::end(RunStops[127]), std::uint64_t{0});
        std::fill(std::begin(RunRoom), std::end(RunRoom), kNoLimit);
        blStopsAtCloseStarts = false;
        blNodeAlone = false;
        CandidateStops.assign(Definitions.size() * 128, {});
        std::fill(std::begin(RuledAlone), std::end(RuledAlone), std::uint32_t{0});
        std::fill(std::begin(SoleOpener), std::end(SoleOpener), std::int8_t{-1});
        if (const TORVIStreamedNodeDefinition* context = pContext) {
            // The node takes an escape, and may close on its close expression's required unit.
            if (!context->_Has(snd_AllowsNodes) || (!context->_szClose.empty() && !context->_pRegClose))
                return false;
            if (context->_pRegClose && context->_CloseFilter.Info.HasRequiredUnit)
                AddUnit(Openers, context->_CloseFilter.Info.RequiredUnit);
            // A run that leaves out what may start the node's close tells its search where none starts.
            TUnitSet closeStarts = {};
            blStopsAtCloseStarts = TORVIStreamParser::_StopsAtCloseStarts(context, closeStarts);
            for (char16_t one = 0; one < 128; ++one) {
                RunStops[one][0] |= closeStarts[0];
                RunStops[one][1] |= closeStarts[1];
            }
            for (const char16_t escape : context->_caEscapes)
                AddUnit(Openers, escape);
            _WorkOutNodeAlone();
        }
        for (std::size_t i = 0; i < Definitions.size(); ++i) {
            const TORVIStreamedNodeDefinition* definition = Definitions[i];
            if (definition->_szOpen.empty())
                continue;
            if (!definition->_pRegOpen)
                return false;
            for (char16_t one = 0; one < 128; ++one)
                if (!definition->_OpenFilter.blShortKnown || !HasUnit(definition->_OpenFilter.Short, one))
                    SoleOpener[one] = SoleOpener[one] == -1 && i < 127 ? static_cast<std::int8_t>(i) : std::int8_t{-2};
            for (char16_t one = 0; one < 128; ++one) {
                TUnitSet stops = {};
                const std::size_t nMin = definition->_OpenFilter.Info.MinLength;
                // What _MatchOpen answers for the unit alone: opened only by a match at its start.
                const TORVIStreamedNodeDefinition::TFilter::TAlone& alone =
                    definition->_OpenFilter.Alone[one];
                if (RuledOut(definition->_OpenFilter, rtl::UnicodeStringView(&one, 1), stops)) {
                    if (i < 32) // what stops it is kept below
                        RuledAlone[one] |= std::uint32_t{1} << i;
                }
                else if (nMin > 1)
                    RunRoom[one] = std::min(RunRoom[one], nMin - 2); // too short till then
                else if (alone.Found != rtl::TRegExPartial::rpMatch || alone.nOffset != 0)
                    RunRoom[one] = 0; // opens on nothing alone, but may once one more unit comes
                else
                    AddUnit(Openers, one);
                RunStops[one][0] |= stops[0];
                RunStops[one][1] |= stops[1];
                CandidateStops[i * 128 + one] = {stops[0], stops[1]};
            }
        }
        RunStarts[0] = starts[0] & ~Openers[0];
        RunStarts[1] = starts[1] & ~Openers[1];
        blRunStarts = true;
    }
    return HasUnit(RunStarts, unit);
}

void TORVIStreamParser::TCandidates::_WorkOutNodeAlone() {
    // What _IgnoresBuffer answers for a buffer of one unit, but for the node's close scan; worked
    // out only where every expression it asks is compiled and no valid-content expression is set.
    const TORVIStreamedNodeDefinition* context = pContext;
    const bool blText = context->_Has(snd_AllowsText);
    if ((!context->_szClose.empty() && !context->_pRegClose) ||
        (blText && (!context->_szValid.empty() || context->_pRegValid ||
                    (!context->_szAllowed.empty() && !context->_pRegAllowed))))
        return;
    const TORVIStreamedNodeDefinition::TFilter& close = context->_CloseFilter;
    const TORVIStreamedNodeDefinition::TFilter& allowed = context->_AllowedFilter;
    NodeIgnores[0] = NodeIgnores[1] = 0;
    for (char16_t one = 0; one < 128; ++one) {
        TUnitSet stops = {};
        if (context->_pRegClose) {
            if (!close.Info.HasRequiredUnit || close.Info.RequiredUnit == one)
                continue;
            AddUnit(stops, close.Info.RequiredUnit);
        }
        if (blText && context->_pRegAllowed && !RuledOut(allowed, rtl::UnicodeStringView(&one, 1), stops))
            continue;
        AddUnit(NodeIgnores, one);
        NodeStops[one][0] = stops[0];
        NodeStops[one][1] = stops[1];
    }
    blNodeAlone = true;
}

bool TORVIStreamParser::_BufferRunUnits(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                        std::uint64_t (&units)[2], bool& blLineEnds, std::size_t& nRoom) {
    // Nothing can take the buffer until one of the stop units comes: it only grows till then.
    if (_RefusedAgain(pNode, pDefinition)) {
        _RunParties.nBuffer = 0; // as _NothingTakesBuffer leaves it when refused
        return false;
    }
    TUnitSet stops = {};
    if (!_NothingTakesBuffer(pNode, pDefinition, stops, nRoom) || nRoom == 0)
        return false;
    _RunUnits(stops, units, blLineEnds);
    return true;
}

bool TORVIStreamParser::_RefusedAgain(const TORVIStreamedNode* pNode,
                                      const TORVIStreamedNodeDefinition* pDefinition) {
    // Only where _CandidatesAt would answer this set at once, with nothing asked of any object.
    const TCandidates* set = _pCandidates;
    if (!set || _szBuffer.empty() || _szBuffer[0] >= 128 || set->Refuser[_szBuffer[0]] < 0 || !set->blPlain ||
        set->pContext != pDefinition || set->nEpoch != g_nNestingEpoch.load(std::memory_order_relaxed) ||
        (pNode && (!pDefinition || pNode->_nPlain != 1 || pDefinition->_nPlain != 1)))
        return false;
    const std::size_t refuser = static_cast<std::size_t>(set->Refuser[_szBuffer[0]]);
    TUnitSet stops = {};
    std::size_t nRoom = kNoLimit;
    return !set->Definitions[refuser]->_CannotOpen(this, _szBuffer, stops, nRoom) || nRoom == 0;
}

bool TORVIStreamParser::_NothingTakesBuffer(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                            std::uint64_t (&stops)[2], std::size_t& nRoom) {
    // Each party's stops are kept apart, for the units that end the run to ask only those they concern.
    TRunParties& parties = _RunParties;
    parties.nBuffer = 0;
    TUnitSet own = {};
    if (pNode && (!pDefinition || !pDefinition->_IgnoresBuffer(pNode, _szBuffer, own)))
        return false;
    parties.Node[0] = own[0];
    parties.Node[1] = own[1];
    const std::vector<TORVIStreamedNodeDefinition*>* candidates = _CandidatesAt(pNode);
    if (!candidates)
        return false;
    const bool blKept = candidates->size() <= kRunParties;
    for (std::size_t i = 0; i < candidates->size(); ++i) {
        TUnitSet& into = blKept ? parties.Candidates[i] : own;
        into[0] = into[1] = 0;
        const std::size_t nBefore = nRoom;
        const bool blCannot = (*candidates)[i]->_CannotOpen(this, _szBuffer, into, nRoom);
        if ((!blCannot || (nRoom == 0 && nBefore != 0)) && _szBuffer[0] < 128 && i < 128)
            _pCandidates->Refuser[_szBuffer[0]] = static_cast<std::int8_t>(i);
        if (!blCannot)
            return false;
        stops[0] |= into[0];
        stops[1] |= into[1];
    }
    stops[0] |= parties.Node[0];
    stops[1] |= parties.Node[1];
    // A room limit is the buffer's length, not a unit: such answers are asked again in full.
    if (blKept && nRoom == kNoLimit) {
        parties.nBuffer = _nBufferSerial;
        parties.pNode = pNode;
        parties.pSet = _pCandidates;
        parties.nEpoch = _pCandidates->nEpoch;
        parties.nCount = candidates->size();
        parties.nFromTable = 128;
    }
    return true;
}

int TORVIStreamParser::_NothingTakesGrown(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                          char16_t unit, std::uint64_t (&stops)[2], std::size_t& nRoom) {
    TRunParties& parties = _RunParties;
    const TCandidates* set = parties.pSet;
    if (parties.nBuffer != _nBufferSerial || parties.pNode != pNode || !set ||
        set->nEpoch != parties.nEpoch || set->pContext != (pNode ? pDefinition : nullptr) ||
        set->Definitions.size() != parties.nCount)
        return -1;
    if (parties.nFromTable < 128) {
        for (std::size_t i = 0; i < parties.nCount; ++i) {
            parties.Candidates[i][0] = set->CandidateStops[i * 128 + parties.nFromTable][0];
            parties.Candidates[i][1] = set->CandidateStops[i * 128 + parties.nFromTable][1];
        }
        parties.nFromTable = 128;
    }
    // Parties whose stops leave the unit out rule the grown buffer out as they did, with the same
    // stops. Stops name ASCII units only: a unit past ASCII is put to every party it may revive.
    parties.nBuffer = 0;
    const bool blWide = unit >= 128;
    if (blWide ? pNode && !_WideKeepsNode(pDefinition) : HasUnit(parties.Node, unit)) {
        TUnitSet own = {};
        if (!pDefinition->_IgnoresBuffer(pNode, _szBuffer, own))
            return 0;
        parties.Node[0] = own[0];
        parties.Node[1] = own[1];
    }
    stops[0] |= parties.Node[0];
    stops[1] |= parties.Node[1];
    for (std::size_t i = 0; i < parties.nCount; ++i) {
        TUnitSet& own = parties.Candidates[i];
        if (blWide ? !_WideKeepsOpen(set->Definitions[i], own) : HasUnit(own, unit)) {
            own[0] = own[1] = 0;
            if (!set->Definitions[i]->_CannotOpen(this, _szBuffer, own, nRoom))
                return 0;
        }
        stops[0] |= own[0];
        stops[1] |= own[1];
    }
    if (nRoom == kNoLimit)
        parties.nBuffer = _nBufferSerial;
    return 1;
}

namespace {

// Whether no unit past ASCII appended to subject, which the filtered expression was ruled out on,
// can revive it: an anchored expression ruled out by the first unit, or a required ASCII unit
// that subject lacks (a required unit that is past ASCII stops no run, so it is not relied on).
template <class TFilter> bool WideCannotRevive(const TFilter& filter, rtl::UnicodeStringView subject) {
    const rtl::TRegExInfo& info = filter.Info;
    if (subject.empty())
        return false;
    if (filter.blAnchored && (HasUnit(filter.DeadFirst, subject[0]) || !info.CanStartWith(subject[0])))
        return true;
    return info.HasRequiredUnit && info.RequiredUnit < 128 && subject.size() <= kLongestSearch &&
           subject.find(info.RequiredUnit) == rtl::UnicodeStringView::npos;
}

} // namespace

bool TORVIStreamParser::_WideKeepsNode(const TORVIStreamedNodeDefinition* pDefinition) const {
    // The node ignored the buffer: its close's required unit is missing, and its content expression
    // was ruled out (or is dead for the buffer).
    const auto* close = pDefinition->_pRegClose.get();
    if (close ? !pDefinition->_CloseFilter.Info.HasRequiredUnit ||
                    pDefinition->_CloseFilter.Info.RequiredUnit >= 128
              : !pDefinition->_szClose.empty())
        return false;
    if (!pDefinition->_Has(snd_AllowsText) || (!pDefinition->_pRegAllowed && pDefinition->_szAllowed.empty()))
        return true;
    if (!pDefinition->_pRegAllowed)
        return false;
    if (pDefinition->_AllowedFilter.blAnchored && pDefinition->_nAllowedDeadBuffer == _nBufferSerial &&
        pDefinition->_nAllowedDeadBuffer != 0)
        return true;
    return WideCannotRevive(pDefinition->_AllowedFilter, _szBuffer);
}

bool TORVIStreamParser::_WideKeepsOpen(const TORVIStreamedNodeDefinition* pDefinition,
                                       const std::uint64_t (&stops)[2]) const {
    if (pDefinition->_nOpenDeadBuffer == _nBufferSerial && pDefinition->_nOpenDeadBuffer != 0)
        return true;
    if (!pDefinition->_pRegOpen)
        return pDefinition->_szOpen.empty();
    // An anchored expression is given stops only for its required unit when that is missing, and
    // it has not come since.
    const TORVIStreamedNodeDefinition::TFilter& filter = pDefinition->_OpenFilter;
    if (filter.blAnchored && filter.Info.HasRequiredUnit && HasUnit(stops, filter.Info.RequiredUnit))
        return true;
    return WideCannotRevive(filter, _szBuffer);
}

inline bool TORVIStreamParser::_ExtendBufferRun(TORVIStreamedNode* pNode,
                                                TORVIStreamedNodeDefinition* pDefinition, std::size_t end,
                                                std::uint64_t (&units)[2], bool& blLineEnds,
                                                std::size_t& nRoom, bool& blLineEnded) {
    TInput& in = _Input;
    // What the run appended left out the units that may start the close.
    TRunCloseGap& gap = _RunCloseGap;
    const bool blGap = gap.blRunning && gap.nBuffer == _nBufferSerial;
    if (blGap)
        gap.nUpTo = _szBuffer.size();
    gap.blRunning = false;
    if (in.nUnit >= end || _szBuffer.empty())
        return false;
    // The unit that stopped the run: its step would append it and offer the buffer. When nothing
    // takes the grown buffer either, that step does nothing else and the run goes on from it.
    const char16_t unit = in.Text[in.nUnit];
    if (IsLineEndUnit(unit) || HasUnit(units, unit))
        return false; // a unit of the run itself: the run ended where the buffer may become long enough to open
    // Not tried for a unit that every close of the node holds, nor for one that alone might open a
    // node here (then it mostly does so after the buffer's blanks too).
    if (pNode && pDefinition && pDefinition->_pRegClose && pDefinition->_CloseFilter.Info.HasRequiredUnit &&
        pDefinition->_CloseFilter.Info.RequiredUnit == unit)
        return false;
    if (_pCandidates && _pCandidates->blRunStarts && HasUnit(_pCandidates->Openers, unit))
        return false;
    return _GrowBufferRun(pNode, pDefinition, unit, blGap, units, blLineEnds, nRoom, blLineEnded);
}

inline void TORVIStreamParser::_CountTaken(bool& blLineEnded) {
    if (blLineEnded) {
        ++_nLineCount;
        _nCharCount = 0;
        blLineEnded = false;
    }
    ++_nCharCount;
    ++_Input.nUnit;
}

bool TORVIStreamParser::_GrowBufferRun(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                       char16_t unit, bool blGap, std::uint64_t (&units)[2], bool& blLineEnds,
                                       std::size_t& nRoom, bool& blLineEnded) {
    TRunCloseGap& gap = _RunCloseGap;
    TUnitSet stops = {};
    std::size_t nGrownRoom = kNoLimit;
    _szBuffer.push_back(unit);
    int nTaken = _NothingTakesGrown(pNode, pDefinition, unit, stops, nGrownRoom);
    if (nTaken < 0)
        nTaken = _NothingTakesBuffer(pNode, pDefinition, stops, nGrownRoom) ? 1 : 0;
    if (nTaken == 0) {
        _szBuffer.pop_back();
        return false;
    }
    _RunEnd.nBuffer = 0; // a unit of some stops was appended
    if (blGap && pDefinition && !pDefinition->_CloseFilter.Info.CanStartWith(unit) && _StopsAtCloseStarts(pDefinition, stops))
        gap = {_nBufferSerial, pDefinition->_nCloseSerial, _szBuffer.size(), true};
    _RunUnits(stops, units, blLineEnds);
    nRoom = nGrownRoom;
    _CountTaken(blLineEnded);
    return true;
}

bool TORVIStreamParser::_StopsAtCloseStarts(const TORVIStreamedNodeDefinition* pDefinition, std::uint64_t (&stops)[2]) {
    // Only the ASCII units are added: every unit past ASCII stops a run already.
    const TORVIStreamedNodeDefinition::TFilter& filter = pDefinition->_CloseFilter;
    if (!pDefinition->_pRegClose || !filter.blContextFree || !filter.pCompiled || !filter.Info.HasStartUnits)
        return false;
    std::uint64_t starts[2] = {};
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(starts, filter.Info.StartUnits, sizeof starts);
    } else {
        for (char16_t unit = 0; unit < 128; ++unit)
            if (filter.Info.CanStartWith(unit))
                AddUnit(starts, unit);
    }
    stops[0] |= starts[0];
    stops[1] |= starts[1];
    return true;
}

inline void TORVIStreamParser::_RunUnits(const std::uint64_t (&stops)[2], std::uint64_t (&units)[2],
                                         bool& blLineEnds) {
    // Line ends stop a run only when what they become holds a stop unit.
    if (_nRunLineEnd != _nLineEndSerial) {
        _LineEndUnits[0] = _LineEndUnits[1] = 0;
        _blLineEndWide = false;
        for (const char16_t unit : _szNormedLineEnd) {
            AddUnit(_LineEndUnits, unit);
            _blLineEndWide = _blLineEndWide || unit >= 128;
        }
        _nRunLineEnd = _nLineEndSerial;
    }
    units[0] = ~stops[0];
    units[1] = ~stops[1];
    blLineEnds = !_blLineEndWide && (stops[0] & _LineEndUnits[0]) == 0 && (stops[1] & _LineEndUnits[1]) == 0;
    units[0] &= ~((std::uint64_t{1} << u'\r') | (std::uint64_t{1} << u'\n'));
}

inline TORVIStreamParser::TCandidates*
TORVIStreamParser::_CandidatesHere(TORVIStreamedNode* pNode, const TORVIStreamedNodeDefinition* pDefinition) {
    // The set last answered from, or the one in its slot, when it is the one here (both of the base
    // class, as asked before): _CandidatesAt would answer it so, with nothing asked.
    const std::uint64_t epoch = g_nNestingEpoch.load(std::memory_order_relaxed);
    if (!pNode || (pNode->_nPlain == 1 && pDefinition->_nPlain == 1)) {
        if (TCandidates* last = _pCandidates; last && last->pContext == pDefinition && last->nEpoch == epoch)
            return last->blPlain ? last : nullptr;
        if (TCandidates* slot = _FindCandidates(pDefinition, epoch)) {
            _pCandidates = slot;
            return slot->blPlain ? slot : nullptr;
        }
    }
    return _CandidatesAt(pNode) ? _pCandidates : nullptr;
}

inline bool TORVIStreamParser::_BeginBufferRun(TORVIStreamedNode* pNode,
                                               TORVIStreamedNodeDefinition* pDefinition, TCandidates& set,
                                               char16_t unit, std::uint64_t (&units)[2], bool& blLineEnds,
                                               std::size_t& nRoom, bool& blLineEnded) {
    // No candidate opens on the unit alone, which stops were found for once; the node is asked, its
    // answer to the unit alone worked out once too but for its close scan.
    TUnitSet stops = {set.RunStops[unit][0], set.RunStops[unit][1]};
    TUnitSet own = {};
    _szBuffer.push_back(unit);
    if (pNode && set.blNodeAlone && _szBuffer.size() == 1) {
        if (!HasUnit(set.NodeIgnores, unit) ||
            !pDefinition->_CloseScanClear(pNode, *pDefinition->_pRegClose)) {
            _szBuffer.pop_back();
            return false;
        }
        own[0] = set.NodeStops[unit][0];
        own[1] = set.NodeStops[unit][1];
    } else if (pNode && !pDefinition->_IgnoresBuffer(pNode, _szBuffer, own)) {
        _szBuffer.pop_back();
        return false;
    }
    stops[0] |= own[0];
    stops[1] |= own[1];
    if (set.blStopsAtCloseStarts && set.pContext == pDefinition && _szBuffer.size() == 1)
        _RunCloseGap = {_nBufferSerial, pDefinition->_nCloseSerial, 1, true};
    _RunUnits(stops, units, blLineEnds);
    nRoom = set.RunRoom[unit];
    // Each party's stops, for the units that end the run.
    if (const std::size_t count = set.Definitions.size(); nRoom == kNoLimit && count <= kRunParties) {
        TRunParties& parties = _RunParties;
        parties.nBuffer = _nBufferSerial;
        parties.pNode = pNode;
        parties.pSet = &set;
        parties.nEpoch = set.nEpoch;
        parties.nCount = count;
        parties.Node[0] = own[0];
        parties.Node[1] = own[1];
        parties.nFromTable = unit; // copied only when a unit ends the run
    } else {
        _RunParties.nBuffer = 0;
        // A run limited by its room ends where the buffer may become long enough to open: its step
        // mostly finds the unit reviving none of the others.
        if (nRoom != kNoLimit)
            _RunEnd = {_nBufferSerial, pNode, &set, set.nEpoch, unit, kNotCovered, {own[0], own[1]}};
    }
    _CountTaken(blLineEnded);
    return true;
}

bool TORVIStreamParser::_StartBufferRun(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                        std::size_t end, std::uint64_t (&units)[2], bool& blLineEnds,
                                        std::size_t& nRoom, bool& blLineEnded) {
    TInput& in = _Input;
    if (in.nUnit >= end)
        return false;
    // A step for this character would append it and offer the buffer; an escape is taken by the node.
    const char16_t unit = in.Text[in.nUnit];
    if (unit == u'\r' || unit == u'\n' || (pNode && !pDefinition->_Has(snd_AllowsNodes)))
        return false; // a node that takes no nodes closes on what it does not take
    // Most units that end a run of content may open something alone: those are told in line.
    TCandidates* set = _CandidatesHere(pNode, pDefinition);
    if (!set || !set->MayStartRun(unit))
        return false;
    return _BeginBufferRun(pNode, pDefinition, *set, unit, units, blLineEnds, nRoom, blLineEnded);
}

inline void TORVIStreamParser::_AppendRun(rtl::UnicodeString& target, const std::uint64_t (&units)[2],
                                          bool blLineEnds, std::size_t end, std::size_t nRoom,
                                          bool& blLineEnded, TORVIStreamedNodeDefinition* pWide) {
    // The characters as the main loop would count and append them, line ends normalised (units
    // never holds CR or LF). A limited run takes no line end, so each character is one unit.
    TInput& in = _Input;
    if (nRoom != kNoLimit) {
        end = std::min(end, in.nUnit + nRoom);
        blLineEnds = false;
    }
    const char16_t* text = in.Text.data();
    std::size_t at = in.nUnit;
    for (;;) {
        const std::size_t from = at;
        while (at < end && (HasUnit(units, text[at]) ||
                            (pWide && text[at] >= 128 && pWide->_ContentTakesWide(text[at], this))))
            ++at;
        if (at > from) {
            if (blLineEnded) {
                ++_nLineCount;
                _nCharCount = 0;
                blLineEnded = false;
            }
            _nCharCount += static_cast<int>(at - from);
            target.append(text + from, at - from);
        }
        if (at >= end || !blLineEnds || !IsLineEndUnit(text[at]))
            break;
        if (blLineEnded) {
            ++_nLineCount;
            _nCharCount = 0;
        }
        ++_nCharCount;
        target.append(_szNormedLineEnd);
        if (text[at++] == u'\r' && at < in.Text.size() && text[at] == u'\n') {
            ++at;
            ++_nCharCount;
        }
        blLineEnded = true;
    }
    in.nUnit = at;
}

void TORVIStreamParser::_OfferBuffer() {
    _OfferBufferHere(_Plain(), nullptr, nullptr, false);
}

inline void TORVIStreamParser::_OfferBufferHere(bool blPlainParser, TORVIStreamedNode* pKnown,
                                                TORVIStreamedNodeDefinition* pKnownDefinition, bool blKnownAtEnd) {
    // The class of this parser is asked once for the whole step, by the caller.
    const auto innermost = [this, blPlainParser]() -> TORVIStreamedNode* {
        if (!blPlainParser)
            return _GetCurrentNode();
        return _pCurrentNodes.empty() ? nullptr : _pCurrentNodes.back();
    };
    // The innermost node takes what it can; when that closes it, its parent is offered the rest.
    for (TORVIStreamedNode* node = pKnown ? pKnown : innermost(); node && !_szBuffer.empty(); node = innermost()) {
        const std::size_t size = _szBuffer.size();
        const bool blAtEnd = node == pKnown && blKnownAtEnd;
        TORVIStreamedNodeDefinition* definition = node == pKnown ? pKnownDefinition : node->Definition();
        pKnown = nullptr; // a handler may run from here on
        const bool blPlain = definition && definition->_PlainNow(node);
        // A buffer of one unit is the common step: its answers were found when the expressions were compiled.
        if (!blPlain || size != 1 || _szBuffer[0] >= 128 || definition->_AcceptUnit(this, node, blAtEnd) < 0) {
            // The unit that ends a run the node took nothing of is taken by it only when one of its stops.
            if (__builtin_expect(size == _RunEnd.nCovered + 1, 0) && blPlain) {
                if (const char16_t last = _RunEndUnit(node); last != 0 && !HasUnit(_RunEnd.Node, last))
                    break;
            }
            node->TryAccept(_szBuffer);
        }
        if (!blPlain || _szBuffer.size() != size)
            _BufferChanged();
        if (blPlainParser && _szBuffer.empty())
            return; // taken whole: nothing is left to offer, whichever node is innermost now
        if (innermost() == node)
            break;
    }
    if (_szBuffer.empty())
        return;
    TORVIStreamedNode* current = innermost();
    if (const std::vector<TORVIStreamedNodeDefinition*>* candidates = _CandidatesNow(current)) {
        // Definitions of the base class only: asking which take part has no effect but the answer,
        // and no handler runs before one opens.
        // After a run begun on one unit, what that unit ruled out is asked only where the unit that
        // ended the run is one of its stops.
        if (__builtin_expect(_szBuffer.size() == _RunEnd.nCovered + 1, 0) && _RunEndUnit(current) != 0 &&
            _OfferAtRunEnd(current))
            return;
        // A unit alone that the candidates' table names at most one opener for asks only that one.
        if (const TCandidates* set = _pCandidates; _szBuffer.size() == 1 && _szBuffer[0] < 128 && set->blRunStarts) {
            if (const int sole = set->SoleOpener[_szBuffer[0]]; sole != -2) {
                TORVIStreamedNodeDefinition* definition = sole >= 0 ? (*candidates)[sole] : nullptr;
                if (definition && !(definition->_nOpenDeadBuffer == _nBufferSerial && definition->_nOpenDeadBuffer != 0)) {
                    const std::size_t size = _szBuffer.size();
                    definition->_MatchOpen(_szBuffer, this, true);
                    if (_szBuffer.size() != size)
                        _BufferChanged();
                }
                return;
            }
        }
        for (TORVIStreamedNodeDefinition* definition : *candidates) {
            if (_szBuffer.size() == 1 && _szBuffer[0] < 128 && definition->_pRegOpen) {
                // _CannotOpenNow for a buffer of one unit, as the expression answered that unit alone.
                if ((definition->_nOpenDeadBuffer == _nBufferSerial && definition->_nOpenDeadBuffer != 0) ||
                    HasUnit(definition->_OpenFilter.Short, _szBuffer[0]))
                    continue;
            } else if (definition->_CannotOpenNow(this)) {
                continue;
            }
            // What _CannotOpenNow settled for the compiled expression need not be settled again.
            const bool blScreened = definition->_pRegOpen != nullptr;
            const std::size_t size = _szBuffer.size();
            TORVIStreamedNode* opened = definition->_MatchOpen(_szBuffer, this, blScreened);
            if (_szBuffer.size() != size)
                _BufferChanged();
            if (opened)
                break;
        }
        return;
    }
    // Whether asking if a definition takes part here has no effect but the answer, so that a
    // definition that could not open on the buffer need not be asked.
    const bool blPlainQuestion = !current || (current->Definition() && current->Definition()->_Plain(current));
    for (int i = 0; _pNodeDefs && i < _pNodeDefs->Count(); ++i) {
        TORVIStreamedNodeDefinition* definition = (*_pNodeDefs)[i];
        if (blPlainQuestion && definition->_CannotOpenNow(this))
            continue;
        const bool takesPart = current ? current->IsAllowedNodeClass(&definition->DefinitionClass())
                                       : definition->CanBeRootNode();
        if (!takesPart)
            continue;
        const bool blPlain = definition->_Plain(nullptr);
        const std::size_t size = _szBuffer.size();
        TORVIStreamedNode* opened = definition->TryMatchOpen(_szBuffer, this);
        if (!blPlain || _szBuffer.size() != size)
            _BufferChanged();
        if (opened)
            break;
    }
}

bool TORVIStreamParser::_OfferAtRunEnd(const TORVIStreamedNode* pCurrent) {
    const TCandidates* set = _pCandidates;
    if (set != _RunEnd.pSet || !set->blRunStarts || set->nEpoch != _RunEnd.nEpoch ||
        set->pContext != (pCurrent ? pCurrent->Definition() : nullptr))
        return false;
    // Ruled out by the first unit with stops that the last leaves out: no unit between was one.
    const char16_t first = _RunEnd.cFirst, last = _szBuffer.back();
    const std::uint64_t serial = _nBufferSerial;
    bool blRevived = HasUnit(_RunEnd.Node, last);
    const std::vector<TORVIStreamedNodeDefinition*>& candidates = set->Definitions;
    // The union of every candidate's stops for the first unit: without the last unit, none is revived.
    const bool blNoneRevived = !HasUnit(set->RunStops[first], last);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (i < 32 && blNoneRevived) {
            // Straight to the next candidate the first unit did not rule out.
            const std::uint32_t asked = ~set->RuledAlone[first] >> i;
            i = asked != 0 ? i + static_cast<std::size_t>(std::countr_zero(asked)) : 32;
            if (i >= candidates.size())
                break;
        }
        if (i < 32 && (set->RuledAlone[first] >> i & 1) != 0) {
            const std::array<std::uint64_t, 2>& kept = set->CandidateStops[i * 128 + first];
            const std::uint64_t stops[2] = {kept[0], kept[1]};
            if (!HasUnit(stops, last))
                continue;
            blRevived = true;
        }
        TORVIStreamedNodeDefinition* definition = candidates[i];
        // An answer kept for this buffer settles it without screening (the buffer of a literal).
        if (const int recalled = definition->_RecalledOpen(this);
            recalled == 0 || (recalled < 0 && definition->_CannotOpenNow(this)))
            continue;
        const std::size_t size = _szBuffer.size();
        TORVIStreamedNode* opened = definition->_MatchOpen(_szBuffer, this, definition->_pRegOpen != nullptr);
        if (_szBuffer.size() != size)
            _BufferChanged();
        if (opened)
            return true;
    }
    // Nothing it ruled out was revived and the buffer only grew: the next unit's step may ask so too.
    if (!blRevived && serial == _nBufferSerial && _Current() == pCurrent)
        _RunEnd.nCovered = _szBuffer.size();
    return true;
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
