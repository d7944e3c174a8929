#pragma once
// TORVIStringTokeniser: splits a text into a flat list of tokens at separator characters, honouring
// quote and escape characters, and builds the escaped and quoted form of a value that tokenises back
// to it.
#include "utils/UtilsApi.h"

#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orvi {

enum class TORVIStringTokeniserOptionFlags : std::uint8_t {
    _stIgnoreEmptyTokens = 0,
    _stRemoveEnclosingQuotes = 1,
    _stAllowEmbeddedQuotes = 2,
};

/// A set of TORVIStringTokeniserOptionFlags (bit n for flag n).
struct TORVIStringTokeniserOptions {
    std::uint8_t Bits = 0;
    bool Contains(TORVIStringTokeniserOptionFlags f) const noexcept { return Bits >> static_cast<int>(f) & 1; }
    void Include(TORVIStringTokeniserOptionFlags f) noexcept { Bits |= static_cast<std::uint8_t>(1u << static_cast<int>(f)); }
    void Exclude(TORVIStringTokeniserOptionFlags f) noexcept { Bits &= static_cast<std::uint8_t>(~(1u << static_cast<int>(f))); }
    void Set(TORVIStringTokeniserOptionFlags f, bool on) noexcept { on ? Include(f) : Exclude(f); }
};

class UTILS_API TORVIStringTokeniser : public rtl::TObject {
public:
    /// Defaults unless blSkipInit: empty tokens ignored, enclosing quotes removed, separators space,
    /// NUL, TAB, CR and LF, the double quote as open and close quote, no escapes. With blSkipInit every
    /// set is empty and every flag clear.
    explicit TORVIStringTokeniser(bool blSkipInit = false);
    /// Defaults, then Tokenise(szInput) when it is not empty.
    explicit TORVIStringTokeniser(const rtl::UnicodeString& szInput);
    explicit TORVIStringTokeniser(const char16_t* szInput) : TORVIStringTokeniser(rtl::UnicodeString(szInput)) {}
    ~TORVIStringTokeniser() override;

    /// Replaces the token list with the tokens of szInput, which may be one of the tokens; returns how many.
    int Tokenise(const rtl::UnicodeString& szInput);
    /// szInput with every quote and escape character escaped by the first escape character (when there
    /// is one), wrapped in the first open and close quotes when it holds a separator.
    rtl::UnicodeString EscapeAndQuote(const rtl::UnicodeString& szInput) const;
    /// True when a token "name=value" with szName as name (A..Z case ignored) exists; szValue receives
    /// the part after its first "=".
    bool ValueForName(const rtl::UnicodeString& szName, rtl::UnicodeString& szValue) const;

    int TokenCount() const noexcept { return _pTokens->Count(); }
    /// Raises EArgumentOutOfRangeException "TORVIStringTokeniser._GetToken no such token" outside
    /// 0..TokenCount-1.
    const rtl::UnicodeString& Token(int nIndex) const;
    /// The token list (owned by the tokeniser).
    const rtl::TStringList& Tokens() const noexcept { return *_pTokens; }

    rtl::UnicodeString Separators() const { return AsString(_caSeparators); }
    void SetSeparators(const rtl::UnicodeString& value) { SetSet(_caSeparators, value); }
    rtl::UnicodeString OpenQuotes() const { return AsString(_caOpenQuotes); }
    void SetOpenQuotes(const rtl::UnicodeString& value) { SetSet(_caOpenQuotes, value); }
    rtl::UnicodeString CloseQuotes() const { return AsString(_caCloseQuotes); }
    void SetCloseQuotes(const rtl::UnicodeString& value) { SetSet(_caCloseQuotes, value); }
    rtl::UnicodeString Escapes() const { return AsString(_caEscapes); }
    void SetEscapes(const rtl::UnicodeString& value) { SetSet(_caEscapes, value); }

    bool IgnoreEmptyTokens() const noexcept { return Has(TORVIStringTokeniserOptionFlags::_stIgnoreEmptyTokens); }
    void SetIgnoreEmptyTokens(bool value) { _TokeniserOptions.Set(TORVIStringTokeniserOptionFlags::_stIgnoreEmptyTokens, value); }
    bool RemoveEnclosingQuotes() const noexcept { return Has(TORVIStringTokeniserOptionFlags::_stRemoveEnclosingQuotes); }
    void SetRemoveEnclosingQuotes(bool value) { _TokeniserOptions.Set(TORVIStringTokeniserOptionFlags::_stRemoveEnclosingQuotes, value); }
    bool AllowEmbeddedQuotes() const { return _GetAllowEmbeddedQuotes(); }
    void SetAllowEmbeddedQuotes(bool value) { _SetAllowEmbeddedQuotes(value); }
    TORVIStringTokeniserOptions Options() const noexcept { return _TokeniserOptions; }
    void SetOptions(TORVIStringTokeniserOptions value) noexcept { _TokeniserOptions = value; }

protected:
    virtual bool _GetAllowEmbeddedQuotes() const;
    virtual void _SetAllowEmbeddedQuotes(bool value);

private:
    // Class bits of a character, cached for the first 256 codes.
    enum : std::uint8_t { kSep = 1, kOpen = 2, kClose = 4, kEscape = 8 };

    bool Has(TORVIStringTokeniserOptionFlags f) const noexcept { return _TokeniserOptions.Contains(f); }
    static rtl::UnicodeString AsString(const std::vector<char16_t>& set) { return {set.begin(), set.end()}; }
    void SetSet(std::vector<char16_t>& set, const rtl::UnicodeString& value);
    std::uint8_t ClassOf(char16_t c) const { return c < 256 ? _lowClasses[c] : ClassOfWide(c); }
    std::uint8_t ClassOfWide(char16_t c) const;
    /// True when a character of this class, met outside quotes right after a non-empty run, is a
    /// separator that flushes the token (not an escape or an embedded open quote, which come first).
    static bool EndsTokenAtOnce(std::uint8_t cls, bool blEmbedded);
    /// True when s is an entry of the token list itself.
    bool IsOwnToken(const rtl::UnicodeString& s) const;
    void Scan(const rtl::UnicodeString& szInput, int& nCount);
    void Flush(rtl::UnicodeString& szToken, int& nCount);

    rtl::TStringList* _pTokens;
    TORVIStringTokeniserOptions _TokeniserOptions;
    std::vector<char16_t> _caSeparators;
    std::vector<char16_t> _caOpenQuotes;
    std::vector<char16_t> _caCloseQuotes;
    std::vector<char16_t> _caEscapes;
    std::array<std::uint8_t, 256> _lowClasses{};
};

} // namespace orvi
