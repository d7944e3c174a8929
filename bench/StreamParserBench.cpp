// The stream parser with the XML-like test grammar on generated documents of 100 KiB, 1 MiB and 10 MiB,
// against pugixml parsing the same documents in the same run. After the usual table it prints the
// throughput, the time ratio to pugixml and how the time grows with the input (10x the input should
// cost at most 12x the time). Use --benchmark_repetitions=3 on a busy machine: the figures then use
// the medians.
#include "utils/framework/StreamGrammars.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <string>

namespace {

const std::string& Document(std::int64_t nBytes) {
    static std::map<std::int64_t, std::string> s_documents;
    std::string& document = s_documents[nBytes];
    if (document.empty())
        document = streamgrammars::MakeXmlDocument(static_cast<std::size_t>(nBytes), 2024);
    return document;
}

void StreamParser_Xml(benchmark::State& state) {
    const std::string& document = Document(state.range(0));
    streamgrammars::TXmlGrammar grammar;
    for (auto _ : state) {
        if (!grammar.Parse(document))
            state.SkipWithError("the stream parser refused the document");
        benchmark::DoNotOptimize(grammar.ClosedNodes());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.size()));
}

void Pugixml(benchmark::State& state) {
    const std::string& document = Document(state.range(0));
    const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_ws_pcdata;
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_buffer(document.data(), document.size(), options))
            state.SkipWithError("pugixml refused the document");
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.size()));
}

constexpr std::int64_t kSizes[] = {100 << 10, 1 << 20, 10 << 20};

BENCHMARK(StreamParser_Xml)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond);
BENCHMARK(Pugixml)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond);

/// The console table, plus each run's time per iteration (in seconds) kept for the figures.
class TFiguresReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const double seconds = run.GetAdjustedCPUTime() / 1e3; // processor time, in milliseconds
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                _times[run.run_name.str()] = seconds;
            else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && run.repetitions <= 1)
                _times[run.benchmark_name()] = seconds;
        }
    }
    double Time(const std::string& name) const {
        const auto it = _times.find(name);
        return it == _times.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> _times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TFiguresReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %14s %14s %16s\n", "size", "ours MB/s", "pugixml MB/s", "ours/pugixml time");
    for (const std::int64_t size : kSizes) {
        const std::string arg = "/" + std::to_string(size);
        const double ours = reporter.Time("StreamParser_Xml" + arg), peer = reporter.Time("Pugixml" + arg);
        if (ours <= 0 || peer <= 0)
            continue;
        const double mb = static_cast<double>(Document(size).size()) / 1e6;
        std::printf("%-10lld %14.2f %14.2f %16.1f\n", static_cast<long long>(size), mb / ours, mb / peer,
                    ours / peer);
    }
    for (int i = 0; i + 1 < 3; ++i) {
        const double small = reporter.Time("StreamParser_Xml/" + std::to_string(kSizes[i]));
        const double large = reporter.Time("StreamParser_Xml/" + std::to_string(kSizes[i + 1]));
        if (small > 0 && large > 0)
            std::printf("time(%lld) / time(%lld) = %.2f for %.2fx the bytes\n",
                        static_cast<long long>(kSizes[i + 1]), static_cast<long long>(kSizes[i]),
                        large / small,
                        static_cast<double>(Document(kSizes[i + 1]).size()) /
                            static_cast<double>(Document(kSizes[i]).size()));
    }
    benchmark::Shutdown();
    return 0;
}
