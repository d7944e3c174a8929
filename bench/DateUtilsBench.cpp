// Date texts: writing and reading each of the four forms (time per call), and reading the HTTP form
// against the C library's strptime + timegm on the same texts in the same run.
//   bench_date_utils [--check] [Google Benchmark flags]
// Runs interleaved and prints the processor-time ratio HTTP reading / strptime + timegm (BenchRatios.h);
// with --check, exits 1 when HTTP reading is not ahead of its peer.
#include "utils/text/ORVI.DateUtils.h"

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

using rtl::TDateTime;
using rtl::UnicodeString;

constexpr std::size_t kSamples = 1024;

// Whole-second moments spread over 1970 to 2037, where the C library's time_t is exact everywhere.
const std::vector<TDateTime>& Moments() {
    static const std::vector<TDateTime> moments = [] {
        std::mt19937_64 random(5322);
        std::uniform_int_distribution<std::int64_t> seconds(0, 2100000000LL);
        std::vector<TDateTime> result;
        for (std::size_t i = 0; i < kSamples; ++i)
            result.push_back(rtl::UnixToDateTime(seconds(random)));
        return result;
    }();
    return moments;
}

template <UnicodeString (*Write)(TDateTime)> const std::vector<UnicodeString>& Texts() {
    static const std::vector<UnicodeString> texts = [] {
        std::vector<UnicodeString> result;
        for (const TDateTime moment : Moments())
            result.push_back(Write(moment));
        return result;
    }();
    return texts;
}

template <UnicodeString (*Write)(TDateTime)> void BM_Write(benchmark::State& state) {
    const std::vector<TDateTime>& moments = Moments();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Write(moments[i]));
        i = (i + 1) % kSamples;
    }
}

template <UnicodeString (*Write)(TDateTime), TDateTime (*Read)(const UnicodeString&)>
void BM_Read(benchmark::State& state) {
    const std::vector<UnicodeString>& texts = Texts<Write>();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Read(texts[i]));
        i = (i + 1) % kSamples;
    }
}

// The peer: the C library's parse of the same HTTP texts (as 8-bit text) and its UTC conversion.
void BM_ReadHTTP_strptime_timegm(benchmark::State& state) {
    std::vector<std::string> texts;
    for (const UnicodeString& text : Texts<&orvi::GMTimeToHTTPDate>())
        texts.push_back(rtl::StringToUtf8(text));
    std::size_t i = 0;
    for (auto _ : state) {
        std::tm tm{};
        if (strptime(texts[i].c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm) == nullptr)
            state.SkipWithError("strptime refused a text");
        benchmark::DoNotOptimize(timegm(&tm));
        i = (i + 1) % kSamples;
    }
}

using namespace orvi;
BENCHMARK(BM_Write<&GMTimeToHTTPDate>)->Name("Write/HTTP");
BENCHMARK(BM_Write<&GMTimeToRFC822Date>)->Name("Write/RFC822");
BENCHMARK(BM_Write<&GMTimeToRFC5322Date>)->Name("Write/RFC5322");
BENCHMARK(BM_Write<&GMTimeToXMLDate>)->Name("Write/XML");
BENCHMARK(BM_Read<&GMTimeToHTTPDate, &HTTPDateToGMTime>)->Name("Read/HTTP");
BENCHMARK(BM_Read<&GMTimeToRFC822Date, &RFC822DateToGMTime>)->Name("Read/RFC822");
BENCHMARK(BM_Read<&GMTimeToRFC5322Date, &RFC5322DateToGMTime>)->Name("Read/RFC5322");
BENCHMARK(BM_Read<&GMTimeToXMLDate, &XMLDateToGMTime>)->Name("Read/XML");
BENCHMARK(BM_ReadHTTP_strptime_timegm)->Name("Read/HTTP/strptime+timegm");

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithRatios(
        argc, argv, {{"HTTP reading / strptime + timegm", "Read/HTTP", "Read/HTTP/strptime+timegm", 1}});
}
