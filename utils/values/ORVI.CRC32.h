#pragma once
// CRC-32 (reflected, polynomial 0xEDB88320) of buffers and of values' bytes in memory order.
// The running value starts as the seed itself and the result is its bitwise NOT: with the seed
// 0xFFFFFFFF this is the usual CRC-32; to continue over more data, pass NOT the previous result.
#include "utils/UtilsApi.h"

#include "rtl/Extended80.h"
#include "rtl/UnicodeString.h"

#include <libdeflate.h>

#include <cstddef>
#include <cstdint>

namespace orvi {

/// The checksum of nLength bytes at pBuffer; a length of 0 gives NOT nSeed.
/// Inline, so that a short buffer costs no more than libdeflate's own call: libdeflate inverts its start
/// value and its result, so starting it from NOT nSeed runs the value that starts at nSeed. It takes a
/// null buffer for a fresh start (result 0), hence the explicit empty case.
inline std::uint32_t CRC32(const void* pBuffer, std::size_t nLength, std::uint32_t nSeed) noexcept {
    return nLength == 0 ? ~nSeed : libdeflate_crc32(~nSeed, pBuffer, nLength);
}

// The checksum of the value's bytes (1, 2, 4, 8 or 10 of them).
UTILS_API std::uint32_t CRC32(bool Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(char Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::int8_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::uint8_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(char16_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::int16_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::uint16_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::int32_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::uint32_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(float Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::int64_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(std::uint64_t Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(double Value, std::uint32_t nSeed) noexcept;
/// The 10 bytes of the value as an 80-bit extended real.
UTILS_API std::uint32_t CRC32(long double Value, std::uint32_t nSeed) noexcept;
UTILS_API std::uint32_t CRC32(const rtl::TExtended80Rec& Value, std::uint32_t nSeed) noexcept;
/// The bytes held in the array.
UTILS_API std::uint32_t CRC32(const rtl::TBytes& Value, std::uint32_t nSeed) noexcept;

} // namespace orvi
