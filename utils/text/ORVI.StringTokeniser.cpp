#include "utils/text/ORVI.StringTokeniser.h"

#include "rtl/Exceptions.h"

#include <algorithm>

namespace orvi {

using rtl::UnicodeString;
using F = TORVIStringTokeniserOptionFlags;

namespace {

bool In(const std::vector<char16_t>& set, char16_t c) {
    return std::find(set.begin(), set.end(), c) != set.end();
}

} // namespace

TORVIStringTokeniser::TORVIStringTokeniser(bool blSkipInit) : _pTokens(new rtl::TStringList()) {
    if (blSkipInit)
        return;
    _TokeniserOptions.Include(F::_stIgnoreEmptyTokens);
    _TokeniserOptions.Include(F::_stRemoveEnclosingQuotes);
    SetSeparators(UnicodeString(u" \0\t\r\n", 5));
    SetOpenQuotes(u"\"");
    SetCloseQuotes(u"\"");
}

TORVIStringTokeniser::TORVIStringTokeniser(const UnicodeString& szInput) : TORVIStringTokeniser(false) {
    if (!szInput.empty())
        Tokenise(szInput);
}

TORVIStringTokeniser::~TORVIStringTokeniser() {
    delete _pTokens;
}

bool TORVIStringTokeniser::_GetAllowEmbeddedQuotes() const {
    return Has(F::_stAllowEmbeddedQuotes);
}

void TORVIStringTokeniser::_SetAllowEmbeddedQuotes(bool value) {
    _TokeniserOptions.Set(F::_stAllowEmbeddedQuotes, value);
}

void TORVIStringTokeniser::SetSet(std::vector<char16_t>& set, const UnicodeString& value) {
    set.assign(value.begin(), value.end());
    _lowClasses.fill(0);
    const std::pair<const std::vector<char16_t>*, std::uint8_t> sets[] = {
        {&_caSeparators, kSep}, {&_caOpenQuotes, kOpen}, {&_caCloseQuotes, kClose}, {&_caEscapes, kEscape}};
    for (const auto& [chars, bit] : sets)
        for (char16_t c : *chars)
            if (c < 256)
                _lowClasses[c] |= bit;
}

bool TORVIStringTokeniser::EndsTokenAtOnce(std::uint8_t cls, bool blEmbedded) {
    return (cls & kSep) && !(cls & kEscape) && !(blEmbedded && (cls & kOpen));
}

std::uint8_t TORVIStringTokeniser::ClassOfWide(char16_t c) const {
    return (In(_caSeparators, c) ? kSep : 0) | (In(_caOpenQuotes, c) ? kOpen : 0) |
           (In(_caCloseQuotes, c) ? kClose : 0) | (In(_caEscapes, c) ? kEscape : 0);
}

void TORVIStringTokeniser::Flush(UnicodeString& szToken, int& nCount) {
    if (!szToken.empty() || !IgnoreEmptyTokens()) {
        // Entries of the previous run are overwritten in place: their buffers and the list's room are
        // reused instead of freed and allocated again for every text.
        if (nCount < _pTokens->Count())
            _pTokens->SetStrings(nCount, szToken);
        else
            _pTokens->Add(szToken);
        ++nCount;
    }
    szToken.clear();
}

bool TORVIStringTokeniser::IsOwnToken(const UnicodeString& s) const {
    for (int i = 0; i < _pTokens->Count(); ++i)
        if (&_pTokens->Strings(i) == &s)
            return true;
    return false;
}

int TORVIStringTokeniser::Tokenise(const UnicodeString& szInput) {
    // The scan overwrites the token list in place, so a token of the last run is read from a copy.
    if (IsOwnToken(szInput)) {
        const UnicodeString input = szInput;
        return Tokenise(input);
    }
    int nCount = 0;
    _pTokens->BeginUpdate();
    if (!szInput.empty())
        Scan(szInput, nCount);
    while (_pTokens->Count() > nCount)
        _pTokens->Delete(_pTokens->Count() - 1);
    _pTokens->EndUpdate();
    return nCount;
}

void TORVIStringTokeniser::Scan(const UnicodeString& szInput, int& nCount) {
    const bool blEmbedded = AllowEmbeddedQuotes();
    const bool blRemoveQuotes = RemoveEnclosingQuotes();
    UnicodeString token;
    bool blInQuote = false;
    bool blEscapeNext = false;
    const char16_t* p = szInput.data();
    const char16_t* const end = p + szInput.size();
    while (p < end) {
        if (blEscapeNext) {
            blEscapeNext = false;
            token.push_back(*p++);
            continue;
        }
        // Plain characters go over in one run: most of a text is neither quote, escape nor separator.
        const char16_t* run = p;
        while (p < end && ClassOf(*p) == 0)
            ++p;
        if (p != run) {
            // Most often a whole token ends at a separator: it goes to the list without building it up.
            if (token.empty() && !blInQuote && p < end && EndsTokenAtOnce(ClassOf(*p), blEmbedded)) {
                token.assign(run, p);
                Flush(token, nCount);
                ++p;
                continue;
            }
            token.append(run, p);
            continue;
        }
        const char16_t c = *p++;
        const std::uint8_t cls = ClassOf(c);
        if ((token.empty() || blEmbedded) && !blInQuote && (cls & kOpen)) {
            blInQuote = true;
            if (!blRemoveQuotes)
                token.push_back(c);
        } else if (cls & kEscape) {
            blEscapeNext = true;
        } else if (blInQuote && (cls & kClose)) {
            blInQuote = false;
            if (!blRemoveQuotes)
                token.push_back(c);
        } else if (!blInQuote && (cls & kSep)) {
            Flush(token, nCount);
        } else {
            token.push_back(c);
        }
    }
    Flush(token, nCount);
}

UnicodeString TORVIStringTokeniser::EscapeAndQuote(const UnicodeString& szInput) const {
    if (szInput.empty())
        return {};
    UnicodeString copy;
    copy.reserve(szInput.size() + 2);
    bool blNeedsQuoting = false;
    for (char16_t c : szInput) {
        const std::uint8_t cls = ClassOf(c);
        if (cls & kSep)
            blNeedsQuoting = true;
        else if ((cls & (kOpen | kClose | kEscape)) && !_caEscapes.empty())
            copy.push_back(_caEscapes.front());
        copy.push_back(c);
    }
    if (blNeedsQuoting && !_caOpenQuotes.empty() && !_caCloseQuotes.empty())
        return _caOpenQuotes.front() + copy + _caCloseQuotes.front();
    return copy;
}

bool TORVIStringTokeniser::ValueForName(const UnicodeString& szName, UnicodeString& szValue) const {
    for (int i = 0; i < _pTokens->Count(); ++i) {
        const UnicodeString& token = _pTokens->Strings(i);
        const std::size_t eq = token.find(u'=');
        if (eq != UnicodeString::npos && rtl::SameText(rtl::UnicodeStringView(token).substr(0, eq), szName)) {
            szValue = token.substr(eq + 1);
            return true;
        }
    }
    return false;
}

const UnicodeString& TORVIStringTokeniser::Token(int nIndex) const {
    if (nIndex < 0 || nIndex >= _pTokens->Count())
        throw rtl::EArgumentOutOfRangeException(u"TORVIStringTokeniser._GetToken no such token");
    return _pTokens->Strings(nIndex);
}

} // namespace orvi
