#pragma once
// Regular expressions over UTF-16 text (PCRE2, 16-bit code units, JIT-compiled when available).
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace rtl {

/// roPartial also prepares the compiled code for MatchPartial (which works without it, more slowly).
/// roInfoOnly makes no machine code: for an expression compiled for its Info, matched seldom if ever
/// (its matches are the same, found more slowly).
enum TRegExOption : unsigned {
    roNone = 0,
    roIgnoreCase = 1,
    roSingleLine = 2,
    roMultiLine = 4,
    roPartial = 8,
    roInfoOnly = 16
};

/// What a search that also watches the end of the subject found.
enum class TRegExPartial { rpNoMatch, rpMatch, rpPartial };

/// One match: the whole match is group 0. Offsets are 0-based code-unit offsets; an unset group
/// has offset -1.
struct RTL_API TRegExMatch {
    bool Success = false;
    std::vector<std::pair<long, long>> Groups; // (offset, length)
    UnicodeString Group(UnicodeStringView subject, int index) const;
    long Offset(int index = 0) const { return Groups.at(index).first; }
    long Length(int index = 0) const { return Groups.at(index).second; }
};

/// The groups of one match without any allocation, for hot paths: group 0 is the whole match,
/// groups past kMaxGroups are not reported, an unset group has offset -1.
struct TRegExGroups {
    static constexpr int kMaxGroups = 10;
    int Count = 0;
    std::pair<long, long> Groups[kMaxGroups] = {}; // (offset, length)
    long Offset(int index = 0) const { return Groups[index].first; }
    long Length(int index = 0) const { return Groups[index].second; }
};

/// What is known of every match before matching (from the compiled pattern): where a match may
/// start and a code unit that every match holds. A unit that has another case is left out when the
/// pattern may compare it without case.
struct RTL_API TRegExInfo {
    bool Anchored = false;       // matches only at the start offset
    std::uint32_t MinLength = 0; // code units of the shortest match
    bool HasStartUnits = false;  // every match starts with a unit that CanStartWith accepts
    bool HasRequiredUnit = false;
    char16_t RequiredUnit = 0;         // a unit every match holds
    std::uint8_t StartUnits[32] = {};  // bit u for units below 255; bit 255 for every unit from 255 up
    bool CanStartWith(char16_t unit) const {
        const unsigned u = unit > 255 ? 255u : unit;
        return !HasStartUnits || (StartUnits[u >> 3] >> (u & 7) & 1) != 0;
    }
};

/// Match data of one caller, for hot paths: no per-call lookup, and only the whole match is reported,
/// so no other group is cleared or copied. Used by one thread at a time.
class RTL_API TRegExScratch {
public:
    TRegExScratch();
    ~TRegExScratch();
    TRegExScratch(const TRegExScratch&) = delete;
    TRegExScratch& operator=(const TRegExScratch&) = delete;

private:
    friend class TRegEx;
    void* _pData;
};

/// How far a resumable search has read a growing subject, and what it had found there (see
/// TRegEx::Resume). Used by one thread at a time, with one pattern.
class RTL_API TRegExProgress {
public:
    TRegExProgress();
    ~TRegExProgress();
    TRegExProgress(const TRegExProgress&) = delete;
    TRegExProgress& operator=(const TRegExProgress&) = delete;
    /// Starts again from the subject's start.
    void Reset() noexcept { _nRead = 0; }
    /// Units of the subject read so far.
    std::size_t Read() const noexcept { return _nRead; }

private:
    friend class TRegEx;
    std::vector<int> _Workspace; // the states reached at the end of what was read
    void* _pData = nullptr;      // match data, made on first use
    std::size_t _nRead = 0;
};

class RTL_API TRegEx {
public:
    /// Compiles the pattern; raises EArgumentException with PCRE2's message when it is invalid.
    explicit TRegEx(UnicodeStringView pattern, unsigned options = roNone);
    ~TRegEx();
    TRegEx(TRegEx&&) noexcept;
    TRegEx& operator=(TRegEx&&) noexcept;

    /// Searches subject from startOffset. Safe to call from several threads at once.
    TRegExMatch Match(UnicodeStringView subject, long startOffset = 0) const;
    /// As Match, filling groups in place; false when there is no match.
    bool Match(UnicodeStringView subject, TRegExGroups& groups, long startOffset = 0) const;
    bool IsMatch(UnicodeStringView subject) const { return Match(subject).Success; }
    /// As Match, and when there is no complete match, tells whether the subject could still match if
    /// it went on: rpPartial with groups.Offset(0) the earliest start of such a match (groups.Count 1).
    /// Every start before that offset, or before the subject's end after rpNoMatch, fails whatever
    /// text is appended, so a search over growing text may resume there.
    TRegExPartial MatchPartial(UnicodeStringView subject, TRegExGroups& groups, long startOffset = 0) const;
    /// As Match, reporting the whole match only (offset and length) through the caller's match data.
    bool Find(UnicodeStringView subject, TRegExScratch& scratch, long& offset, long& length,
              long startOffset = 0) const;
    /// As MatchPartial, reporting the whole match or the partial one's start (and length to the end).
    TRegExPartial FindPartial(UnicodeStringView subject, TRegExScratch& scratch, long& offset, long& length,
                              long startOffset = 0) const;
    /// For a pattern anchored at the subject's start: whether subject holds a match at its start
    /// (rpMatch; where it ends is not told: ask Match), could still hold one once text is appended
    /// (rpPartial), or never will (rpNoMatch), as FindPartial would answer, reading only the units
    /// past progress.Read(); the units before that must be the ones read then. After rpPartial the
    /// progress goes on from the subject's end; otherwise it starts again. False when this cannot be
    /// told so (a pattern whose matches depend on more than the text read in order, or a subject
    /// that is no well-formed UTF-16): the progress starts again and the caller asks FindPartial.
    bool Resume(UnicodeStringView subject, TRegExProgress& progress, TRegExPartial& found) const;
    /// What the compiled pattern tells of its matches.
    const TRegExInfo& Info() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> _pImpl;
};

} // namespace rtl
