#pragma once
// A text stream read character by character into nested nodes, each kind of node described by a
// definition of regular expressions for its opening text, its content and its closing text. The
// grammar is the caller's: it derives definition classes and reacts to their open and close events.
//
// Lifetimes: a definition is a referenced object that lives while something locks it; the parser's
// definition list locks each one it holds, and every node locks its definition. During a parse the
// handlers may add, remove or free definitions (their own included); a definition freed outright
// leaves the list and the nodes that had it. A node belongs to the parser while it is open (the
// parser frees open nodes after an error or at the end) and to the OnClose handler once closed.
// OnOpen must not free the node, no handler may free the parser that is parsing, and the stream
// must outlive ParseStream.
#include "rtl/Encoding.h"
#include "rtl/Exceptions.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/RegularExpression.h"
#include "rtl/Stream.h"
#include "rtl/UnicodeString.h"
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.ReferencedPersistent.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <typeinfo>
#include <vector>

namespace orvi {

class TORVIStreamedNode;
class TORVIStreamedNodeDefinition;
class TORVIStreamParser;

/// A grammar violation met while parsing a stream.
class UTILS_API EORVIStreamError : public rtl::Exception {
public:
    using Exception::Exception;
    std::shared_ptr<const Exception> Clone() const override {
        return std::make_shared<EORVIStreamError>(*this);
    }
};

/// Creates nodes by class, for a parser.
using TORVIStreamedNodeClass = rtl::TClassRef<TORVIStreamedNode, TORVIStreamParser*>;
/// Creates definitions by class; nesting rules name these.
using TORVIStreamedNodeDefinitionClass = rtl::TClassRef<TORVIStreamedNodeDefinition, rtl::TPersistent*>;

/// The class reference of definition class T (one per class; compared by the class's name too, so a
/// copy made in another library stands for the same class).
template <class T> const TORVIStreamedNodeDefinitionClass& ORVIStreamedNodeDefinitionClass() {
    static const rtl::TClassOf<T, TORVIStreamedNodeDefinition, rtl::TPersistent*> s_class(typeid(T).name());
    return s_class;
}
/// The class reference of node class T.
template <class T> const TORVIStreamedNodeClass& ORVIStreamedNodeClass() {
    static const rtl::TClassOf<T, TORVIStreamedNode, TORVIStreamParser*> s_class(typeid(T).name());
    return s_class;
}

/// Declares, inside definition class TThis, the class reference that nesting rules compare. Every
/// definition class states it once; one that inherits its base's fails to be created.
#define ORVI_STREAMED_NODE_DEFINITION_CLASS(TThis)                                                           \
public:                                                                                                      \
    const ::orvi::TORVIStreamedNodeDefinitionClass& DefinitionClass() const override {                       \
        return ::orvi::ORVIStreamedNodeDefinitionClass<TThis>();                                             \
    }

/// (Sender, Node): a node of the sender's kind opened or closed.
using TORVIStreamedNodeEvent = rtl::TMethod<void(TORVIStreamedNodeDefinition*, TORVIStreamedNode*)>;
/// (Sender, cEscapedChar): the character that stands for the escaped one.
using TORVIStreamParserEscapeEvent = rtl::TMethod<char16_t(TORVIStreamedNodeDefinition*, char16_t)>;

enum TNodeOption : std::uint8_t {
    snd_AllowsNodes = 0,
    snd_AllowsText = 1,
    snd_CaseInsensitiveOpen = 2,
    snd_CaseInsensitiveClose = 3,
    snd_CaseInsensitiveContent = 4,
    snd_CaseInsensitiveValid = 5,
    snd_CanBeRootNode = 6,
    snd_AllowsMultiLineText = 7,
};
/// A set of TNodeOption: bit n is option n.
using TNodeOptions = std::uint8_t;

enum TNodeStates : std::uint8_t { sn_Complete = 1 };
using TNodeState = std::uint8_t;

enum TORVIStreamParserOption : std::uint8_t { sp_AllowMultiLineBuffer = 1 };
using TORVIStreamParserOptions = std::uint8_t;

/// One recognised node: the text that opened it, its content and the text that closed it. Freed with
/// rtl::Free by whoever owns it (see the unit's lifetimes).
class UTILS_API TORVIStreamedNode : public rtl::TObject {
public:
    /// A node read by pParser (which may be nil).
    explicit TORVIStreamedNode(TORVIStreamParser* pParser);

    /// The definition; nil when it was freed outright.
    // Asked at nearly every unit: one load of a state word answers, the pinned block's or, for an
    // empty pin, one that always reads freed.
    TORVIStreamedNodeDefinition* Definition() const noexcept {
        return (_pDefinitionState->load(std::memory_order_acquire) & rtl::TControlBlock::kFreed)
                   ? nullptr
                   : _pinDefinition.Pinned();
    }
    /// Sets the definition, holding a lock on it for as long as the node has it (so a handler that
    /// removes the definition from its parser cannot free it under the node). A definition freed
    /// outright leaves the node without one.
    void SetDefinition(TORVIStreamedNodeDefinition* pDefinition);
    TORVIStreamParser* Parser() const noexcept { return _pParser; }
    bool Complete() { return _GetComplete(); }
    const rtl::UnicodeString& Open() const noexcept { return _szOpen; }
    const rtl::UnicodeString& Close() const noexcept { return _szClose; }
    const rtl::UnicodeString& Content() const noexcept { return _szContent; }
    /// Open + Content + Close.
    rtl::UnicodeString Text() { return _GetText(); }

    /// Whether the definition lets a node of class pNodeClass nest here; false without a definition.
    virtual bool IsAllowedNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass);
    /// Offers the parser's buffer to the definition, which may take text from it and close the node;
    /// false without a definition.
    virtual bool TryAccept(rtl::UnicodeString& szNextChar);

protected:
    friend class TORVIStreamedNodeDefinition;
    friend class TORVIStreamParser;
    template <class T, class... Args> friend T* rtl::Create(Args&&... args);
    ~TORVIStreamedNode() override;
    virtual bool _GetComplete() { return (_NodeState & sn_Complete) != 0; }
    virtual rtl::UnicodeString _GetText();

private:
    /// A node opened by szOpen whose content starts in szStorage's storage (the text is not taken:
    /// it is empty).
    TORVIStreamedNode(TORVIStreamParser* pParser, rtl::UnicodeString&& szStorage, rtl::UnicodeStringView szOpen);

    // The close expression is matched against Content followed by the buffer at every character.
    // The node keeps that text (rebuilt only where it changed) and the offset before which no close
    // match can start whatever follows, so each character costs what it adds, not the whole content.
    struct TCloseScan {
        rtl::UnicodeString szSubject;  // Content, then the buffer as last offered
        std::size_t nContent = 0;      // leading units of szSubject that mirror Content (copied when searched)
        std::size_t nDead = 0;         // no close match starts before this offset
        std::size_t nDeadChecked = 0;  // Content length when nDead was last advanced
        std::uint32_t nRevision = 0;   // content revision the subject was built for
        std::uint64_t nExpression = 0; // serial of the compiled expression nDead was found for
    };
    /// Takes pin as the definition's, pointing Definition() at its state.
    void _PinDefinition(rtl::TPin<TORVIStreamedNodeDefinition>&& pin) noexcept;
    void _SetContent(rtl::UnicodeString szContent);
    void _AppendContent(rtl::UnicodeStringView szText);

    TORVIStreamParser* _pParser;
    rtl::TPin<TORVIStreamedNodeDefinition> _pinDefinition;
    const std::atomic<std::uint32_t>* _pDefinitionState; // what Definition() asks (see _PinDefinition)
    TNodeState _NodeState = 0;
    rtl::UnicodeString _szOpen;
    rtl::UnicodeString _szClose;
    rtl::UnicodeString _szContent;
    std::uint32_t _nContentRevision = 0; // grows whenever Content changes other than by appending
    mutable std::int8_t _nPlain = -1;     // whether of the base class; -1 until asked
    bool _blPlainLock = false;            // the lock on the definition was taken as a base-class one
    TCloseScan _CloseScan;
};

/// Describes one kind of node: expressions for its opening text, its content and its closing text,
/// option flags, escape characters and the classes of definitions that may nest inside it. Its
/// handlers run inside the parse, on the definition that opened or closed the node; the definition
/// stays alive for the node's sake until the node is freed.
class UTILS_API TORVIStreamedNodeDefinition : public TORVIReferencedPersistent {
public:
    explicit TORVIStreamedNodeDefinition(rtl::TPersistent* AOwner = nullptr);
    /// Raises rtl::Exception when the class does not declare its own class reference.
    void AfterConstruction() override;

    /// Copies the allowed-content, close and open patterns, AllowsContainedNodes and
    /// AllowsContainedText, the escapes, the three events and the allowed classes; keeps the name,
    /// the valid-content pattern, the case, multi-line and root flags and the refused classes.
    void Assign(const rtl::TPersistent* source) override;

    /// This object's class reference, which nesting rules compare. Each definition class declares its
    /// own with ORVI_STREAMED_NODE_DEFINITION_CLASS.
    virtual const TORVIStreamedNodeDefinitionClass& DefinitionClass() const;

    virtual void AllowNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass);
    virtual TORVIStreamedNode* CreateNode(TORVIStreamParser* pForParser);
    virtual void DisallowNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass);
    /// At the end of the stream: closes pCandidate when nothing is left and no close text is
    /// expected, or when the valid-content expression matches its text and szResidual; true then.
    virtual bool EndOfStream(rtl::UnicodeString& szResidual, TORVIStreamedNode* pCandidate);
    /// The class of the nodes this definition makes.
    virtual const TORVIStreamedNodeClass& GetStreamedNodeClass() const;
    virtual bool IsAllowedNodeClass(const TORVIStreamedNodeDefinitionClass* pNodeClass);
    /// pCandidate (the current node) is offered szCandidate; true when text was accepted.
    virtual bool TryAccept(rtl::UnicodeString& szCandidate, TORVIStreamedNode* pCandidate);
    /// Opens a node when the open expression matches the start of szCandidate; the node or nil.
    virtual TORVIStreamedNode* TryMatchOpen(rtl::UnicodeString& szCandidate, TORVIStreamParser* pForParser);

    rtl::UnicodeString Name() { return _GetName(); }
    void SetName(const rtl::UnicodeString& value) { _SetName(value); }
    rtl::UnicodeString OpenMatch() const { return _szOpen; }
    void SetOpenMatch(const rtl::UnicodeString& value) { _SetOpenMatch(value); }
    rtl::UnicodeString AllowedContentMatch() const { return _szAllowed; }
    void SetAllowedContentMatch(const rtl::UnicodeString& value) { _SetAllowedMatch(value); }
    rtl::UnicodeString ValidContentMatch() const { return _szValid; }
    void SetValidContentMatch(const rtl::UnicodeString& value) { _SetValidMatch(value); }
    rtl::UnicodeString CloseMatch() const { return _szClose; }
    void SetCloseMatch(const rtl::UnicodeString& value) { _SetCloseMatch(value); }
    /// The escape characters, as a string.
    rtl::UnicodeString Escapes() { return _GetEscapes(); }
    void SetEscapes(const rtl::UnicodeString& value) { _SetEscapes(value); }
    TNodeOptions NodeOptions() const noexcept { return _NodeOptions; }

    bool AllowsContainedNodes() { return _GetAllowsContainedNodes(); }
    void SetAllowsContainedNodes(bool value) { _SetAllowsContainedNodes(value); }
    bool AllowsContainedText() { return _GetAllowsContainedText(); }
    void SetAllowsContainedText(bool value) { _SetAllowsContainedText(value); }
    bool AllowsMultiLineText() { return _GetAllowsMultiLineText(); }
    void SetAllowsMultiLineText(bool value) { _SetAllowsMultiLineText(value); }
    bool CanBeRootNode() { return _GetCanBeRootNode(); }
    void SetCanBeRootNode(bool value) { _SetCanBeRootNode(value); }
    bool CaseInsensitiveClose() { return _GetCaseInsensitiveClose(); }
    void SetCaseInsensitiveClose(bool value) { _SetCaseInsensitiveClose(value); }
    bool CaseInsensitiveContent() { return _GetCaseInsensitiveContent(); }
    void SetCaseInsensitiveContent(bool value) { _SetCaseInsensitiveContent(value); }
    bool CaseInsensitiveOpen() { return _GetCaseInsensitiveOpen(); }
    void SetCaseInsensitiveOpen(bool value) { _SetCaseInsensitiveOpen(value); }
    bool CaseInsensitiveValid() { return _GetCaseInsensitiveValid(); }
    void SetCaseInsensitiveValid(bool value) { _SetCaseInsensitiveValid(value); }

    /// The parser whose definition list holds this definition, or nil.
    TORVIStreamParser* Parser() { return _GetParser(); }

    TORVIStreamParserEscapeEvent OnHandleEscape() const { return _fnEscapeHandler; }
    void SetOnHandleEscape(const TORVIStreamParserEscapeEvent& value) { _fnEscapeHandler = value; }
    TORVIStreamedNodeEvent OnOpen() const { return _fnOpenCallback; }
    void SetOnOpen(const TORVIStreamedNodeEvent& value) { _fnOpenCallback = value; }
    /// The handler takes over the closed node and frees it when done. Without a handler nobody can
    /// take a closed node over, so it is freed at once.
    TORVIStreamedNodeEvent OnClose() const { return _fnCloseCallback; }
    void SetOnClose(const TORVIStreamedNodeEvent& value) { _fnCloseCallback = value; }

protected:
    friend class TORVIStreamParser;
    ~TORVIStreamedNodeDefinition() override;

    /// Closes pNode when the close expression matches the end of its content and szBuffer.
    virtual bool _CheckClose(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode);
    /// Marks pNode complete, hands it to OnClose and takes it off the parser's stack.
    virtual void _DoClose(TORVIStreamedNode* pNode);
    virtual rtl::TRegEx* _GetAllowedRegEx();
    virtual bool _GetAllowsContainedNodes() { return _Has(snd_AllowsNodes); }
    virtual bool _GetAllowsContainedText() { return _Has(snd_AllowsText); }
    virtual bool _GetAllowsMultiLineText() { return _Has(snd_AllowsMultiLineText); }
    virtual bool _GetCanBeRootNode() { return _Has(snd_CanBeRootNode); }
    virtual bool _GetCaseInsensitiveClose() { return _Has(snd_CaseInsensitiveClose); }
    virtual bool _GetCaseInsensitiveContent() { return _Has(snd_CaseInsensitiveContent); }
    virtual bool _GetCaseInsensitiveOpen() { return _Has(snd_CaseInsensitiveOpen); }
    virtual bool _GetCaseInsensitiveValid() { return _Has(snd_CaseInsensitiveValid); }
    virtual rtl::TRegEx* _GetCloseRegEx();
    virtual rtl::UnicodeString _GetEscapes() {
        return rtl::UnicodeString(_caEscapes.begin(), _caEscapes.end());
    }
    virtual rtl::UnicodeString _GetName() { return _szName; }
    virtual rtl::TRegEx* _GetOpenRegEx();
    virtual TORVIStreamParser* _GetParser() { return _pParser; }
    virtual rtl::TRegEx* _GetValidRegEx();
    virtual void _SetAllowedMatch(const rtl::UnicodeString& value);
    virtual void _SetAllowsContainedNodes(bool value) { _SetOption(snd_AllowsNodes, value); }
    virtual void _SetAllowsContainedText(bool value) { _SetOption(snd_AllowsText, value); }
    virtual void _SetAllowsMultiLineText(bool value);
    virtual void _SetCanBeRootNode(bool value) { _SetOption(snd_CanBeRootNode, value); }
    virtual void _SetCaseInsensitiveClose(bool value);
    virtual void _SetCaseInsensitiveContent(bool value);
    virtual void _SetCaseInsensitiveOpen(bool value);
    virtual void _SetCaseInsensitiveValid(bool value);
    virtual void _SetCloseMatch(const rtl::UnicodeString& value);
    virtual void _SetEscapes(const rtl::UnicodeString& value);
    virtual void _SetName(const rtl::UnicodeString& value) { _szName = value; }
    virtual void _SetOpenMatch(const rtl::UnicodeString& value);
    virtual void _SetValidMatch(const rtl::UnicodeString& value);

private:
    // -- pins on this definition
    // Each node pins its definition for its whole life, and the open and escape handlers run under a
    // pin of their own: the pins come from this stock and go back to it, so a node or an escape costs
    // its definition's shared count nothing while the definition lives.
    friend class TORVIStreamedNode;
    rtl::TPinStock _Pins;

    using TClassList = std::vector<const TORVIStreamedNodeDefinitionClass*>;
    bool _Has(TNodeOption option) const noexcept { return (_NodeOptions >> option) & 1; }
    void _SetOption(TNodeOption option, bool value) noexcept;
    /// Sets a flag that changes how an expression is compiled, dropping that compiled form.
    void _SetCompileOption(TNodeOption option, bool value, std::unique_ptr<rtl::TRegEx>& pCompiled);
    static void _SetPattern(rtl::UnicodeString& szPattern, std::unique_ptr<rtl::TRegEx>& pCompiled,
                            const rtl::UnicodeString& value);
    static bool _Holds(const TClassList& list, const TORVIStreamedNodeDefinitionClass* pNodeClass);
    static void _Drop(TClassList& list, const TORVIStreamedNodeDefinitionClass* pNodeClass);
    // What is known of a compiled expression's matches before calling it, so that calls whose answer
    // is already known are skipped. It describes the compiled form this definition made (and is made
    // again with it); an expression from elsewhere has none.
    struct TFilter {
        rtl::TRegExInfo Info;
        bool blAnchored = false;    // matches only at the subject's start: StartUnits concern its first unit
        bool blContextFree = false; // a match does not depend on text before its start
        std::uint64_t Singly[2] = {}; // ASCII units that the expression takes alone, as a whole match
        std::uint64_t DeadFirst[2] = {}; // anchored: ASCII units no subject starting with can match
        std::uint64_t StartAscii[2] = {}; // ASCII units a match may start with
        bool blShortKnown = false;         // Short below was worked out with the rest
        std::uint64_t Short[2] = {};       // ASCII units alone ruled out, or shorter than any match
        struct TAlone {
            rtl::TRegExPartial Found = rtl::TRegExPartial::rpNoMatch;
            std::uint8_t nOffset = 0, nLength = 0;
        } Alone[128], AloneWhole[128]; // what a subject of that ASCII unit alone gets (soft partial; whole)
        // For two ASCII units: whether no match can start with them, whatever follows. Asked of the
        // compiled expression the first time a pair is met, so a parse pays for the pairs it meets.
        struct TPairs {
            std::uint64_t Known[128][2] = {};
            std::uint64_t Dead[128][2] = {};
        };
        const rtl::TRegEx* pCompiled = nullptr; // the expression described; nil when pairs are not asked
        mutable std::unique_ptr<TPairs> pPairs;
        // The soft partial answers to the last few short subjects of more than one unit: a parse
        // offers the same few texts again and again (each literal's letters), answered alike each
        // time. Each is kept by its length and end units in one of two neighbouring entries, so two
        // comparisons find an answer or tell there is none.
        static constexpr std::size_t kRecentLongest = 8, kRecentCount = 32;
        struct TRecent {
            std::uint8_t nSize = 0; // 0: none kept
            std::uint8_t nOffset = 0, nLength = 0;
            rtl::TRegExPartial Found = rtl::TRegExPartial::rpNoMatch;
            char16_t Units[kRecentLongest] = {};
        };
        mutable TRecent Recent[kRecentCount];
        /// The answer kept for subject; false when none is.
        bool Recalled(rtl::UnicodeStringView subject, rtl::TRegExPartial& found, long& offset,
                      long& length) const;
        void Remember(rtl::UnicodeStringView subject, rtl::TRegExPartial found, long offset,
                      long length) const;
    };
    // What _ContentUnits answers apart from the node's close scan, worked out again whenever the
    // settings or the parser's line end change.
    struct TContentRun {
        bool blKnown = false;
        std::uint32_t nSettings = 0;  // _nSettings it was worked out for
        std::uint32_t nReady = ~std::uint32_t{0}; // nSettings, once known to allow runs (of the base class)
        rtl::UnicodeString szLineEnd; // the parser's line end it was worked out for
        std::uint64_t nLineEnd = 0;   // and that line end's serial
        bool blRuns = false;          // runs of content may be taken at all
        bool blCloseUnit = false;     // the close expression's required unit is left out (scan needed)
        bool blLineEnds = false;
        std::uint64_t Units[2] = {};
        char16_t cCloseUnit = 0;      // the required unit left out, when blCloseUnit
        bool blStartsNoClose = false; // no unit a run takes (line ends included) can start a close match
        // Units past ASCII met in content, each with whether it is taken alone as the ASCII units
        // are (asked of the expression once per unit, in a small table by the unit's low bits).
        struct TWide {
            char16_t cUnit = 0;
            std::int8_t nTakes = -1; // -1 not asked yet
        } Wide[64];
    };
    void _WorkOutContentRun(TORVIStreamParser* pParser);
    // The open expression's search over the parser's buffer, gone on with over what the buffer
    // gains while it only partly matches, so that a long buffer is not read again at every step.
    struct TOpenProgress {
        std::uint64_t nBuffer = 0; // serial of the buffer read; 0 none
        char16_t cLast = 0;        // the last unit read
        bool blRefused = false;    // the expression cannot be searched so: it is matched as usual
        bool blSearched = false;   // the usual search has read this buffer once
        rtl::TRegExProgress Progress;
    };
    // What is known of the parser's buffer for the close expression, found again only where the
    // buffer grew: where its required unit is, and where no close match can start.
    struct TBufferScan {
        std::uint64_t nBuffer = 0;     // serial of the buffer; 0 none
        std::uint64_t nExpression = 0; // serial of the compiled close expression
        std::size_t nUnitFrom = 0;     // no required unit before this
        std::size_t nUnitAt = 0;       // where one was found, when past nUnitFrom
        std::size_t nDead = 0;         // no close match starts before this
        std::size_t nKept = 0;         // units the buffer kept since (fewer: it was cut, as an open does)
    };
    /// After a run that _ContentUnits allowed appended to pNode's content from nFrom on: where no
    /// close match could start before nFrom, none can start in the run either; whether the close
    /// scan was brought to the content's end so.
    inline bool _ContentRunTaken(TORVIStreamedNode* pNode, std::size_t nFrom);
    /// pNode's content from nFrom on holds no unit that can start a close match: where none could
    /// start before nFrom, the close scan is brought to the end as its update would bring it;
    /// whether it was.
    inline bool _NoCloseStartsFrom(TORVIStreamedNode* pNode, std::size_t nFrom);
    /// The filter of compiled, or nil when compiled is not this definition's own pCompiled.
    static TFilter* _FilterOf(const rtl::TRegEx* compiled, const std::unique_ptr<rtl::TRegEx>& pOwn,
                              TFilter& filter) {
        return compiled && compiled == pOwn.get() ? &filter : nullptr;
    }
    /// TryAccept of pNode (this definition's, both of the base classes) offered pParser's buffer of
    /// one ASCII unit, answered from what each expression told of that unit alone when it was
    /// compiled; -1 (nothing done) when that does not answer it. blScanAtEnd: pNode's close scan is
    /// known to be up to date with no match starting in it.
    [[gnu::always_inline]] inline int _AcceptUnit(TORVIStreamParser* pParser, TORVIStreamedNode* pNode,
                                                  bool blScanAtEnd);
    /// Whether the settings let _AcceptUnit answer from the unit alone (every expression it asks
    /// compiled, no valid-content expression); worked out once for each change of the settings.
    bool _UnitAnswerable() { return _nUnitSettings == _nSettings || _WorkOutUnitAnswerable(); }
    bool _WorkOutUnitAnswerable();
    std::uint32_t _nUnitSettings = ~std::uint32_t{0}; // _nSettings that _UnitAnswerable held for
    std::uint64_t _EscapeUnits[2] = {};               // the ASCII escapes, as found with it
    bool _blAsciiEscapes = false;                     // and whether there are any
    /// _AcceptUnit for a buffer of one of the escapes.
    int _AcceptEscape(TORVIStreamParser* pParser, TORVIStreamedNode* pNode);
    /// Takes what the allowed-content expression answered for unit alone from buffer into pNode's
    /// content, and moves the close scan past it where no close can start there (blOneUnitClose: the
    /// close is one unit, which unit is not).
    inline void _TakeAlone(rtl::UnicodeString& buffer, TORVIStreamedNode* pNode, char16_t unit, bool blOneUnitClose);
    // -- escapes
    /// _TakeAlone for the span (nOffset, nLength) of a buffer of unit alone, whatever told it.
    [[gnu::always_inline]] inline void _TakeSpan(rtl::UnicodeString& buffer, TORVIStreamedNode* pNode, char16_t unit, std::size_t nOffset,
                          std::size_t nLength, bool blOneUnitClose);
    /// What TryAccept does with szCandidate once it has not closed pCandidate: offers it as content,
    /// and closes a node that takes no nodes when none was taken.
    [[gnu::always_inline]] inline bool _AcceptContent(rtl::UnicodeString& szCandidate, TORVIStreamedNode* pCandidate,
                                                      TORVIStreamParser* parser);
    /// Whether allowed (the allowed-content expression) matches szCandidate, as Find does.
    bool _AllowedMatch(const rtl::TRegEx& allowed, TORVIStreamParser* pParser, const rtl::UnicodeString& szCandidate,
                       rtl::TRegExScratch& scratch, long& offset, long& length);
    /// Readies pNode's close scan for its content and moves the dead offset over units that start no
    /// match; the scan.
    TORVIStreamedNode::TCloseScan& _SyncCloseScan(TORVIStreamedNode* pNode, const rtl::TRegEx& close);
    /// The scan of pParser's buffer (szBuffer) for the close expression, started again when the
    /// buffer changed other than by growing; nil for another text or an expression from elsewhere.
    TBufferScan* _CloseBufferScanOf(TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer,
                                    const rtl::TRegEx& close);
    /// Whether szBuffer holds the close expression's required unit (reading only what pParser's
    /// buffer gained since it was last asked). Out of line, as the two below: long buffers are rare.
    [[gnu::noinline]] bool _HoldsCloseUnit(TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer,
                                           const rtl::TRegEx& close, char16_t cUnit);
    /// close.Find on szBuffer alone (close context free), searching pParser's buffer only from where
    /// a match may still start.
    [[gnu::noinline]] bool _FindCloseInBuffer(TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer,
                                              const rtl::TRegEx& close, rtl::TRegExScratch& scratch, long& offset,
                                              long& length);
    /// Whether the open expression certainly does not match pParser's buffer now, told by going on
    /// with its search over only what the buffer gained; false when unknown.
    [[gnu::noinline]] bool _OpenPending(const rtl::TRegEx& open, TORVIStreamParser* pParser);
    /// _CheckClose where no close match starts in pNode's content and close is context free.
    bool _CloseInBuffer(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode, const rtl::TRegEx& close,
                        rtl::TRegExScratch& scratch);
    // -- close searches a buffer run answers
    /// How far from its second unit szBuffer (the buffer of pNode's parser) is known to start no
    /// match of close, this definition's own: the end of the run gap kept for it; 0 when none.
    inline std::size_t _RunCloseGapOf(TORVIStreamedNode* pNode, const rtl::UnicodeString& szBuffer,
                                      const rtl::TRegEx& close);
    /// _CheckClose where close is context free: only the content from the dead offset on is searched
    /// with the buffer.
    bool _CloseInTail(rtl::UnicodeString& szBuffer, TORVIStreamedNode* pNode, const rtl::TRegEx& close,
                      rtl::TRegExScratch& scratch);
    /// Copies into pNode's close scan what its content gained.
    static void _MirrorContent(TORVIStreamedNode* pNode);
    /// Moves the dead offset of pNode's close scan over content not yet searched alone.
    void _AdvanceCloseScan(TORVIStreamedNode* pNode, const rtl::TRegEx& close, rtl::TRegExScratch& scratch);
    /// Brings pNode's close scan up to date with its content; the scan.
    TORVIStreamedNode::TCloseScan& _RefreshCloseScan(TORVIStreamedNode* pNode, const rtl::TRegEx& close,
                                                     rtl::TRegExScratch& scratch);
    /// Whether this definition and pNode are of the classes whose steps the parser may take itself.
    /// The class of an object never changes once made: each is asked once.
    bool _Plain(const TORVIStreamedNode* pNode) const {
        if (_nPlain < 0 || (pNode && pNode->_nPlain < 0))
            _AskPlain(pNode);
        return _nPlain == 1 && (!pNode || pNode->_nPlain == 1);
    }
    /// Asks what _Plain answers from, once for each object.
    void _AskPlain(const TORVIStreamedNode* pNode) const;
    /// For a run of content: the ASCII units that pNode (current, with an empty buffer) would take one
    /// at a time into its content without closing, opening or calling anything, and whether line
    /// ends are taken so too. False when unknown.
    inline bool _ContentUnits(TORVIStreamedNode* pNode, std::uint64_t (&units)[2], bool& blLineEnds);
    /// Whether pNode's close scan is up to date with its content and no close match starts in it
    /// (so that bringing it up to date would change nothing).
    inline bool _CloseScanAtEnd(const TORVIStreamedNode* pNode) const;
    /// _ContentUnits where the run's units are not known for the current settings or the node's
    /// close scan must be asked.
    bool _ContentUnitsAsking(TORVIStreamedNode* pNode, std::uint64_t (&units)[2], bool& blLineEnds);
    /// For a run of content that _ContentUnits allowed: whether the unit past ASCII is taken alone as
    /// its units are.
    bool _ContentTakesWide(char16_t cUnit, TORVIStreamParser* pParser);
    /// For a run of buffer: false unless pNode (current, offered szBuffer) certainly takes nothing of
    /// szBuffer and of what is appended to it until a unit of stops comes (stops then grows).
    bool _IgnoresBuffer(TORVIStreamedNode* pNode, const rtl::UnicodeString& szBuffer, std::uint64_t (&stops)[2]);
    /// For a run of buffer: false unless the open expression certainly fails on szBuffer of pParser
    /// and on what is appended to it until a unit of stops comes.
    /// Also when the buffer is shorter than any match: nRoom is then lowered to the units it may
    /// grow by before it could match.
    bool _CannotOpen(TORVIStreamParser* pParser, const rtl::UnicodeString& szBuffer, std::uint64_t (&stops)[2],
                     std::size_t& nRoom);
    /// TryMatchOpen; blScreened when _CannotOpenNow has just answered false for the compiled open
    /// expression on pForParser's buffer, whose answers are then not worked out again.
    TORVIStreamedNode* _MatchOpen(rtl::UnicodeString& szCandidate, TORVIStreamParser* pForParser, bool blScreened);
    /// Whether TryMatchOpen would certainly open nothing on pParser's buffer now, without a call and
    /// without compiling anything.
    bool _CannotOpenNow(TORVIStreamParser* pParser);
    /// What the compiled open expression's answer kept for pParser's buffer tells (this definition of
    /// the base class): 1 it opens there, 0 it does not (noted as _MatchOpen notes it), -1 none kept.
    int _RecalledOpen(TORVIStreamParser* pParser);
    // -- one-unit answers of a buffer run
    /// Whether pNode's close scan is, or is brought, up to date with its content with no close match
    /// starting in it (close this definition's own, compiled); part of _IgnoresBuffer's answer.
    bool _CloseScanClear(TORVIStreamedNode* pNode, const rtl::TRegEx& close) {
        // A scan already up to date with the content, with no match starting in it, stays so.
        const TORVIStreamedNode::TCloseScan& scan = pNode->_CloseScan;
        const std::size_t nContent = pNode->_szContent.size();
        if (scan.nExpression == _nCloseSerial && scan.nRevision == pNode->_nContentRevision &&
            scan.nContent <= nContent && scan.nDeadChecked == nContent && scan.nDead >= nContent)
            return true;
        return _RefreshedScanClear(pNode, close);
    }
    bool _RefreshedScanClear(TORVIStreamedNode* pNode, const rtl::TRegEx& close);
    /// The parser that read pNode (the one parsing), else this definition's own.
    TORVIStreamParser* _ParserOf(TORVIStreamedNode* pNode) const noexcept {
        return pNode->_pParser ? pNode->_pParser : _pParser;
    }
    /// Fetches into szInto the character after an escape from the stream being parsed; empty when none.
    void _FetchEscaped(TORVIStreamedNode* pNode, rtl::UnicodeString& szInto);
    void _SetParser(TORVIStreamParser* pParser) { _pParser = pParser; }

    rtl::UnicodeString _szName;
    rtl::UnicodeString _szOpen;
    std::unique_ptr<rtl::TRegEx> _pRegOpen;
    rtl::UnicodeString _szAllowed;
    std::unique_ptr<rtl::TRegEx> _pRegAllowed;
    rtl::UnicodeString _szValid;
    std::unique_ptr<rtl::TRegEx> _pRegValid;
    rtl::UnicodeString _szClose;
    std::unique_ptr<rtl::TRegEx> _pRegClose;
    std::uint64_t _nCloseSerial = 0; // tells a node's close scan which compiled form it was made for
    rtl::UnicodeString _szCloseTail;  // the text a context-free close is searched in (kept for its room)
    mutable std::int8_t _nPlain = -1;      // whether of the base class; -1 until asked
    std::uint64_t _nOpenDeadBuffer = 0;    // serial of a parser buffer the open expression can never match
    std::uint64_t _nAllowedDeadBuffer = 0; // likewise for an anchored allowed-content expression
    TOpenProgress _OpenProgress;
    TBufferScan _CloseBufferScan;
    std::uint32_t _nSettings = 0; // changes with every expression, option and escape
    TContentRun _ContentRun;
    TFilter _OpenFilter;
    TFilter _AllowedFilter;
    TFilter _CloseFilter;
    // ASCII units that the allowed-content expression takes alone from the parser's buffer (what
    // _AllowedMatch answers for a buffer of that unit); made with the compiled form.
    std::uint64_t _AllowedAlone[2] = {};
    // The allowed-content expression's last answer to the parser's buffer of one unit past ASCII;
    // dropped with the compiled form.
    struct TUnitAnswer {
        bool blKnown = false;
        char16_t cUnit = 0;
        rtl::TRegExPartial Found = rtl::TRegExPartial::rpNoMatch;
        long nOffset = 0, nLength = 0;
    } _AllowedWide;
    // -- closes of one literal unit
    // A close expression that is one literal unit matches only the text's last unit, or the one
    // before a final line end: after a one-unit buffer that is no line end, no match starts in the
    // content, whatever its close scan says.
    bool _CloseIsOneUnit() { return _nOneUnitSerial == _nCloseSerial ? _blOneUnitClose : _WorkOutOneUnitClose(); }
    bool _WorkOutOneUnitClose();
    // The dead offset at the content's end, for a one-unit close once a unit that is no close follows.
    static void _CloseDeadAtEnd(TORVIStreamedNode* pNode, std::uint64_t nCloseSerial);
    std::uint64_t _nOneUnitSerial = 0; // _nCloseSerial that _blOneUnitClose was found for
    bool _blOneUnitClose = false;
    std::uint64_t _OneUnitCloseUnits[2] = {}; // ASCII units such a close matches alone
    // _ContentUnits answered for a content whose close scan is behind, by a one-unit close: the run
    // takes no unit past ASCII and leaves the dead offset at its end. Read once by the caller.
    bool _blOneUnitRun = false;
    TNodeOptions _NodeOptions = 0;
    std::vector<char16_t> _caEscapes;
    TClassList _pAllowedNodes;
    TClassList _pDisallowedNodes;
    TORVIStreamParser* _pParser = nullptr;
    TORVIStreamParserEscapeEvent _fnEscapeHandler;
    TORVIStreamedNodeEvent _fnOpenCallback;
    TORVIStreamedNodeEvent _fnCloseCallback;

    // -- the step pass's questions
    /// _Plain for a node, answered at once where both have been asked already.
    bool _PlainNow(const TORVIStreamedNode* pNode) const {
        return (_nPlain == 1 && pNode->_nPlain == 1) || _Plain(pNode);
    }

    // -- content storage handed from node to node
    // Most nodes of a definition grow their content to about the same size: the storage of a freed
    // node's content is kept here for the next node made, so a node's content costs no allocation
    // while its definition lives.
    rtl::UnicodeString _szSpareContent;
    static constexpr std::size_t kSpareContentLargest = 4096; // larger storage goes back at once
    /// Keeps the storage of szContent (which is left empty) if it beats the one kept.
    void _KeepContentStorage(rtl::UnicodeString& szContent) noexcept;
};

/// Reads a text stream one character at a time, offering the text to the innermost open node and
/// opening nodes of its definitions where no open node takes it. Several parsers may share
/// definitions (Assign); nodes go on the stack of the parser that is parsing.
class UTILS_API TORVIStreamParser : public TORVIReferencedPersistent {
public:
    using TDefinitionList = TORVIReferencedList<TORVIStreamedNodeDefinition>;

    explicit TORVIStreamParser(rtl::TPersistent* AOwner = nullptr);
    void AfterConstruction() override;
    void BeforeDestruction() override;
    /// Takes over the other parser's definitions (the same objects) and frees the open nodes.
    void Assign(const rtl::TPersistent* source) override;

    /// Appends pNodeDef (nil and present ones ignored); the list locks it and this parser becomes its Parser.
    virtual void AddNodeDefinition(TORVIStreamedNodeDefinition* pNodeDef);
    /// Peeks the character nOffset code units ahead (0 = next) without consuming; cCharacter is #0
    /// and the answer false when there is none.
    virtual bool LookAhead(int nOffset, char16_t& cCharacter);
    /// Parses the whole of pInput in the encoding of its byte-order mark, or in Encoding (UTF-8 when
    /// nil) without one. True when the stream parsed and every node closed; otherwise ErrorMessage
    /// says why (a nil input answers false and leaves it as it was).
    virtual bool ParseStream(rtl::TStream* pInput, rtl::TEncoding* Encoding = nullptr);
    virtual void RemoveNodeDefinition(TORVIStreamedNodeDefinition* pNodeDef);
    /// Consumes and answers at least nCount characters (fewer at the end of the stream); each counts
    /// toward the character position.
    virtual rtl::UnicodeString SlurpCharacters(int nCount);

    bool AllowMultiLineBuffer() { return _GetAllowMultiLineBuffer(); }
    void SetAllowMultiLineBuffer(bool value) { _SetAllowMultiLineBuffer(value); }
    /// The innermost open node, or nil.
    TORVIStreamedNode* CurrentNode() { return _GetCurrentNode(); }
    /// The stream being parsed; nil outside a parse.
    rtl::TStream* CurrentStream() { return _GetCurrentStream(); }
    /// Definition nIndex, nil outside 0..DefinitionCount-1.
    TORVIStreamedNodeDefinition* Definition(int nIndex) { return _GetDefinition(nIndex); }
    int DefinitionCount() { return _GetDefinitionCount(); }
    TDefinitionList* Definitions() { return _GetDefinitions(); }
    rtl::TEncoding* Encoding() { return _GetEncoding(); }
    rtl::UnicodeString ErrorMessage() { return _GetErrorMessage(); }
    /// What every CR, LF and CR LF of the stream becomes (CR LF unless set).
    rtl::UnicodeString NormalisedLineEnd() { return _GetNormalisedLineEnd(); }
    void SetNormalisedLineEnd(const rtl::UnicodeString& value) { _SetNormalisedLineEnd(value); }
    /// Line (from 1) and character (from 1) of the last character read.
    int LineCount() const noexcept { return _nLineCount; }
    int CharCount() const noexcept { return _nCharCount; }

protected:
    friend class TORVIStreamedNodeDefinition;
    ~TORVIStreamParser() override;

    virtual void _DefinitionsChanged(rtl::TObject* Sender, TORVIStreamedNodeDefinition* const& Item,
                                     rtl::TCollectionNotification Action);
    virtual void _FreeNodes();
    virtual bool _GetAllowMultiLineBuffer() { return (_ParserOptions & sp_AllowMultiLineBuffer) != 0; }
    virtual TORVIStreamedNode* _GetCurrentNode() {
        return _pCurrentNodes.empty() ? nullptr : _pCurrentNodes.back();
    }
    virtual rtl::TStream* _GetCurrentStream() { return _pInput; }
    virtual TORVIStreamedNodeDefinition* _GetDefinition(int nIndex);
    virtual int _GetDefinitionCount() { return _pNodeDefs ? _pNodeDefs->Count() : 0; }
    virtual TDefinitionList* _GetDefinitions() { return _pNodeDefs; }
    virtual rtl::TEncoding* _GetEncoding() { return _pEncoding; }
    virtual rtl::UnicodeString _GetErrorMessage() { return _szErrorMessage; }
    virtual rtl::UnicodeString _GetNormalisedLineEnd() { return _szNormedLineEnd; }
    virtual void _SetAllowMultiLineBuffer(bool value);
    virtual void _SetNormalisedLineEnd(const rtl::UnicodeString& value);

private:
    // Leaves what a resize adds unset: the stream's bytes are read over it at once.
    template <class T> struct TUnfilled : std::allocator<T> {
        template <class U> struct rebind { using other = TUnfilled<U>; };
        TUnfilled() noexcept = default;
        template <class U> TUnfilled(const TUnfilled<U>&) noexcept {}
        template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    };
    // The stream, read into memory once and decoded ahead of the parse. Reading it through here
    // answers what reading the stream one character at a time would, invalid bytes included.
    struct TInput {
        std::vector<std::uint8_t, TUnfilled<std::uint8_t>> Bytes; // the stream from where the parse began
        std::int64_t nOrigin = 0;        // stream position of Bytes[0]
        const rtl::TEncoding* pEncoding = nullptr;
        bool blUtf8 = false;             // ASCII bytes stand for themselves
        std::size_t nByte = 0;           // first byte not decoded
        int nStopBytes = 0;              // bytes of the sequence that stopped decoding; 0 at the end
        std::vector<char16_t, TUnfilled<char16_t>> Text; // decoded units (sized ahead, decoded into place)
        std::size_t nUnit = 0;           // first unit not read
        std::vector<std::pair<std::size_t, std::size_t>> Wide; // (unit, units) of longer characters
        std::size_t nWide = 0;           // first entry of Wide at or after nUnit
        std::vector<std::pair<std::size_t, std::size_t>> Starts; // (unit, byte) where decoding began
    };
    void _LoadInput();
    /// Decodes from the first byte not decoded until the end or bytes that are no character.
    void _Decode();
    /// _Decode for UTF-8, into place.
    void _DecodeUtf8();
    /// The stream position of what has been read, for leaving the stream there.
    std::int64_t _InputPosition();
    /// One character: false at the end. Bytes that are no character raise EORVIStreamError unless
    /// blQuiet (then false too, and they are passed over).
    bool _Next(rtl::UnicodeString& szChars, bool blQuiet);
    /// Takes a run of characters in one step where every step of the main loop would only append
    /// them (to the current node's content, or to the buffer while nothing can take it), and the
    /// main loop's steps for the single units that end such runs, until a line end, a character of
    /// more than one unit or the end comes.
    void _TakeRun(bool& blLineEnded);
    /// _TakeRun's passes, with the flag in _TakeRun's own frame.
    [[gnu::always_inline]] inline void _TakeRuns(bool& blLineEnded);
    /// For a run of buffer: the units that may grow it (and whether line ends may), false unless
    /// pNode (current, with pDefinition) takes nothing of it and no candidate can open on it until a
    /// unit of the rest comes.
    bool _BufferRunUnits(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                         std::uint64_t (&units)[2], bool& blLineEnds, std::size_t& nRoom);
    /// Whether pNode (current, with pDefinition) takes nothing of the buffer and no candidate can
    /// open on it until a unit of stops comes (nRoom lowered as _CannotOpen does).
    bool _NothingTakesBuffer(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                             std::uint64_t (&stops)[2], std::size_t& nRoom);
    /// After a run of buffer: takes the next character into the buffer, as its step would, when
    /// that step could do nothing else, and sets the units of the run that may follow; false otherwise.
    inline bool _ExtendBufferRun(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition,
                                 std::size_t end, std::uint64_t (&units)[2], bool& blLineEnds,
                                 std::size_t& nRoom, bool& blLineEnded);
    /// Counts the character at the input's position as its step would (after the line end before it)
    /// and moves past it.
    inline void _CountTaken(bool& blLineEnded);
    /// The units a run of buffer takes, and whether line ends, until a unit of stops.
    inline void _RunUnits(const std::uint64_t (&stops)[2], std::uint64_t (&units)[2], bool& blLineEnds);
    /// With an empty buffer: takes the next character into it, as its step would, when that step
    /// could do nothing else and a run of buffer may follow (its units then set); false otherwise.
    bool _StartBufferRun(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition, std::size_t end,
                         std::uint64_t (&units)[2], bool& blLineEnds, std::size_t& nRoom, bool& blLineEnded);
    /// Appends to target the characters from the next one on while they are units (line ends while
    /// blLineEnds; units past ASCII that pWide's content takes, for its content run), before end,
    /// counting them as single steps would.
    [[gnu::always_inline]] inline void _AppendRun(rtl::UnicodeString& target, const std::uint64_t (&units)[2],
                                                  bool blLineEnds, std::size_t end, std::size_t nRoom,
                                                  bool& blLineEnded,
                                                  TORVIStreamedNodeDefinition* pWide = nullptr);
    /// The definitions that take part at pCurrent (at the root when nil), in list order; nil unless
    /// every definition, pCurrent and its definition are of the base classes.
    const std::vector<TORVIStreamedNodeDefinition*>* _CandidatesAt(TORVIStreamedNode* pCurrent);
    /// _CandidatesAt, answered at once when pCurrent's set is the one last answered from.
    inline const std::vector<TORVIStreamedNodeDefinition*>* _CandidatesNow(TORVIStreamedNode* pCurrent);
    /// Gives the buffer a new serial. Serials are only compared for equality, with those of every
    /// parser and definition: a parser takes them from the shared counter a block at a time, so that
    /// the buffer's many changes cost no locked add each.
    void _BufferChanged() {
        if (_nSerialNext == _nSerialEnd)
            _TakeSerials();
        _nBufferSerial = _nSerialNext++;
    }
    void _TakeSerials();
    /// Reads the stream to its end, offering each character (steps of the main loop).
    void _ReadStream();
    /// Offers the buffer to the open nodes, then to the definitions.
    void _OfferBuffer();
    /// Gives the open nodes the end of the stream; true when none is left open.
    bool _FinishStream();
    void _Push(TORVIStreamedNode* pNode) { _pCurrentNodes.push_back(pNode); }
    /// CurrentNode, read straight from the stack when this parser is of the base class.
    TORVIStreamedNode* _Current() {
        if (!_Plain())
            return _GetCurrentNode();
        return _pCurrentNodes.empty() ? nullptr : _pCurrentNodes.back();
    }
    // Inline: every node closed comes here.
    void _PopIfCurrent(TORVIStreamedNode* pNode) {
        if (!_pCurrentNodes.empty() && _pCurrentNodes.back() == pNode)
            _pCurrentNodes.pop_back();
    }
    void _Fail(const rtl::UnicodeString& szWhat);
    /// Whether this parser is of the base class, whose reading steps the definitions may take
    /// themselves. The class of an object never changes once made: it is asked once.
    bool _Plain() const {
        if (_nPlain < 0)
            _nPlain = typeid(*this) == typeid(TORVIStreamParser) ? 1 : 0;
        return _nPlain == 1;
    }

    rtl::UnicodeString _szBuffer;
    rtl::UnicodeString _szNormedLineEnd = u"\r\n";
    int _nLineCount = 0;
    int _nCharCount = 0;
    rtl::UnicodeString _szErrorMessage;
    TORVIStreamParserOptions _ParserOptions = 0;
    TDefinitionList* _pNodeDefs = nullptr;
    std::vector<TORVIStreamedNode*> _pCurrentNodes;
    rtl::TStream* _pInput = nullptr;
    rtl::TEncoding* _pEncoding = nullptr;
    TInput _Input;
    std::uint64_t _nBufferSerial = 0; // changes whenever the buffer changes other than by growing
    std::uint64_t _nLineEndSerial;    // unique to each line end set on any parser
    std::uint64_t _nSerialNext = 0, _nSerialEnd = 0; // the block of serials taken and not yet given
    rtl::TRegExScratch _Scratch;      // match data of this parser's matches
    // Which definitions take part at a node of each definition (and at the root), kept while the
    // definitions and their settings stay the same.
    struct TCandidates {
        std::uint64_t nEpoch = 0; // of the definitions' settings when worked out; 0 never
        const TORVIStreamedNodeDefinition* pContext = nullptr; // the current node's; nil at the root
        bool blPlain = false;     // every definition is of the base class
        std::vector<TORVIStreamedNodeDefinition*> Definitions;
        bool blRunStarts = false;        // RunStarts and Openers worked out
        std::uint64_t Openers[2] = {};   // ASCII units that alone the node might take or an open expression match
        std::uint64_t RunStarts[2] = {}; // the other ASCII units
        std::uint64_t RunStops[128][2] = {}; // for each of those: units that may end what rules them out
        std::size_t RunRoom[128] = {};       // and the units it may grow by before an open could match
        bool blStopsAtCloseStarts = false;   // RunStops hold what may start pContext's close, for the run gap
        /// Whether unit, alone in the buffer, could be neither taken by a node of pContext nor open
        /// a node here (so that a run of buffer may start with it); false when unknown.
        bool MayStartRun(char16_t unit) {
            return blRunStarts ? (unit < 128 && (RunStarts[unit >> 6] >> (unit & 63) & 1) != 0)
                               : _WorkOutRunStarts(unit);
        }
        bool _WorkOutRunStarts(char16_t unit);
        void _WorkOutNodeAlone();
        // -- what each party of a run answered for a buffer of one unit, worked out with RunStarts
        // Per candidate, in Definitions' order: what stops ruling it out (RunStops holds their union).
        std::vector<std::array<std::uint64_t, 2>> CandidateStops; // [candidate * 128 + unit]
        bool blNodeAlone = false;             // NodeIgnores and NodeStops worked out (pContext set)
        std::uint64_t NodeIgnores[2] = {};    // units alone that a node of pContext takes nothing of,
                                              // once no close match starts in its content
        std::uint64_t NodeStops[128][2] = {}; // for each of those: what may end that
        // For each ASCII unit alone: the candidates (by bit, the first 32) it rules out, with the
        // stops of CandidateStops; the others are merely too short or may open.
        std::uint32_t RuledAlone[128] = {};
        // For each ASCII unit alone: the one candidate whose open expression it does not rule out
        // (by index), -1 when none, -2 when more than one.
        std::int8_t SoleOpener[128] = {};
        // For each ASCII unit: the candidate (by index) that last kept a buffer starting with it from
        // running, as it may open on it or soon; -1 none. Asked first by the next such buffer.
        std::int8_t Refuser[128] = {};
    };
    static constexpr std::size_t kCandidateSlots = 16;
    TCandidates _CandidateSlots[kCandidateSlots]; // searched from a slot given by the definition's address
    TCandidates* _pCandidates = nullptr; // the set _CandidatesAt last answered from
    /// The slot that holds the candidates at a node of context (nil: the root) for epoch; nil when none.
    inline TCandidates* _FindCandidates(const TORVIStreamedNodeDefinition* context, std::uint64_t epoch);
    /// The slot for context's candidates when none holds them: a free one, else one to work out again.
    TCandidates& _SlotForCandidates(const TORVIStreamedNodeDefinition* context, std::uint64_t epoch);
    /// The candidates at pNode (current, with pDefinition, both of the base class as asked before;
    /// the root when nil) as _CandidatesAt answers them, found in their slot without asking anything
    /// where they are kept; nil unless of the base class.
    inline TCandidates* _CandidatesHere(TORVIStreamedNode* pNode,
                                        const TORVIStreamedNodeDefinition* pDefinition);
    /// _StartBufferRun once unit (the next character) may start a run with the candidates of set.
    [[gnu::always_inline]] inline bool _BeginBufferRun(TORVIStreamedNode* pNode,
                                                       TORVIStreamedNodeDefinition* pDefinition,
                                                       TCandidates& set, char16_t unit,
                                                       std::uint64_t (&units)[2], bool& blLineEnds,
                                                       std::size_t& nRoom, bool& blLineEnded);
    mutable std::int8_t _nPlain = -1;    // whether of the base class; -1 until asked

    // -- what a buffer run tells the current node's close search
    // A buffer run started on an empty buffer stops at every unit that may start a match of the
    // current node's close expression: while it runs, no such match starts after the buffer's first
    // unit. Kept for the buffer of serial nBuffer, which only grows while that serial holds.
    struct TRunCloseGap {
        std::uint64_t nBuffer = 0;     // serial of the buffer; 0 none
        std::uint64_t nExpression = 0; // serial of the close expression
        std::size_t nUpTo = 0;         // no match starts in [1, nUpTo)
        bool blRunning = false;        // the run goes on: what it appends leaves those units out
    };
    TRunCloseGap _RunCloseGap;
    /// Adds to stops the units that may start a match of pDefinition's close (the current node's),
    /// when its search can make use of the gap; whether it did.
    static bool _StopsAtCloseStarts(const TORVIStreamedNodeDefinition* pDefinition, std::uint64_t (&stops)[2]);

    // -- one pass of the main loop's steps
    /// One run as _TakeRun takes it, without the step after it; end is where the input's next
    /// character of more than one unit starts (or its end), pNode the innermost node (of the base
    /// class) and pDefinition its definition. True when it took a run into pNode's content that
    /// left its close scan at the content's end.
    [[gnu::always_inline]] inline bool _TakeRunOnce(bool& blLineEnded, std::size_t end, TORVIStreamedNode* pNode,
                                                    TORVIStreamedNodeDefinition* pDefinition);
    /// _OfferBuffer, in the pass that takes the runs; blPlainParser is _Plain(), pKnown (with
    /// pKnownDefinition) the node last found innermost, with no handler run since, or nil, and
    /// blKnownAtEnd whether its close scan is known to be at its content's end.
    [[gnu::always_inline]] inline void _OfferBufferHere(bool blPlainParser, TORVIStreamedNode* pKnown,
                                                        TORVIStreamedNodeDefinition* pKnownDefinition,
                                                        bool blKnownAtEnd);

    // -- what each party of a buffer run last answered
    // The current node and each candidate rule the buffer out until a unit of their own stops comes
    // (stops is the union): a unit that ends the run needs asking only the parties it may change.
    // Kept for the buffer of serial nBuffer, at node pNode with candidate set pSet.
    static constexpr std::size_t kRunParties = 16;
    struct TRunParties {
        std::uint64_t nBuffer = 0; // serial of the buffer; 0 none
        const TORVIStreamedNode* pNode = nullptr;
        const TCandidates* pSet = nullptr;
        std::uint64_t nEpoch = 0;  // of pSet when recorded
        std::size_t nCount = 0;    // candidates recorded
        char16_t nFromTable = 128; // below 128: Candidates are pSet's CandidateStops for that unit alone
        std::uint64_t Node[2] = {};
        std::uint64_t Candidates[kRunParties][2] = {};
    };
    TRunParties _RunParties;
    /// Whether the candidate that last kept a buffer with the same first unit from running (see
    /// TCandidates::Refuser), asked as _NothingTakesBuffer asks it, alone settles that the buffer runs
    /// not at pNode (current, with pDefinition); false when it does not or is not known.
    bool _RefusedAgain(const TORVIStreamedNode* pNode, const TORVIStreamedNodeDefinition* pDefinition);
    /// _ExtendBufferRun's question, with the grown buffer, answered from _RunParties where it holds
    /// for pNode; -1 when it does not (then every party is to be asked), else 0/1 as
    /// _NothingTakesBuffer would answer.
    int _NothingTakesGrown(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition, char16_t unit,
                           std::uint64_t (&stops)[2], std::size_t& nRoom);
    /// _ExtendBufferRun past its quick answers: unit (the next character) ends the run; blGap, the
    /// run gap was running.
    bool _GrowBufferRun(TORVIStreamedNode* pNode, TORVIStreamedNodeDefinition* pDefinition, char16_t unit,
                        bool blGap, std::uint64_t (&units)[2], bool& blLineEnds, std::size_t& nRoom,
                        bool& blLineEnded);
    /// Whether a unit past ASCII appended to the buffer, which the current node (with pDefinition)
    /// ignored, leaves its answer as it was; _WideKeepsOpen likewise for a candidate ruled out.
    bool _WideKeepsNode(const TORVIStreamedNodeDefinition* pDefinition) const;
    bool _WideKeepsOpen(const TORVIStreamedNodeDefinition* pDefinition,
                        const std::uint64_t (&stops)[2]) const;
    // The units of the parser's line end (all ASCII unless blLineEndWide), for _RunUnits.
    std::uint64_t _nRunLineEnd = 0; // _nLineEndSerial they were found for
    std::uint64_t _LineEndUnits[2] = {};
    bool _blLineEndWide = false;

    // -- the step that ends a buffer run begun on one unit
    // A run begun from the candidates' table for its first unit: the node and the candidates that
    // unit ruled out stay so until a unit of their own stops comes, and the run appended none. The
    // step that appends the unit ending the run asks only the parties that unit may revive. Kept
    // for the buffer of serial nBuffer once the run ended with nCovered units. Steps compare the
    // buffer's length with nCovered + 1 first, which for kNotCovered no buffer has.
    static constexpr std::size_t kNotCovered = ~std::size_t{0};
    struct TRunEnd {
        std::uint64_t nBuffer = 0; // serial of the buffer; 0 none
        const TORVIStreamedNode* pNode = nullptr;
        const TCandidates* pSet = nullptr;
        std::uint64_t nEpoch = 0;  // of pSet when recorded
        char16_t cFirst = 0;       // the unit the run began with
        std::size_t nCovered = kNotCovered;
        std::uint64_t Node[2] = {}; // the node's stops
    };
    TRunEnd _RunEnd;
    /// The unit that ends the run of _RunEnd, when the buffer is that run's grown by it alone at
    /// pNode (of the base class); 0 otherwise.
    char16_t _RunEndUnit(const TORVIStreamedNode* pNode) const {
        const TRunEnd& run = _RunEnd;
        if (_szBuffer.size() != run.nCovered + 1 || run.nBuffer != _nBufferSerial ||
            run.pNode != pNode || _szBuffer.back() >= 128)
            return 0;
        return _szBuffer.back();
    }
    /// The candidates' step at pCurrent for the unit that ended the run of _RunEnd, when they are
    /// those the run was begun with; false (nothing done) otherwise.
    [[gnu::noinline]] bool _OfferAtRunEnd(const TORVIStreamedNode* pCurrent);
};

} // namespace orvi
