#include "rtl/Guid.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <objbase.h>
#else
#include <sys/random.h>
#endif

namespace rtl {

namespace {

#if !defined(_WIN32)
/// All 16 bytes or nothing: getrandom may return short counts or be interrupted.
bool RandomBytes(std::uint8_t* pBytes, std::size_t count) noexcept {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = getrandom(pBytes + got, count - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}
#endif

} // namespace

bool CreateGUID(TGUID& guid) noexcept {
#if defined(_WIN32)
    GUID g;
    if (FAILED(CoCreateGuid(&g)))
        return false;
    static_assert(sizeof(GUID) == sizeof(TGUID));
    std::memcpy(static_cast<void*>(&guid), &g, sizeof guid);
    return true;
#else
    std::uint8_t bytes[16];
    if (!RandomBytes(bytes, sizeof bytes))
        return false;
    TGUID g;
    std::memcpy(&g.D1, bytes, 4);
    std::memcpy(&g.D2, bytes + 4, 2);
    std::memcpy(&g.D3, bytes + 6, 2);
    std::memcpy(g.D4, bytes + 8, 8);
    // Version 4 (random) in the top nibble of Data3 and the RFC 4122 variant (10xx) in Data4[0], as the
    // Windows GUID generator marks its values.
    g.D3 = static_cast<std::uint16_t>((g.D3 & 0x0FFF) | 0x4000);
    g.D4[0] = static_cast<std::uint8_t>((g.D4[0] & 0x3F) | 0x80);
    guid = g;
    return true;
#endif
}

} // namespace rtl
