// Date texts: writing and reading each of the four forms (time per call), and reading the HTTP form
// against the C library's strptime + timegm on the same texts in the same run.
//   bench_date_utils [Google Benchmark flags] [--max-ratio R]
// Prints the processor-time ratio HTTP reading / strptime + timegm; with --max-ratio, exits 1 when
// the ratio exceeds R.
#include "utils/text/ORVI.DateUtils.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
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

// Shows every run as usual and keeps the processor time per call of each benchmark, for the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> CpuTimes;
    void ReportRuns(const std::vector<Run>& reports) override {
        // With repetitions the median stands for the benchmark: it is reported after the runs.
        for (const Run& run : reports)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                CpuTimes[run.run_name.str()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(reports);
    }
};

} // namespace

int main(int argc, char** argv) {
    double maxRatio = 0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--max-ratio=", 12) == 0)
            maxRatio = std::atof(argv[i] + 12);
        else if (std::strcmp(argv[i], "--max-ratio") == 0 && i + 1 < argc)
            maxRatio = std::atof(argv[++i]);
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ours = reporter.CpuTimes.find("Read/HTTP");
    const auto peer = reporter.CpuTimes.find("Read/HTTP/strptime+timegm");
    if (ours == reporter.CpuTimes.end() || peer == reporter.CpuTimes.end() || peer->second <= 0)
        return 0;
    const double ratio = ours->second / peer->second;
    std::printf("ratio HTTP reading / strptime+timegm: %.2f processor time\n", ratio);
    return maxRatio > 0 && ratio > maxRatio ? 1 : 0;
}
