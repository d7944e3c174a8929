// Value-unit benchmarks, each against its peers in the same run, interleaved (BenchRatios.h):
//   CRC-32 over 1 MiB and 64-byte buffers against libdeflate's libdeflate_crc32 (and zlib's crc32_z);
//   parsing the standard UUID text against libuuid's uuid_parse, and formatting it against
//   uuid_unparse_lower made into the same owning UTF-16 string that Format returns (the bare call,
//   which writes 8-bit text into a stack buffer and allocates nothing, is shown for reference);
//   and, for reference, parsing and formatting the brace, hex, Base64 and path forms.
//   bench_values [--check] [Google Benchmark flags]
// --check: exits 1 when CRC-32 takes more than 1.05 times libdeflate's time, or a UUID text form more
// than libuuid's for the same result.
#include "utils/values/ORVI.CRC32.h"
#include "utils/values/ORVI.Uuid.h"

#include "BenchRatios.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <uuid/uuid.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using orvi::TORVI_Uuid;

std::vector<std::uint8_t> RandomBuffer(std::size_t size) {
    std::mt19937 rng(17);
    std::vector<std::uint8_t> data(size);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    return data;
}

// --- CRC-32 -----------------------------------------------------------------------------------------
void CRC32_Ours(benchmark::State& state) {
    const auto data = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    std::uint32_t crc = 0xFFFFFFFFu;
    for (auto _ : state) {
        crc = orvi::CRC32(data.data(), data.size(), ~crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void CRC32_Libdeflate(benchmark::State& state) {
    const auto data = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = libdeflate_crc32(crc, data.data(), data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void CRC32_Zlib(benchmark::State& state) {
    const auto data = RandomBuffer(static_cast<std::size_t>(state.range(0)));
    uLong crc = 0;
    for (auto _ : state) {
        crc = crc32_z(crc, data.data(), data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(CRC32_Ours)->Arg(1 << 20)->Arg(64);
BENCHMARK(CRC32_Libdeflate)->Arg(1 << 20)->Arg(64);
BENCHMARK(CRC32_Zlib)->Arg(1 << 20)->Arg(64);

// --- UUID text ----------------------------------------------------------------------------------------
constexpr int kValues = 256; // cycled, so that no single value sits in the branch predictor

std::vector<TORVI_Uuid> RandomUuids() {
    std::vector<TORVI_Uuid> v;
    for (int i = 0; i < kValues; ++i)
        v.emplace_back(false);
    return v;
}

std::vector<rtl::UnicodeString> Texts(const char16_t* szFormat) {
    std::vector<rtl::UnicodeString> texts;
    for (const TORVI_Uuid& u : RandomUuids())
        texts.push_back(u.Format(szFormat));
    return texts;
}

void Parse(benchmark::State& state, const char16_t* szFormat) {
    const auto texts = Texts(szFormat);
    std::size_t i = 0;
    for (auto _ : state) {
        TORVI_Uuid u = TORVI_Uuid::Parse(texts[i++ % kValues]);
        benchmark::DoNotOptimize(u);
    }
}

void Format(benchmark::State& state, const char16_t* szFormat) {
    const auto values = RandomUuids();
    std::size_t i = 0;
    for (auto _ : state) {
        rtl::UnicodeString s = values[i++ % kValues].Format(szFormat);
        benchmark::DoNotOptimize(s);
    }
}

void UuidParse_Libuuid(benchmark::State& state) {
    std::vector<std::string> texts;
    for (const auto& t : Texts(u""))
        texts.push_back(rtl::StringToUtf8(t));
    std::size_t i = 0;
    uuid_t u;
    for (auto _ : state) {
        benchmark::DoNotOptimize(uuid_parse(texts[i++ % kValues].c_str(), u));
        benchmark::ClobberMemory();
    }
}

std::vector<std::array<unsigned char, 16>> RandomUuidBytes() {
    std::vector<std::array<unsigned char, 16>> values;
    for (const TORVI_Uuid& u : RandomUuids()) {
        std::array<unsigned char, 16> b;
        std::memcpy(b.data(), u.Data(), 16);
        values.push_back(b);
    }
    return values;
}

void UuidFormat_Libuuid(benchmark::State& state) {
    const auto values = RandomUuidBytes();
    std::size_t i = 0;
    char out[37];
    for (auto _ : state) {
        uuid_unparse_lower(values[i++ % kValues].data(), out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}

// What a caller of libuuid writes to get the text as Format gives it: an owning UTF-16 string.
void UuidFormat_LibuuidString(benchmark::State& state) {
    const auto values = RandomUuidBytes();
    std::size_t i = 0;
    for (auto _ : state) {
        char out[37];
        uuid_unparse_lower(values[i++ % kValues].data(), out);
        rtl::UnicodeString s(out, out + 36);
        benchmark::DoNotOptimize(s);
    }
}

BENCHMARK_CAPTURE(Parse, Standard, u"");
BENCHMARK(UuidParse_Libuuid);
BENCHMARK_CAPTURE(Format, Standard, u"");
BENCHMARK(UuidFormat_Libuuid);
BENCHMARK(UuidFormat_LibuuidString);
BENCHMARK_CAPTURE(Parse, Brace, u"ms");
BENCHMARK_CAPTURE(Format, Brace, u"ms");
BENCHMARK_CAPTURE(Parse, Hex, u"hex");
BENCHMARK_CAPTURE(Format, Hex, u"hex");
BENCHMARK_CAPTURE(Parse, Base64, u"base64");
BENCHMARK_CAPTURE(Format, Base64, u"base64");
BENCHMARK_CAPTURE(Parse, Path, u"jhashpath");
BENCHMARK_CAPTURE(Format, Path, u"jhashpath");

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithRatios(
        argc, argv,
        {{"CRC-32, 1 MiB / libdeflate", "CRC32_Ours/1048576", "CRC32_Libdeflate/1048576", 1.05},
         {"CRC-32, 64 bytes / libdeflate", "CRC32_Ours/64", "CRC32_Libdeflate/64", 1.05},
         {"CRC-32, 1 MiB / zlib", "CRC32_Ours/1048576", "CRC32_Zlib/1048576", 0},
         {"CRC-32, 64 bytes / zlib", "CRC32_Ours/64", "CRC32_Zlib/64", 0},
         {"UUID parse, standard / uuid_parse", "Parse/Standard", "UuidParse_Libuuid", 1},
         {"UUID format, standard / libuuid to a string", "Format/Standard", "UuidFormat_LibuuidString", 1},
         {"UUID format, standard / bare libuuid", "Format/Standard", "UuidFormat_Libuuid", 0}});
}
