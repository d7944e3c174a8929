// Value-unit benchmarks, each against its peer in the same run:
//   CRC-32 over 1 MiB and 64-byte buffers against zlib's crc32;
//   parsing and formatting the standard UUID text against libuuid's uuid_parse and uuid_unparse_lower;
//   and, for reference, parsing and formatting the brace, hex, Base64 and path forms.
// After the usual Google Benchmark table it prints the ratios (peer time / our time: above 1 is faster).
//   bench_values [--benchmark_repetitions=5] [--benchmark_filter=...] [--benchmark_min_time=...]
// With repetitions the ratios use the medians, which a busy machine needs.
#include "utils/values/ORVI.CRC32.h"
#include "utils/values/ORVI.Uuid.h"

#include <benchmark/benchmark.h>
#include <uuid/uuid.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
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

void UuidFormat_Libuuid(benchmark::State& state) {
    std::vector<std::array<unsigned char, 16>> values;
    for (const TORVI_Uuid& u : RandomUuids()) {
        std::array<unsigned char, 16> b;
        std::memcpy(b.data(), u.Data(), 16);
        values.push_back(b);
    }
    std::size_t i = 0;
    char out[37];
    for (auto _ : state) {
        uuid_unparse_lower(values[i++ % kValues].data(), out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(Parse, Standard, u"");
BENCHMARK(UuidParse_Libuuid);
BENCHMARK_CAPTURE(Format, Standard, u"");
BENCHMARK(UuidFormat_Libuuid);
BENCHMARK_CAPTURE(Parse, Brace, u"ms");
BENCHMARK_CAPTURE(Format, Brace, u"ms");
BENCHMARK_CAPTURE(Parse, Hex, u"hex");
BENCHMARK_CAPTURE(Format, Hex, u"hex");
BENCHMARK_CAPTURE(Parse, Base64, u"base64");
BENCHMARK_CAPTURE(Format, Base64, u"base64");
BENCHMARK_CAPTURE(Parse, Path, u"jhashpath");
BENCHMARK_CAPTURE(Format, Path, u"jhashpath");

/// The console table, plus each run's time per iteration kept for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median stands for the benchmark; otherwise its one run.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                _times[run.run_name.str()] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && run.repetitions <= 1)
                _times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
    }

    void PrintRatio(const char* szWhat, const std::string& ours, const std::string& peer) const {
        const auto o = _times.find(ours), p = _times.find(peer);
        if (o == _times.end() || p == _times.end())
            return;
        std::printf("%-40s ours %10.2f  peer %10.2f  peer/ours %.2f\n", szWhat, o->second, p->second,
                    p->second / o->second);
    }

private:
    std::map<std::string, double> _times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (processor time per call, same unit as the table above):\n");
    reporter.PrintRatio("CRC-32, 1 MiB (zlib)", "CRC32_Ours/1048576", "CRC32_Zlib/1048576");
    reporter.PrintRatio("CRC-32, 64 bytes (zlib)", "CRC32_Ours/64", "CRC32_Zlib/64");
    reporter.PrintRatio("UUID parse, standard (uuid_parse)", "Parse/Standard", "UuidParse_Libuuid");
    reporter.PrintRatio("UUID format, standard (uuid_unparse_lower)", "Format/Standard",
                        "UuidFormat_Libuuid");
    benchmark::Shutdown();
    return 0;
}
