#include "utils/text/ORVI.IOUtils.h"

#include <cstdint>

namespace orvi {

namespace {

constexpr int kLongestMark = 4; // room for any byte-order mark the detection knows

} // namespace

bool ORVIGetStreamEncoding(rtl::TStream* pStream, rtl::TEncoding*& pEncoding, rtl::TEncoding* pDefaultEncoding) {
    if (!pStream) {
        pEncoding = pDefaultEncoding ? pDefaultEncoding : rtl::TEncoding::UTF8();
        return false;
    }
    const std::int64_t offset = pStream->Position();
    std::uint8_t head[kLongestMark];
    std::int64_t count = 0;
    if (pStream->Seek(0, rtl::TSeekOrigin::soBeginning) == 0) {
        // A stream may answer with fewer bytes than asked before its end: keep reading until the mark's
        // room is full or a read yields nothing.
        while (count < kLongestMark) {
            const std::int64_t got = pStream->Read(head + count, kLongestMark - count);
            if (got <= 0)
                break;
            count += got;
        }
    }
    const int markLength = rtl::TEncoding::GetBufferEncoding(head, static_cast<std::size_t>(std::max<std::int64_t>(count, 0)),
                                                             pEncoding, pDefaultEncoding);
    pStream->Seek(offset >= 0 && offset < markLength ? markLength : offset, rtl::TSeekOrigin::soBeginning);
    return markLength > 0;
}

bool ORVIFetchEncodedCharacter(rtl::TStream* pStream, const rtl::TEncoding* pEncoding, char16_t& ch,
                               rtl::UnicodeString& szChars, int& nByteCount) {
    szChars.clear();
    ch = 0;
    nByteCount = 0;
    if (!pStream)
        return false;
    if (!pEncoding)
        pEncoding = rtl::TEncoding::UTF8();
    const int nMax = pEncoding->MaxBytesPerCharacter();
    std::uint8_t bytes[16];
    while (nByteCount < nMax && nByteCount < static_cast<int>(sizeof bytes)) {
        if (pStream->Read(bytes + nByteCount, 1) != 1)
            return false;
        ++nByteCount;
        // A malformed or cut-off sequence is no character yet: one more byte may complete it.
        if (pEncoding->TryGetString(bytes, static_cast<std::size_t>(nByteCount), szChars) && !szChars.empty()) {
            ch = szChars[0];
            return true;
        }
        szChars.clear();
    }
    return false;
}

} // namespace orvi
