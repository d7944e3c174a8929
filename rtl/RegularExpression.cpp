#include "rtl/RegularExpression.h"

#include "rtl/Exceptions.h"
#include "rtl/ThreadExit.h"

#include <algorithm>
#include <memory>
#include <mutex>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace rtl {

namespace {

UnicodeString ErrorText(int code) {
    PCRE2_UCHAR16 buffer[256] = {};
    if (pcre2_get_error_message(code, buffer, 256) < 0)
        return u"error " + IntToStr(code);
    return UnicodeString(reinterpret_cast<const char16_t*>(buffer));
}

PCRE2_SPTR16 Units(UnicodeStringView s) {
    return reinterpret_cast<PCRE2_SPTR16>(s.data());
}

using TMatchData = std::unique_ptr<pcre2_match_data_16, decltype(&pcre2_match_data_free_16)>;

// Match data big enough for patterns of up to this many groups is kept per thread: patterns are
// matched thousands of times while datasets load, and the compiled pattern itself is shared.
constexpr std::uint32_t kCachedPairs = 32;

pcre2_match_data_16* ThreadMatchData() {
    thread_local pcre2_match_data_16* t_pData = nullptr; // released when the thread ends
    if (!t_pData) {
        t_pData = pcre2_match_data_create_16(kCachedPairs, nullptr);
        if (t_pData)
            AtThreadExit(
                [](void* data) { pcre2_match_data_free_16(static_cast<pcre2_match_data_16*>(data)); },
                t_pData);
    }
    return t_pData;
}

// Whether the pattern text may switch case-insensitive comparison on inside itself ("(?i", "(?xi:").
bool MayTurnCaselessInside(UnicodeStringView pattern) {
    for (std::size_t at = pattern.find(u"(?"); at != UnicodeStringView::npos; at = pattern.find(u"(?", at + 2)) {
        for (std::size_t i = at + 2; i < pattern.size(); ++i) {
            const char16_t c = pattern[i];
            if (c == u'i')
                return true;
            if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-' || c == u'^'))
                break;
        }
    }
    return false;
}

// A unit that compares equal to another one when case is ignored (conservatively: every unit past ASCII).
bool HasOtherCase(std::uint32_t unit) {
    return unit >= 0x80 || (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

// Whether the matches of an anchored pattern depend only on the text read in order from the
// subject's start, as a search that reads the subject once, in pieces, sees it: no look-around,
// boundary, end or back-reference assertion, no atomic or possessive part (which that search takes
// at its longest where the usual one takes its first), nothing that anchors but a leading "^".
// Refuses more than it must.
bool ReadsInOrder(UnicodeStringView pattern) {
    constexpr auto npos = UnicodeStringView::npos;
    const std::size_t size = pattern.size();
    bool blClass = false;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = pattern[i];
        if (c == u'\\') {
            if (++i >= size)
                return false;
            const char16_t e = pattern[i];
            // Of the escapes that are letters or digits, only classes of one character and character codes.
            const bool blNamed = (e >= u'a' && e <= u'z') || (e >= u'A' && e <= u'Z') || (e >= u'0' && e <= u'9');
            if (blNamed && UnicodeStringView(u"sSdDwWhHvVtnrfeaxpP").find(e) == npos)
                return false;
            continue;
        }
        if (blClass) {
            if (c == u'[' && i + 1 < size && pattern[i + 1] == u':')
                return false;
            blClass = c != u']';
            continue;
        }
        switch (c) {
        case u'[':
            blClass = true;
            // A "]" first in the class (after its "^") stands for itself.
            if (i + 1 < size && pattern[i + 1] == u'^')
                ++i;
            if (i + 1 < size && pattern[i + 1] == u']')
                ++i;
            break;
        case u'$':
            return false;
        case u'^':
            if (i != 0)
                return false;
            break;
        case u'(':
            if (i + 1 < size && pattern[i + 1] == u'*')
                return false;
            if (i + 1 < size && pattern[i + 1] == u'?') {
                // Only a plain group or option letters that do not change how the text is read.
                std::size_t k = i + 2;
                while (k < size && UnicodeStringView(u"imnsU-^").find(pattern[k]) != npos)
                    ++k;
                if (k >= size || (pattern[k] != u':' && pattern[k] != u')'))
                    return false;
                i = k;
            }
            break;
        case u'*':
        case u'+':
        case u'?':
        case u'}':
            if (i + 1 < size && pattern[i + 1] == u'+')
                return false; // possessive
            break;
        default:
            break;
        }
    }
    return !blClass;
}

// Working space of a resumable search: ample for the few states an open expression keeps.
constexpr std::size_t kResumeWorkspace = 1000;

} // namespace

struct TRegEx::TImpl {
    pcre2_code_16* code = nullptr;
    std::uint32_t pairs = 0; // groups of the pattern, the whole match included
    bool jit = false;        // compiled to machine code: matched without pcre2_match's checks
    bool jitPartial = false; // partial matching compiled to machine code too
    TRegExInfo info;
    UnicodeString pattern;      // as given, for the resumable form
    std::uint32_t flags = 0;    // compile options
    std::once_flag resumeOnce;
    pcre2_code_16* resumable = nullptr; // for Resume; nil when it cannot serve
    ~TImpl() {
        pcre2_code_free_16(resumable);
        pcre2_code_free_16(code);
    }

    // The form Resume searches with, compiled when first asked: the same pattern without the
    // shortcuts that assume the whole subject is at hand, or nil when it cannot serve.
    pcre2_code_16* Resumable() {
        std::call_once(resumeOnce, [this] {
            if (!info.Anchored || !ReadsInOrder(pattern))
                return;
            int error = 0;
            PCRE2_SIZE errorOffset = 0;
            const std::uint32_t options =
                (flags & ~PCRE2_MATCH_INVALID_UTF) | PCRE2_NO_AUTO_POSSESS | PCRE2_NO_START_OPTIMIZE;
            resumable =
                pcre2_compile_16(Units(pattern), pattern.size(), options, &error, &errorOffset, nullptr);
        });
        return resumable;
    }

    void ReadInfo(bool caseless) {
        std::uint32_t options = 0, minLength = 0, type = 0, unit = 0;
        pcre2_pattern_info_16(code, PCRE2_INFO_ALLOPTIONS, &options);
        pcre2_pattern_info_16(code, PCRE2_INFO_MINLENGTH, &minLength);
        info.Anchored = (options & PCRE2_ANCHORED) != 0;
        info.MinLength = minLength;
        pcre2_pattern_info_16(code, PCRE2_INFO_FIRSTCODETYPE, &type);
        if (type == 1) {
            pcre2_pattern_info_16(code, PCRE2_INFO_FIRSTCODEUNIT, &unit);
            if (!(caseless && HasOtherCase(unit))) {
                const unsigned bit = unit > 255 ? 255u : unit;
                info.StartUnits[bit >> 3] = static_cast<std::uint8_t>(1u << (bit & 7));
                info.HasStartUnits = true;
            }
        } else if (type == 0) {
            const std::uint8_t* bitmap = nullptr;
            if (pcre2_pattern_info_16(code, PCRE2_INFO_FIRSTBITMAP, &bitmap) == 0 && bitmap) {
                std::copy(bitmap, bitmap + 32, info.StartUnits);
                info.HasStartUnits = true;
            }
        }
        pcre2_pattern_info_16(code, PCRE2_INFO_LASTCODETYPE, &type);
        if (type == 1) {
            pcre2_pattern_info_16(code, PCRE2_INFO_LASTCODEUNIT, &unit);
            if (!(caseless && HasOtherCase(unit))) {
                info.HasRequiredUnit = true;
                info.RequiredUnit = static_cast<char16_t>(unit);
            }
        }
        // A first unit is not reported as the last one as well, yet every match holds it too.
        std::uint32_t firstType = 0;
        pcre2_pattern_info_16(code, PCRE2_INFO_FIRSTCODETYPE, &firstType);
        if (!info.HasRequiredUnit && firstType == 1) {
            pcre2_pattern_info_16(code, PCRE2_INFO_FIRSTCODEUNIT, &unit);
            if (!(caseless && HasOtherCase(unit))) {
                info.HasRequiredUnit = true;
                info.RequiredUnit = static_cast<char16_t>(unit);
            }
        }
    }

    // Runs the match and hands the ovector (pairs of offsets, count of set groups) to report. With
    // own match data, only as many groups as it holds are reported.
    template <class F>
    bool Run(UnicodeStringView subject, long startOffset, F report, std::uint32_t matchOptions = 0,
             pcre2_match_data_16* given = nullptr) const {
        if (startOffset < 0 || static_cast<std::size_t>(startOffset) > subject.size())
            return false;
        TMatchData own(nullptr, &pcre2_match_data_free_16);
        pcre2_match_data_16* data = given ? given : ThreadMatchData();
        if (!given && (pairs > kCachedPairs || data == nullptr)) {
            own.reset(pcre2_match_data_create_from_pattern_16(code, nullptr));
            data = own.get();
        }
        if (!data)
            throw Exception(u"Out of memory for a regular expression match");
        // The JIT entry skips the checks pcre2_match repeats on every call; the pattern was compiled
        // for invalid UTF, so the subject needs no check either.
        // Partial matching takes the JIT entry too when its code was made; otherwise pcre2_match.
        const bool direct = jit && (matchOptions == 0 || (matchOptions == PCRE2_PARTIAL_SOFT && jitPartial));
        const auto match = direct ? &pcre2_jit_match_16 : &pcre2_match_16;
        const int rc = match(code, Units(subject), subject.size(), static_cast<PCRE2_SIZE>(startOffset),
                             matchOptions, data, nullptr);
        if (rc == PCRE2_ERROR_NOMATCH)
            return false;
        if (rc == PCRE2_ERROR_PARTIAL) {
            report(pcre2_get_ovector_pointer_16(data), 0u);
            return true;
        }
        if (rc < 0)
            throw Exception(u"Regular expression match failed: " + ErrorText(rc));
        // 0: more groups were set than the match data holds; those it holds are.
        report(pcre2_get_ovector_pointer_16(data),
               rc == 0 ? pcre2_get_ovector_count_16(data) : static_cast<std::uint32_t>(rc));
        return true;
    }

    // (offset, length) of group i, (-1, 0) when it did not take part.
    std::pair<long, long> Group(const PCRE2_SIZE* ovector, std::uint32_t set, std::uint32_t i) const {
        const PCRE2_SIZE start = ovector[2 * i];
        const PCRE2_SIZE end = ovector[2 * i + 1];
        if (i >= set || start == PCRE2_UNSET || end < start)
            return {-1, 0};
        return {static_cast<long>(start), static_cast<long>(end - start)};
    }
};

UnicodeString TRegExMatch::Group(UnicodeStringView subject, int index) const {
    const auto& [offset, length] = Groups.at(static_cast<std::size_t>(index));
    if (offset < 0 || static_cast<std::size_t>(offset + length) > subject.size())
        return {};
    return UnicodeString(subject.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
}

TRegEx::TRegEx(UnicodeStringView pattern, unsigned options) : _pImpl(std::make_unique<TImpl>()) {
    // Text may hold unpaired surrogates; PCRE2 then treats them as non-matching instead of failing.
    std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (options & roIgnoreCase)
        flags |= PCRE2_CASELESS;
    if (options & roSingleLine)
        flags |= PCRE2_DOTALL;
    if (options & roMultiLine)
        flags |= PCRE2_MULTILINE;
    _pImpl->pattern = UnicodeString(pattern);
    _pImpl->flags = flags;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    _pImpl->code = pcre2_compile_16(Units(pattern), pattern.size(), flags, &error, &errorOffset, nullptr);
    if (_pImpl->code == nullptr)
        throw EArgumentException(ErrorText(error) + u" at offset " +
                                 IntToStr(static_cast<std::int64_t>(errorOffset)));
    // Without JIT support (or executable memory) pcre2_match interprets the pattern instead.
    _pImpl->jit = !(options & roInfoOnly) && pcre2_jit_compile_16(_pImpl->code, PCRE2_JIT_COMPLETE) == 0;
    if (_pImpl->jit && (options & roPartial))
        _pImpl->jitPartial = pcre2_jit_compile_16(_pImpl->code, PCRE2_JIT_PARTIAL_SOFT) == 0;
    std::uint32_t captures = 0;
    pcre2_pattern_info_16(_pImpl->code, PCRE2_INFO_CAPTURECOUNT, &captures);
    _pImpl->pairs = captures + 1;
    _pImpl->ReadInfo((options & roIgnoreCase) != 0 || MayTurnCaselessInside(pattern));
}

TRegExScratch::TRegExScratch() : _pData(pcre2_match_data_create_16(1, nullptr)) {
    if (!_pData)
        throw Exception(u"Out of memory for a regular expression match");
}

TRegExScratch::~TRegExScratch() {
    pcre2_match_data_free_16(static_cast<pcre2_match_data_16*>(_pData));
}

TRegExProgress::TRegExProgress() = default;

TRegExProgress::~TRegExProgress() {
    pcre2_match_data_free_16(static_cast<pcre2_match_data_16*>(_pData));
}

bool TRegEx::Resume(UnicodeStringView subject, TRegExProgress& progress, TRegExPartial& found) const {
    const std::size_t from = progress._nRead;
    progress._nRead = 0;
    pcre2_code_16* code = _pImpl->Resumable();
    if (!code || subject.empty() || from > subject.size())
        return false;
    if (from == subject.size()) {
        // Nothing new since a partial match: still one.
        progress._nRead = from;
        found = TRegExPartial::rpPartial;
        return true;
    }
    if (!progress._pData)
        progress._pData = pcre2_match_data_create_16(1, nullptr);
    if (!progress._pData)
        return false;
    progress._Workspace.resize(kResumeWorkspace);
    // Without PCRE2_NO_UTF_CHECK: a subject that is no well-formed UTF-16 is refused, not misread.
    const std::uint32_t options = PCRE2_PARTIAL_SOFT | (from > 0 ? PCRE2_DFA_RESTART : 0u);
    const int rc = pcre2_dfa_match_16(code, Units(subject) + from, subject.size() - from, 0, options,
                                      static_cast<pcre2_match_data_16*>(progress._pData), nullptr,
                                      progress._Workspace.data(), progress._Workspace.size());
    if (rc == PCRE2_ERROR_PARTIAL) {
        progress._nRead = subject.size();
        found = TRegExPartial::rpPartial;
        return true;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
        found = TRegExPartial::rpNoMatch;
        return true;
    }
    if (rc < 0)
        return false;
    found = TRegExPartial::rpMatch; // 0: more matches than the match data holds
    return true;
}

const TRegExInfo& TRegEx::Info() const {
    return _pImpl->info;
}

bool TRegEx::Find(UnicodeStringView subject, TRegExScratch& scratch, long& offset, long& length,
                  long startOffset) const {
    return _pImpl->Run(
        subject, startOffset,
        [&](const PCRE2_SIZE* ovector, std::uint32_t) {
            offset = static_cast<long>(ovector[0]);
            length = static_cast<long>(ovector[1] - ovector[0]);
        },
        0, static_cast<pcre2_match_data_16*>(scratch._pData));
}

TRegExPartial TRegEx::FindPartial(UnicodeStringView subject, TRegExScratch& scratch, long& offset, long& length,
                                  long startOffset) const {
    bool partial = false;
    const bool found = _pImpl->Run(
        subject, startOffset,
        [&](const PCRE2_SIZE* ovector, std::uint32_t set) {
            partial = set == 0;
            offset = static_cast<long>(ovector[0]);
            length = static_cast<long>(ovector[1] - ovector[0]);
        },
        PCRE2_PARTIAL_SOFT, static_cast<pcre2_match_data_16*>(scratch._pData));
    if (!found)
        return TRegExPartial::rpNoMatch;
    return partial ? TRegExPartial::rpPartial : TRegExPartial::rpMatch;
}

TRegEx::~TRegEx() = default;
TRegEx::TRegEx(TRegEx&&) noexcept = default;
TRegEx& TRegEx::operator=(TRegEx&&) noexcept = default;

TRegExMatch TRegEx::Match(UnicodeStringView subject, long startOffset) const {
    TRegExMatch result;
    result.Success = _pImpl->Run(subject, startOffset, [&](const PCRE2_SIZE* ovector, std::uint32_t set) {
        result.Groups.reserve(_pImpl->pairs);
        for (std::uint32_t i = 0; i < _pImpl->pairs; ++i)
            result.Groups.push_back(_pImpl->Group(ovector, set, i));
    });
    return result;
}

bool TRegEx::Match(UnicodeStringView subject, TRegExGroups& groups, long startOffset) const {
    groups.Count = 0;
    return _pImpl->Run(subject, startOffset, [&](const PCRE2_SIZE* ovector, std::uint32_t set) {
        groups.Count = static_cast<int>(std::min<std::uint32_t>(_pImpl->pairs, TRegExGroups::kMaxGroups));
        for (int i = 0; i < groups.Count; ++i)
            groups.Groups[i] = _pImpl->Group(ovector, set, static_cast<std::uint32_t>(i));
    });
}

TRegExPartial TRegEx::MatchPartial(UnicodeStringView subject, TRegExGroups& groups, long startOffset) const {
    groups.Count = 0;
    bool partial = false;
    const bool found = _pImpl->Run(
        subject, startOffset,
        [&](const PCRE2_SIZE* ovector, std::uint32_t set) {
            if (set == 0) {
                // A partial match reports only where it starts (and the subject's end).
                partial = true;
                groups.Count = 1;
                groups.Groups[0] = {static_cast<long>(ovector[0]),
                                    static_cast<long>(ovector[1] - ovector[0])};
                return;
            }
            groups.Count = static_cast<int>(std::min<std::uint32_t>(_pImpl->pairs, TRegExGroups::kMaxGroups));
            for (int i = 0; i < groups.Count; ++i)
                groups.Groups[i] = _pImpl->Group(ovector, set, static_cast<std::uint32_t>(i));
        },
        PCRE2_PARTIAL_SOFT);
    if (!found)
        return TRegExPartial::rpNoMatch;
    return partial ? TRegExPartial::rpPartial : TRegExPartial::rpMatch;
}

} // namespace rtl
