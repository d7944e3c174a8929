#include "utils/values/ORVI.CRC32.h"

#include <bit>
#include <cstring>

namespace orvi {

namespace {

static_assert(std::endian::native == std::endian::little, "values are checksummed in little-endian order");

template <class T> std::uint32_t OfValue(const T& value, std::uint32_t nSeed) noexcept {
    return CRC32(&value, sizeof value, nSeed);
}

} // namespace

std::uint32_t CRC32(bool Value, std::uint32_t nSeed) noexcept {
    const std::uint8_t byte = Value ? 1 : 0;
    return OfValue(byte, nSeed);
}
std::uint32_t CRC32(char Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::int8_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::uint8_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(char16_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::int16_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::uint16_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::int32_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::uint32_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(float Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::int64_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(std::uint64_t Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(double Value, std::uint32_t nSeed) noexcept {
    return OfValue(Value, nSeed);
}
std::uint32_t CRC32(long double Value, std::uint32_t nSeed) noexcept {
    return CRC32(rtl::ToExtended80(Value), nSeed);
}
std::uint32_t CRC32(const rtl::TExtended80Rec& Value, std::uint32_t nSeed) noexcept {
    return CRC32(Value.Bytes, sizeof Value.Bytes, nSeed);
}
std::uint32_t CRC32(const rtl::TBytes& Value, std::uint32_t nSeed) noexcept {
    return CRC32(Value.data(), Value.size(), nSeed);
}

} // namespace orvi
