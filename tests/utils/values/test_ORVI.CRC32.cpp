#include "utils/values/ORVI.CRC32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <random>

using namespace orvi;

namespace {

/// The byte-at-a-time definition: running value from the seed itself, result inverted.
std::uint32_t Reference(const std::uint8_t* p, std::size_t n, std::uint32_t seed) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t v = seed;
    for (std::size_t i = 0; i < n; ++i)
        v = table[(v ^ p[i]) & 0xFF] ^ (v >> 8);
    return ~v;
}

template <class T> std::uint32_t OfBytes(const T& value, std::size_t n, std::uint32_t seed) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    return Reference(bytes, n, seed);
}

} // namespace

TEST(CRC32, StandardCheckValueAndEmptyInput) {
    EXPECT_EQ(CRC32("123456789", 9, 0xFFFFFFFFu), 0xCBF43926u);
    EXPECT_EQ(CRC32(nullptr, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(CRC32(nullptr, 0, 0x12345678u), ~0x12345678u);
}

TEST(CRC32, MatchesTheDefinitionAndZlibOnRandomBuffersAndSeeds) {
    std::mt19937 rng(1208);
    std::vector<std::uint8_t> data(70000);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    for (int i = 0; i < 300; ++i) {
        const std::size_t offset = rng() % 64;
        const std::size_t length = i < 100 ? rng() % 80 : rng() % (data.size() - offset);
        const std::uint32_t seed = i % 3 == 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rng());
        const std::uint32_t crc = CRC32(data.data() + offset, length, seed);
        ASSERT_EQ(crc, Reference(data.data() + offset, length, seed)) << length;
        ASSERT_EQ(crc, crc32(~seed, data.data() + offset, static_cast<uInt>(length)));
    }
}

TEST(CRC32, ContinuesWithTheInvertedPreviousResult) {
    const char text[] = "The quick brown fox jumps over the lazy dog";
    const std::uint32_t whole = CRC32(text, 43, 0xFFFFFFFFu);
    EXPECT_EQ(whole, 0x414FA339u);
    EXPECT_EQ(CRC32(text + 10, 33, ~CRC32(text, 10, 0xFFFFFFFFu)), whole);
}

TEST(CRC32, ValueOverloadsChecksumTheirBytesInMemoryOrder) {
    const std::uint32_t seed = 0xA5A5F00Fu;
    EXPECT_EQ(CRC32(true, seed), OfBytes(std::uint8_t(1), 1, seed));
    EXPECT_EQ(CRC32('x', seed), OfBytes('x', 1, seed));
    EXPECT_EQ(CRC32(std::int8_t(-2), seed), OfBytes(std::uint8_t(0xFE), 1, seed));
    EXPECT_EQ(CRC32(std::uint8_t(200), seed), OfBytes(std::uint8_t(200), 1, seed));
    EXPECT_EQ(CRC32(u'€', seed), OfBytes(u'€', 2, seed));
    EXPECT_EQ(CRC32(std::int16_t(-3), seed), OfBytes(std::int16_t(-3), 2, seed));
    EXPECT_EQ(CRC32(std::uint16_t(0x0102), seed), CRC32(rtl::TBytes{2, 1}, seed));
    EXPECT_EQ(CRC32(std::uint32_t(0x04030201), seed), CRC32(rtl::TBytes{1, 2, 3, 4}, seed));
    EXPECT_EQ(CRC32(std::int32_t(-1), seed), CRC32(rtl::TBytes{255, 255, 255, 255}, seed));
    EXPECT_EQ(CRC32(1.5f, seed), OfBytes(1.5f, 4, seed));
    EXPECT_EQ(CRC32(std::int64_t(-5), seed), OfBytes(std::int64_t(-5), 8, seed));
    EXPECT_EQ(CRC32(std::uint64_t(1) << 40, seed), OfBytes(std::uint64_t(1) << 40, 8, seed));
    EXPECT_EQ(CRC32(2.25, seed), OfBytes(2.25, 8, seed));
    // 1.0 as an 80-bit real: mantissa 0x8000000000000000, exponent 0x3FFF.
    const rtl::TBytes one80 = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
    EXPECT_EQ(CRC32(1.0L, seed), CRC32(one80, seed));
    rtl::TExtended80Rec rec;
    std::memcpy(rec.Bytes, one80.data(), 10);
    EXPECT_EQ(CRC32(rec, seed), CRC32(one80, seed));
    const rtl::TBytes bytes = {9, 8, 7};
    EXPECT_EQ(CRC32(bytes, seed), CRC32(bytes.data(), 3, seed));
    EXPECT_EQ(CRC32(rtl::TBytes{}, seed), ~seed);
}
