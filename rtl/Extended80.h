#pragma once
// The 80-bit extended real as a 10-byte record (x87 layout: 64-bit mantissa with explicit integer bit,
// then sign and 15-bit exponent), little-endian.
#include "RtlApi.h"

#include <cstdint>

namespace rtl {

struct TExtended80Rec {
    std::uint8_t Bytes[10] = {};
};

/// value in the 80-bit layout; where long double is that layout its bytes are copied as they are.
RTL_API TExtended80Rec ToExtended80(long double value) noexcept;

} // namespace rtl
