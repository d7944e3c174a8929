#pragma once
// Regular expressions over UTF-16 text (PCRE2, 16-bit code units, JIT-compiled when available).
#include "RtlApi.h"
#include "UnicodeString.h"

#include <memory>
#include <vector>

namespace rtl {

/// roPartial also prepares the compiled code for MatchPartial (which works without it, more slowly).
enum TRegExOption : unsigned {
    roNone = 0,
    roIgnoreCase = 1,
    roSingleLine = 2,
    roMultiLine = 4,
    roPartial = 8
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

private:
    struct TImpl;
    std::unique_ptr<TImpl> _pImpl;
};

} // namespace rtl
