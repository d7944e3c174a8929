#pragma once
// Text encodings: the platform's family of byte <-> UTF-16 converters with their display names,
// byte-order marks and the longest byte sequence one character can take, with strict decoding and
// detection of a buffer's encoding from its byte-order mark.
#include "Exceptions.h"
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstddef>
#include <cstdint>

namespace rtl {

/// Raised by strict decoding for bytes that are not text in the encoding.
RTL_DECLARE_EXCEPTION(EEncodingError, Exception);

class TEncoding;
/// The class of an encoding: creates a new encoding of that class with its default settings.
using TEncodingClass = TClassRef<TEncoding>;

class RTL_API TEncoding : public TObject {
public:
    /// The name shown to people ("UTF-8").
    virtual UnicodeString EncodingName() const = 0;
    /// The byte-order mark written before text in this encoding; empty when it has none.
    virtual TBytes GetPreamble() const = 0;
    /// The most bytes one character (a code point, so possibly two UTF-16 units) can take.
    virtual int MaxBytesPerCharacter() const = 0;
    /// True when every character takes exactly one byte.
    virtual bool IsSingleByte() const { return false; }
    /// This encoding's class.
    virtual const TEncodingClass& ClassType() const = 0;

    /// Strict decoding: true with the text appended to out, or false (out unchanged) when the bytes
    /// hold a malformed or incomplete sequence.
    virtual bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const = 0;
    /// Strict decoding; raises EEncodingError "No mapping for the Unicode character exists in the target
    /// multi-byte code page" for malformed bytes.
    UnicodeString GetString(const TBytes& bytes) const;
    /// Encodes text; characters the encoding cannot hold become '?'.
    virtual TBytes GetBytes(UnicodeStringView text) const = 0;

    /// The shared instances, never freed: the system code page (Windows-1252 off Windows), ASCII,
    /// UTF-16 big-endian, UTF-16 little-endian, UTF-7 and UTF-8.
    static TEncoding* ANSI();
    static TEncoding* ASCII();
    static TEncoding* BigEndianUnicode();
    static TEncoding* Unicode();
    static TEncoding* UTF7();
    static TEncoding* UTF8();
    /// True for one of the six shared instances.
    static bool IsStandardEncoding(const TEncoding* encoding);

    /// Detects the encoding of text from its byte-order mark: UTF-8, UTF-16 little- or big-endian.
    /// Returns the mark's length and sets encoding to the one found; without a mark returns 0 and sets
    /// encoding to defaultEncoding, or UTF-8 when that is null.
    static int GetBufferEncoding(const std::uint8_t* bytes, std::size_t count, TEncoding*& encoding,
                                 TEncoding* defaultEncoding = nullptr);
};

/// A single-byte code page: the system's ANSI page. Off Windows it is Windows-1252, the page of
/// the Sage files; every byte maps to a character.
class RTL_API TMBCSEncoding : public TEncoding {
public:
    UnicodeString EncodingName() const override;
    TBytes GetPreamble() const override { return {}; }
    int MaxBytesPerCharacter() const override { return 1; }
    bool IsSingleByte() const override { return true; }
    const TEncodingClass& ClassType() const override;
    bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const override;
    TBytes GetBytes(UnicodeStringView text) const override;
};

/// US-ASCII: bytes 0x00..0x7F; higher bytes are malformed.
class RTL_API TASCIIEncoding : public TEncoding {
public:
    UnicodeString EncodingName() const override { return u"US-ASCII"; }
    TBytes GetPreamble() const override { return {}; }
    int MaxBytesPerCharacter() const override { return 1; }
    bool IsSingleByte() const override { return true; }
    const TEncodingClass& ClassType() const override;
    bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const override;
    TBytes GetBytes(UnicodeStringView text) const override;
};

/// UTF-16 little-endian; a lone surrogate or an odd trailing byte is malformed.
class RTL_API TUnicodeEncoding : public TEncoding {
public:
    UnicodeString EncodingName() const override { return u"UTF-16LE"; }
    TBytes GetPreamble() const override { return {0xFF, 0xFE}; }
    int MaxBytesPerCharacter() const override { return 4; }
    const TEncodingClass& ClassType() const override;
    bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const override;
    TBytes GetBytes(UnicodeStringView text) const override;

protected:
    virtual bool BigEndian() const { return false; }
};

/// UTF-16 big-endian.
class RTL_API TBigEndianUnicodeEncoding : public TUnicodeEncoding {
public:
    UnicodeString EncodingName() const override { return u"UTF-16BE"; }
    TBytes GetPreamble() const override { return {0xFE, 0xFF}; }
    const TEncodingClass& ClassType() const override;

protected:
    bool BigEndian() const override { return true; }
};

/// UTF-7 (RFC 2152). Text is decoded as a whole: each call starts in the direct state.
class RTL_API TUTF7Encoding : public TEncoding {
public:
    UnicodeString EncodingName() const override { return u"UTF-7"; }
    TBytes GetPreamble() const override { return {}; }
    /// '+', six base64 digits for a surrogate pair, '-'.
    int MaxBytesPerCharacter() const override { return 8; }
    const TEncodingClass& ClassType() const override;
    bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const override;
    TBytes GetBytes(UnicodeStringView text) const override;
};

/// UTF-8; overlong forms, surrogates, values above U+10FFFF and cut-off sequences are malformed.
class RTL_API TUTF8Encoding : public TEncoding {
public:
    UnicodeString EncodingName() const override { return u"UTF-8"; }
    TBytes GetPreamble() const override { return {0xEF, 0xBB, 0xBF}; }
    int MaxBytesPerCharacter() const override { return 4; }
    const TEncodingClass& ClassType() const override;
    bool TryGetString(const std::uint8_t* bytes, std::size_t count, UnicodeString& out) const override;
    TBytes GetBytes(UnicodeStringView text) const override;
};

} // namespace rtl
