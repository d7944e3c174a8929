#pragma once
// Small value helpers shared by the libraries.
#include "utils/UtilsApi.h"

#include "rtl/Method.h"
#include "rtl/Persistent.h"
#include "rtl/UnicodeString.h"

#include <cstdint>

namespace orvi {

// Counters: each takes the variable and a signed 32-bit step (sign-extended for the 64-bit widths) and
// wraps around on overflow.

/// variable += amount; returns the new value.
UTILS_API std::int8_t PreInc(std::int8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint8_t PreInc(std::uint8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int16_t PreInc(std::int16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint16_t PreInc(std::uint16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int32_t PreInc(std::int32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint32_t PreInc(std::uint32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int64_t PreInc(std::int64_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint64_t PreInc(std::uint64_t& value, std::int32_t amount = 1) noexcept;

/// variable -= amount; returns the new value.
UTILS_API std::int8_t PreDec(std::int8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint8_t PreDec(std::uint8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int16_t PreDec(std::int16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint16_t PreDec(std::uint16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int32_t PreDec(std::int32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint32_t PreDec(std::uint32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int64_t PreDec(std::int64_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint64_t PreDec(std::uint64_t& value, std::int32_t amount = 1) noexcept;

/// variable += amount; returns the value before the change.
UTILS_API std::int8_t PostInc(std::int8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint8_t PostInc(std::uint8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int16_t PostInc(std::int16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint16_t PostInc(std::uint16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int32_t PostInc(std::int32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint32_t PostInc(std::uint32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int64_t PostInc(std::int64_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint64_t PostInc(std::uint64_t& value, std::int32_t amount = 1) noexcept;

/// variable -= amount; returns the value before the change.
UTILS_API std::int8_t PostDec(std::int8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint8_t PostDec(std::uint8_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int16_t PostDec(std::int16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint16_t PostDec(std::uint16_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int32_t PostDec(std::int32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint32_t PostDec(std::uint32_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::int64_t PostDec(std::int64_t& value, std::int32_t amount = 1) noexcept;
UTILS_API std::uint64_t PostDec(std::uint64_t& value, std::int32_t amount = 1) noexcept;

/// The number of occurrences of Ch in S.
UTILS_API int CountOfCharInString(char16_t Ch, rtl::UnicodeStringView S) noexcept;

/// Byte order of the running platform, found once and remembered.
UTILS_API bool CurrentPlatformIsBigEndian() noexcept;
UTILS_API bool CurrentPlatformIsLittleEndian() noexcept;

/// True when the object part of the method reference is set (the code part is not tested).
template <class Sig> bool IsAssigned(const rtl::TMethod<Sig>& Method) noexcept {
    return Method.Object() != nullptr;
}

/// True when the platform's asynchronous key state reports the key down. When the generic Shift,
/// Control or Alt key (0x10, 0x11, 0x12) is reported up, the answer is that for the right-hand key of
/// the same kind (0xA1, 0xA3, 0xA5).
UTILS_API bool IsKeyDown(int VirtualKey) noexcept;

/// A persistent object whose Owner gives the owner its persistence framework reports (GetOwner).
class UTILS_API TOwnedPersistent : public rtl::TPersistent {
public:
    using rtl::TPersistent::Owner;
};

} // namespace orvi
