#pragma once
// Google Benchmark runs of project code against its peers, interleaved: unless the command line says
// otherwise, every benchmark runs in 9 repetitions in random interleaved order, so that project and
// peer share whatever else the machine is doing. After the table each ratio, project time / peer time
// (processor time per iteration; below 1 is faster), is printed as the median of the repetitions'
// ratios (repetition i of one side against repetition i of the other) with their spread. With
// --check the program exits 1 when a ratio with a limit is above it: ratios, never absolute times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct TRatio {
    std::string What;
    std::string Ours; // benchmark names as the table shows them, without repetition suffixes
    std::string Peer;
    double Max = 0; // --check fails above it; 0: informative only
};

/// The console table, plus every repetition's processor time per iteration, by benchmark.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                _times[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
        }
    }

    /// Per-repetition ratios ours / peer; empty when either did not run.
    std::vector<double> Ratios(const TRatio& ratio) const {
        const auto o = _times.find(ratio.Ours), p = _times.find(ratio.Peer);
        std::vector<double> result;
        if (o == _times.end() || p == _times.end())
            return result;
        for (std::size_t i = 0; i < std::min(o->second.size(), p->second.size()); ++i)
            result.push_back(o->second[i] / p->second[i]);
        return result;
    }

private:
    std::map<std::string, std::vector<double>> _times;
};

inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline bool HasFlag(const std::vector<char*>& args, const char* szPrefix) {
    return std::any_of(args.begin(), args.end(), [szPrefix](const char* a) {
        return std::strncmp(a, szPrefix, std::strlen(szPrefix)) == 0;
    });
}

/// Takes our own --check out of the command line (blCheck says whether it was there), adds interleaved
/// repetitions unless the caller chose otherwise, and hands the rest to Google Benchmark. False when
/// an argument is unknown.
inline bool InitializeInterleaved(int argc, char** argv, int repetitions, bool& blCheck) {
    blCheck = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            blCheck = true;
        else
            args.push_back(argv[i]);
    }
    std::string szRepetitions = "--benchmark_repetitions=" + std::to_string(repetitions);
    static char szInterleave[] = "--benchmark_enable_random_interleaving=true";
    if (!HasFlag(args, "--benchmark_repetitions"))
        args.push_back(szRepetitions.data());
    if (!HasFlag(args, "--benchmark_enable_random_interleaving"))
        args.push_back(szInterleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

/// Runs the benchmarks the command line selects and prints the ratios; returns the exit code.
inline int RunWithRatios(int argc, char** argv, const std::vector<TRatio>& ratios) {
    bool blCheck = false;
    if (!InitializeInterleaved(argc, argv, 9, blCheck))
        return 2;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    bool blFailed = false;
    std::printf("\nRatios, project / peer processor time (median of the repetitions, spread min-max):\n");
    for (const TRatio& ratio : ratios) {
        const std::vector<double> each = reporter.Ratios(ratio);
        if (each.empty())
            continue;
        const double median = Median(each);
        const auto [lo, hi] = std::minmax_element(each.begin(), each.end());
        const bool blOver = ratio.Max > 0 && median > ratio.Max;
        blFailed = blFailed || blOver;
        std::printf("  %-44s %6.3f  (%.3f-%.3f, %zu)", ratio.What.c_str(), median, *lo, *hi, each.size());
        if (ratio.Max > 0)
            std::printf("  limit %.2f%s", ratio.Max, blOver ? "  OVER" : "");
        std::printf("\n");
    }
    if (blCheck && blFailed) {
        std::printf("FAILED\n");
        return 1;
    }
    return 0;
}

} // namespace bench
