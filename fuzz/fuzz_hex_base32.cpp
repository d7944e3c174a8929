// Fuzzes HexStringToBytes and Base32 decoding on UTF-16 input (the first byte chooses which). Text that
// reads must survive a round trip through the matching writer.
#include "FuzzText.h"

#include "rtl/Exceptions.h"
#include "utils/values/ORVI.HexStrings.h"
#include "utils/values/ORVI.NetEncoding.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool hex = data[0] & 1;
    const rtl::UnicodeString text = fuzz::Utf16Units(data + 1, size - 1);
    try {
        if (hex) {
            rtl::TBytes bytes;
            orvi::HexStringToBytes(text, bytes);
            rtl::TBytes again;
            orvi::HexStringToBytes(orvi::BytesToHexString(bytes, 1, 4, u"\r\n"), again);
            if (again != bytes && !bytes.empty())
                std::abort();
        } else {
            const auto* b32 = orvi::TORVINetEncoding::Base32();
            const rtl::UnicodeString plain = b32->Decode(text);
            if (b32->Decode(b32->Encode(plain)) != plain)
                std::abort();
        }
    } catch (const rtl::EConvertError&) {
    }
    return 0;
}
