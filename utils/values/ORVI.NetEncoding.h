#pragma once
// Base32 text (RFC 4648) and the unsafe-character sets of URL parts.
#include "utils/UtilsApi.h"

#include "rtl/NetEncoding.h"

namespace orvi {

/// Base32 of text whose characters are bytes (codes below 256): "A".."Z" for 0..25, "2".."7" for
/// 26..31, padded with "=" to whole 8-character blocks.
class UTILS_API TORVIBase32Encoding : public rtl::TNetEncoding {
protected:
    /// Raises EConvertError for a character above U+00FF, which is no byte.
    rtl::UnicodeString DoEncode(rtl::UnicodeStringView input) const override;
    /// Letters of either case and "2".."7"; the first "=" ends the input; text that is not whole blocks
    /// is read as unpadded, a trailing incomplete byte dropped. Any other character raises EConvertError
    /// "Invalid Base32 Input character: <c> at offset <n> of buffer".
    rtl::UnicodeString DoDecode(rtl::UnicodeStringView input) const override;
};

class UTILS_API TORVINetEncoding {
public:
    /// The shared Base32 encoder: made on first use (concurrent first uses agree on one instance) and
    /// freed when the library unloads.
    static TORVIBase32Encoding* Base32();
};

/// The URL encoder with its sets of unsafe 8-bit characters as properties.
class UTILS_API TORVIURLEncoding : public rtl::TURLEncoding {
public:
    const rtl::TAnsiCharSet& UnsafeAuthChars() const noexcept { return kAuthUnsafeChars; }
    const rtl::TAnsiCharSet& UnsafeFormChars() const noexcept { return kFormUnsafeChars; }
    const rtl::TAnsiCharSet& UnsafePathChars() const noexcept { return kPathUnsafeChars; }
    /// The query set with "&" and "=" added, for a value placed inside a query.
    const rtl::TAnsiCharSet& UnsafeQueryChars() const noexcept { return _UnsafeQueryChars; }

private:
    RTL_DLL_CONSTANT static constexpr rtl::TAnsiCharSet _UnsafeQueryChars =
        kQueryUnsafeChars + rtl::TAnsiCharSet("&=");
};

} // namespace orvi
