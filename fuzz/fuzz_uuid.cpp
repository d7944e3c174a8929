// Fuzzes UUID text parsing (every form, through both entry points) and setting a UUID from variants.
// The first byte chooses how the rest is offered: as UTF-16 units, as 8-bit text, or as a byte array.
// A value read successfully must format and parse back to itself.
#include "FuzzText.h"

#include "rtl/Exceptions.h"
#include "utils/values/ORVI.Uuid.h"

#include <cstdlib>
#include <cstring>
#include <string>

using orvi::TORVI_Uuid;

namespace {

void CheckRoundTrip(const TORVI_Uuid& u) {
    for (const char16_t* name : {u"ms", u"hex", u"base64", u"jhashpath"})
        if (TORVI_Uuid::Parse(u.Format(name)) != u)
            std::abort();
    if (std::memcmp(u.Data(), "ORVI-", 5) != 0 && TORVI_Uuid::Parse(u.Format(u"")) != u)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0] % 4;
    ++data;
    --size;
    TORVI_Uuid u(TORVI_Uuid(true));
    const TORVI_Uuid before = u;
    try {
        switch (mode) {
        case 0:
            u = TORVI_Uuid::Parse(fuzz::Utf16Units(data, size));
            break;
        case 1:
            u = TORVI_Uuid::ParseText(fuzz::Utf16Units(data, size));
            break;
        case 2:
            u.TrySetAsVariant(
                rtl::Variant::FromAnsiString(std::string(reinterpret_cast<const char*>(data), size)));
            break;
        default:
            u.TrySetAsVariant(rtl::Variant::FromBytes(rtl::TBytes(data, data + size), 0));
            break;
        }
    } catch (const rtl::EConvertError&) {
        if (u != before) // a failed read leaves the value as it was
            std::abort();
        return 0;
    }
    CheckRoundTrip(u);
    return 0;
}
