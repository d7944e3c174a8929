#pragma once
// Network text encoders: the base class with string encode and decode, a set of 8-bit characters, and
// the URL (percent) encoder with the unsafe characters of each part of a URL.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <array>
#include <cstdint>
#include <string_view>

// A static constexpr data member of an exported class: a Windows client imports it from the DLL, which
// emits (and so exports) it only when told to keep it. Elsewhere it is an ordinary inline constant.
#if defined(_WIN32)
#define RTL_DLL_CONSTANT [[gnu::used]]
#else
#define RTL_DLL_CONSTANT
#endif

namespace rtl {

/// A set of 8-bit characters.
class TAnsiCharSet {
public:
    constexpr TAnsiCharSet() noexcept = default;
    /// The set of the given characters.
    constexpr explicit TAnsiCharSet(std::string_view chars) noexcept {
        for (char c : chars)
            Include(static_cast<unsigned char>(c));
    }
    /// The characters from first to last inclusive, added to this set.
    constexpr TAnsiCharSet& IncludeRange(unsigned char first, unsigned char last) noexcept {
        for (unsigned c = first; c <= last; ++c)
            Include(static_cast<unsigned char>(c));
        return *this;
    }
    constexpr void Include(unsigned char c) noexcept { _bits[c >> 6] |= std::uint64_t(1) << (c & 63); }
    constexpr bool Contains(unsigned char c) const noexcept { return (_bits[c >> 6] >> (c & 63)) & 1; }
    /// The union.
    constexpr TAnsiCharSet operator+(const TAnsiCharSet& other) const noexcept {
        TAnsiCharSet r = *this;
        for (int i = 0; i < 4; ++i)
            r._bits[i] |= other._bits[i];
        return r;
    }
    friend constexpr bool operator==(const TAnsiCharSet&, const TAnsiCharSet&) = default;

private:
    std::array<std::uint64_t, 4> _bits{};
};

/// Base of the encoders that turn text into text safe to send over a network, and back.
class RTL_API TNetEncoding {
public:
    virtual ~TNetEncoding();
    UnicodeString Encode(UnicodeStringView input) const { return DoEncode(input); }
    UnicodeString Decode(UnicodeStringView input) const { return DoDecode(input); }

protected:
    virtual UnicodeString DoEncode(UnicodeStringView input) const = 0;
    virtual UnicodeString DoDecode(UnicodeStringView input) const = 0;
};

/// Percent-encoding of URL parts (RFC 3986). Text is encoded as UTF-8; every byte in the part's unsafe
/// set becomes "%" and two upper-case hex digits. Each set holds the controls (0x00..0x1F, 0x7F), the
/// space, every byte from 0x80, "%" itself, and the printable characters the part may not carry
/// literally:
///   auth (userinfo; allows unreserved, sub-delims and ":"):  " # / < > ? @ [ \ ] ^ ` { | }
///   path (segments and "/"; allows also "@"):                " # < > ? [ \ ] ^ ` { | }
///   query (allows pchar, "/" and "?"):                       " # < > [ \ ] ^ ` { | }
///   form (a name or value of a form-encoded query: only the unreserved ALPHA DIGIT - . _ ~ stay):
///                                                   ! " # $ & ' ( ) * + , / : ; < = > ? @ [ \ ] ^ ` { | }
class RTL_API TURLEncoding : public TNetEncoding {
public:
    RTL_DLL_CONSTANT static constexpr TAnsiCharSet kAlwaysUnsafe =
        TAnsiCharSet(" %").IncludeRange(0x00, 0x1F).IncludeRange(0x7F, 0xFF);
    RTL_DLL_CONSTANT static constexpr TAnsiCharSet kAuthUnsafeChars =
        kAlwaysUnsafe + TAnsiCharSet("\"#/<>?@[\\]^`{|}");
    RTL_DLL_CONSTANT static constexpr TAnsiCharSet kPathUnsafeChars =
        kAlwaysUnsafe + TAnsiCharSet("\"#<>?[\\]^`{|}");
    RTL_DLL_CONSTANT static constexpr TAnsiCharSet kQueryUnsafeChars =
        kAlwaysUnsafe + TAnsiCharSet("\"#<>[\\]^`{|}");
    RTL_DLL_CONSTANT static constexpr TAnsiCharSet kFormUnsafeChars =
        kAlwaysUnsafe + TAnsiCharSet("!\"#$&'()*+,/:;<=>?@[\\]^`{|}");

    /// input as UTF-8 with every byte in unsafe percent-encoded; a space becomes "+" when blSpaceAsPlus.
    static UnicodeString EncodeWith(UnicodeStringView input, const TAnsiCharSet& unsafe, bool blSpaceAsPlus);
    static UnicodeString EncodeAuth(UnicodeStringView input) {
        return EncodeWith(input, kAuthUnsafeChars, false);
    }
    static UnicodeString EncodePath(UnicodeStringView input) {
        return EncodeWith(input, kPathUnsafeChars, false);
    }
    static UnicodeString EncodeQuery(UnicodeStringView input) {
        return EncodeWith(input, kQueryUnsafeChars, false);
    }
    /// A form name or value: unreserved characters stay, a space becomes "+".
    static UnicodeString EncodeForm(UnicodeStringView input) {
        return EncodeWith(input, kFormUnsafeChars, true);
    }
    /// "%XX" sequences back to bytes, read as UTF-8 (malformed sequences become U+FFFD); a "%" not followed
    /// by two hex digits stays as it is; "+" becomes a space when blPlusAsSpace.
    static UnicodeString DecodeWith(UnicodeStringView input, bool blPlusAsSpace);

protected:
    /// Encode and Decode work on form names and values, the strictest set.
    UnicodeString DoEncode(UnicodeStringView input) const override { return EncodeForm(input); }
    UnicodeString DoDecode(UnicodeStringView input) const override { return DecodeWith(input, true); }
};

} // namespace rtl
