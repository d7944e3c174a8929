// Fuzzes ORVIGetStreamEncoding and ORVIFetchEncodedCharacter: the first byte picks one of the registered
// encodings (or the detected one) and where the stream starts; the rest is the stream. Characters are
// fetched until the end, stepping one byte past anything that does not decode.
#include "utils/text/ORVI.Encoding.h"
#include "utils/text/ORVI.IOUtils.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    rtl::TStringList names;
    const int count = orvi::ORVIGetRegisteredEncodings(&names);
    rtl::TMemoryStream stream(rtl::TBytes(data + 1, data + size));
    stream.SetPosition(data[0] >> 4 & 3);
    rtl::TEncoding* encoding = nullptr;
    orvi::ORVIGetStreamEncoding(&stream, encoding);
    const int pick = data[0] & 15;
    if (pick < count)
        encoding = orvi::ORVIGetEncoding(names.Strings(pick));
    const std::int64_t end = stream.Size();
    char16_t ch;
    rtl::UnicodeString chars;
    int bytes = 0;
    while (stream.Position() < end) {
        const std::int64_t before = stream.Position();
        const bool ok = orvi::ORVIFetchEncodedCharacter(&stream, encoding, ch, chars, bytes);
        if (bytes < 1 || bytes > encoding->MaxBytesPerCharacter() || stream.Position() != before + bytes)
            std::abort();
        if (ok && (chars.empty() || ch != chars[0]))
            std::abort();
        if (!ok)
            stream.SetPosition(before + 1);
    }
    return 0;
}
