#pragma once
// Reading text from byte streams: a stream's encoding from its byte-order mark, and one decoded
// character at a time.
#include "utils/UtilsApi.h"

#include "rtl/Encoding.h"
#include "rtl/Stream.h"
#include "rtl/UnicodeString.h"

namespace orvi {

/// Reads the first bytes of pStream (from offset 0) and detects a byte-order mark (UTF-8, UTF-16 LE or
/// BE); pEncoding receives the encoding found, or pDefaultEncoding (UTF-8 when null) without a mark.
/// True when a mark was found. The stream ends just after the mark when it stood inside the mark, and
/// where it stood otherwise. A null stream answers false and sets pEncoding to the default.
UTILS_API bool ORVIGetStreamEncoding(rtl::TStream* pStream, rtl::TEncoding*& pEncoding,
                                     rtl::TEncoding* pDefaultEncoding = nullptr);

/// Reads one character of pEncoding (UTF-8 when null) from pStream's position: bytes are read one at a
/// time until they decode strictly to at least one character. Then true: ch is the first character,
/// szChars every character decoded (two for a surrogate pair) and nByteCount the bytes used. False at
/// the end of the stream or after the longest sequence of one character failed to decode (szChars
/// empty, ch #0). Either way the stream stands after the nByteCount bytes read, so a caller can step
/// back by nByteCount.
UTILS_API bool ORVIFetchEncodedCharacter(rtl::TStream* pStream, const rtl::TEncoding* pEncoding, char16_t& ch,
                                         rtl::UnicodeString& szChars, int& nByteCount);

} // namespace orvi
