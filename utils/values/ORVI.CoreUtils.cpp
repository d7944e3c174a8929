#include "utils/values/ORVI.CoreUtils.h"

#include "rtl/KeyState.h"

#include <algorithm>
#include <cstring>

#include <type_traits>

namespace {

// The sum is formed in the unsigned type of the same width, so overflow wraps instead of being
// undefined; the conversion back to a signed type is modular in C++20.
template <class T> T Added(T value, std::int32_t amount) noexcept {
    using U = std::make_unsigned_t<T>;
    const auto step = static_cast<U>(static_cast<std::int64_t>(amount));
    return static_cast<T>(static_cast<U>(static_cast<U>(value) + step));
}

template <class T> T Subtracted(T value, std::int32_t amount) noexcept {
    using U = std::make_unsigned_t<T>;
    const auto step = static_cast<U>(static_cast<std::int64_t>(amount));
    return static_cast<T>(static_cast<U>(static_cast<U>(value) - step));
}

template <class T> T DoPreInc(T& value, std::int32_t amount) noexcept {
    return value = Added(value, amount);
}
template <class T> T DoPreDec(T& value, std::int32_t amount) noexcept {
    return value = Subtracted(value, amount);
}
template <class T> T DoPostInc(T& value, std::int32_t amount) noexcept {
    const T old = value;
    value = Added(value, amount);
    return old;
}
template <class T> T DoPostDec(T& value, std::int32_t amount) noexcept {
    const T old = value;
    value = Subtracted(value, amount);
    return old;
}

} // namespace

namespace orvi {

#define ORVI_COUNTERS(T)                                                                                     \
    T PreInc(T& value, std::int32_t amount) noexcept {                                                       \
        return DoPreInc(value, amount);                                                                      \
    }                                                                                                        \
    T PreDec(T& value, std::int32_t amount) noexcept {                                                       \
        return DoPreDec(value, amount);                                                                      \
    }                                                                                                        \
    T PostInc(T& value, std::int32_t amount) noexcept {                                                      \
        return DoPostInc(value, amount);                                                                     \
    }                                                                                                        \
    T PostDec(T& value, std::int32_t amount) noexcept {                                                      \
        return DoPostDec(value, amount);                                                                     \
    }

ORVI_COUNTERS(std::int8_t)
ORVI_COUNTERS(std::uint8_t)
ORVI_COUNTERS(std::int16_t)
ORVI_COUNTERS(std::uint16_t)
ORVI_COUNTERS(std::int32_t)
ORVI_COUNTERS(std::uint32_t)
ORVI_COUNTERS(std::int64_t)
ORVI_COUNTERS(std::uint64_t)

#undef ORVI_COUNTERS

} // namespace orvi

namespace orvi {

int CountOfCharInString(char16_t Ch, rtl::UnicodeStringView S) noexcept {
    return static_cast<int>(std::count(S.begin(), S.end(), Ch));
}

namespace {
/// Stores the 16-bit value 1 and looks at its first byte.
bool FirstByteIsLow() noexcept {
    const std::uint16_t one = 1;
    std::uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}
} // namespace

bool CurrentPlatformIsLittleEndian() noexcept {
    static const bool s_blLittle = FirstByteIsLow();
    return s_blLittle;
}

bool CurrentPlatformIsBigEndian() noexcept {
    return !CurrentPlatformIsLittleEndian();
}

bool IsKeyDown(int VirtualKey) noexcept {
    const auto down = [](int key) { return (rtl::GetAsyncKeyState(key) & 0xFF00) != 0; };
    if (down(VirtualKey))
        return true;
    switch (VirtualKey) {
    case rtl::VK_SHIFT:
        return down(rtl::VK_RSHIFT);
    case rtl::VK_CONTROL:
        return down(rtl::VK_RCONTROL);
    case rtl::VK_MENU:
        return down(rtl::VK_RMENU);
    default:
        return false;
    }
}

} // namespace orvi
