#pragma once
// The platform GUID structure and new random GUIDs from the operating system.
#include "RtlApi.h"

#include <cstdint>

namespace rtl {

/// The platform's GUID layout: Data1..Data3 are native integers, Data4 eight bytes.
struct TGUID {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0;
    std::uint16_t D3 = 0;
    std::uint8_t D4[8] = {};

    friend bool operator==(const TGUID&, const TGUID&) = default;
};

/// Fills guid with a new random GUID (version 4, RFC 4122 variant) from the operating system's random
/// source; returns false and leaves guid unchanged when the source fails.
RTL_API bool CreateGUID(TGUID& guid) noexcept;

} // namespace rtl
