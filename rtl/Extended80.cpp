#include "rtl/Extended80.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace rtl {

namespace {

/// Encodes from the value's parts where long double has another layout (binary64 or binary128).
TExtended80Rec Encode(long double value) noexcept {
    std::uint64_t mantissa = 0;
    std::uint16_t exponent = 0;
    if (std::isnan(value)) {
        exponent = 0x7FFF;
        mantissa = 0xC000000000000000ull;
    } else if (std::isinf(value)) {
        exponent = 0x7FFF;
        mantissa = 0x8000000000000000ull;
    } else if (value != 0) {
        int e = 0;
        const long double fraction = std::frexp(std::fabs(value), &e); // in [0.5, 1)
        mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
        exponent = static_cast<std::uint16_t>(e - 1 + 16383);
    }
    if (std::signbit(value))
        exponent |= 0x8000;
    TExtended80Rec r;
    std::memcpy(r.Bytes, &mantissa, 8);
    std::memcpy(r.Bytes + 8, &exponent, 2);
    return r;
}

} // namespace

TExtended80Rec ToExtended80(long double value) noexcept {
    if constexpr (std::numeric_limits<long double>::digits == 64 && sizeof(long double) >= 10) {
        TExtended80Rec r;
        std::memcpy(r.Bytes, &value, 10);
        return r;
    }
    return Encode(value);
}

} // namespace rtl
