// The stream parser with its two test grammars on generated documents of 100 KiB, 1 MiB and 10 MiB:
// the XML-like grammar against pugixml's load_buffer and the JSON-like grammar against nlohmann-json's
// SAX parser, on the same documents in the same run. Project and peer runs are interleaved in random
// order over several repetitions (processor time), and every run starts from the same heap state, so
// a figure does not depend on what ran before it. After the table it prints, per size, the median
// ratio of project to peer time with its spread over the repetitions, and how the time grows with the
// input.
//   --check   also fails (exit 1) unless the 1 MiB median ratios are within the goals below.
#include "BenchRatios.h"
#include "utils/framework/StreamGrammars.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kSizes[] = {100 << 10, 1 << 20, 10 << 20};
constexpr double kXmlGoal = 8.0;  // stream parser / pugixml, 1 MiB
constexpr double kJsonGoal = 2.5; // stream parser / nlohmann SAX, 1 MiB

const std::string& Document(bool blJson, std::int64_t nBytes) {
    static std::map<std::pair<bool, std::int64_t>, std::string> s_documents;
    std::string& document = s_documents[{blJson, nBytes}];
    if (document.empty())
        document = blJson ? streamgrammars::MakeJsonDocument(static_cast<std::size_t>(nBytes), 2024)
                          : streamgrammars::MakeXmlDocument(static_cast<std::size_t>(nBytes), 2024);
    return document;
}

// Freed memory stays with the process and large blocks come from the heap, not from fresh mappings:
// without this, a run pays page faults for whatever the previous run gave back to the system.
void SettleHeap() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest threshold the allocator takes
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 16 << 20);
    // Warm the arena to beyond the largest document's needs on either side, then give it back to
    // the heap (which keeps it).
    std::vector<std::vector<char>> warm;
    for (int i = 0; i < 24; ++i) {
        warm.emplace_back(std::size_t{16} << 20, '\1');
        benchmark::DoNotOptimize(warm.back().data());
    }
}

template <class TGrammar> void Project(benchmark::State& state, bool blJson) {
    const std::string& document = Document(blJson, state.range(0));
    TGrammar grammar;
    for (auto _ : state) {
        if (!grammar.Parse(document))
            state.SkipWithError("the stream parser refused the document");
        benchmark::DoNotOptimize(grammar.ClosedNodes());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.size()));
}

void StreamParser_Xml(benchmark::State& state) {
    Project<streamgrammars::TXmlGrammar>(state, false);
}

void StreamParser_Json(benchmark::State& state) {
    Project<streamgrammars::TJsonGrammar>(state, true);
}

void Pugixml(benchmark::State& state) {
    const std::string& document = Document(false, state.range(0));
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

// Counts the events, as the stream parser's handlers see each node.
struct TCountingSax : nlohmann::json_sax<nlohmann::json> {
    std::size_t nEvents = 0;
    bool null() override { return ++nEvents; }
    bool boolean(bool) override { return ++nEvents; }
    bool number_integer(number_integer_t) override { return ++nEvents; }
    bool number_unsigned(number_unsigned_t) override { return ++nEvents; }
    bool number_float(number_float_t, const string_t&) override { return ++nEvents; }
    bool string(string_t&) override { return ++nEvents; }
    bool binary(binary_t&) override { return ++nEvents; }
    bool start_object(std::size_t) override { return ++nEvents; }
    bool key(string_t&) override { return ++nEvents; }
    bool end_object() override { return ++nEvents; }
    bool start_array(std::size_t) override { return ++nEvents; }
    bool end_array() override { return ++nEvents; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }
};

void NlohmannSax(benchmark::State& state) {
    const std::string& document = Document(true, state.range(0));
    for (auto _ : state) {
        TCountingSax sax;
        if (!nlohmann::json::sax_parse(document, &sax))
            state.SkipWithError("nlohmann-json refused the document");
        benchmark::DoNotOptimize(sax.nEvents);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.size()));
}

#define SIZES Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond)
BENCHMARK(StreamParser_Xml)->SIZES;
BENCHMARK(Pugixml)->SIZES;
BENCHMARK(StreamParser_Json)->SIZES;
BENCHMARK(NlohmannSax)->SIZES;

/// The console table, plus each repetition's processor time per iteration (seconds), by run name.
class TFiguresReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                _times[run.run_name.str()].push_back(run.GetAdjustedCPUTime() / 1e3);
    }
    std::vector<double> Times(const std::string& name) const {
        const auto it = _times.find(name);
        return it == _times.end() ? std::vector<double>() : it->second;
    }

private:
    std::map<std::string, std::vector<double>> _times;
};

using bench::Median;

struct TRatio {
    double median = 0, low = 0, high = 0;
    bool known = false;
};

// Each project repetition against each peer repetition: the ratios' median and their spread.
TRatio Ratio(const std::vector<double>& ours, const std::vector<double>& peer) {
    std::vector<double> ratios;
    for (const double a : ours)
        for (const double b : peer)
            if (a > 0 && b > 0)
                ratios.push_back(a / b);
    TRatio ratio;
    if (ratios.empty())
        return ratio;
    ratio.known = true;
    ratio.median = Median(ratios);
    ratio.low = *std::min_element(ratios.begin(), ratios.end());
    ratio.high = *std::max_element(ratios.begin(), ratios.end());
    return ratio;
}

// Prints the comparison of one grammar; answers the 1 MiB ratio.
TRatio PrintComparison(const TFiguresReporter& reporter, const char* ours, const char* peer, bool blJson) {
    std::printf("\n%-10s %12s %12s %22s   (%s / %s)\n", "size", "ours MB/s", "peer MB/s", "time ratio (spread)",
                ours, peer);
    TRatio result;
    for (const std::int64_t size : kSizes) {
        const std::string arg = "/" + std::to_string(size);
        const std::vector<double> a = reporter.Times(ours + arg), b = reporter.Times(peer + arg);
        const TRatio ratio = Ratio(a, b);
        if (!ratio.known)
            continue;
        const double mb = static_cast<double>(Document(blJson, size).size()) / 1e6;
        std::printf("%-10lld %12.2f %12.2f %8.2f (%.2f-%.2f)\n", static_cast<long long>(size), mb / Median(a),
                    mb / Median(b), ratio.median, ratio.low, ratio.high);
        if (size == kSizes[1])
            result = ratio;
    }
    for (int i = 0; i + 1 < 3; ++i) {
        const double small = Median(reporter.Times(std::string(ours) + "/" + std::to_string(kSizes[i])));
        const double large = Median(reporter.Times(std::string(ours) + "/" + std::to_string(kSizes[i + 1])));
        if (small > 0 && large > 0)
            std::printf("time(%lld) / time(%lld) = %.2f for %.2fx the bytes\n",
                        static_cast<long long>(kSizes[i + 1]), static_cast<long long>(kSizes[i]), large / small,
                        static_cast<double>(Document(blJson, kSizes[i + 1]).size()) /
                            static_cast<double>(Document(blJson, kSizes[i]).size()));
    }
    return result;
}

bool WithinGoal(const char* what, const TRatio& ratio, double goal) {
    if (!ratio.known) {
        std::printf("check %s: not measured at 1 MiB\n", what);
        return false;
    }
    const bool ok = ratio.median <= goal;
    std::printf("check %s: median ratio %.2f, goal <= %.2f: %s\n", what, ratio.median, goal, ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    bool blCheck = false;
    if (!bench::InitializeInterleaved(argc, argv, 5, blCheck))
        return 1;
    for (const bool blJson : {false, true})
        for (const std::int64_t size : kSizes)
            Document(blJson, size);
    SettleHeap();
    TFiguresReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const TRatio xml = PrintComparison(reporter, "StreamParser_Xml", "Pugixml", false);
    const TRatio json = PrintComparison(reporter, "StreamParser_Json", "NlohmannSax", true);
    benchmark::Shutdown();
    if (!blCheck)
        return 0;
    const bool xmlOk = WithinGoal("XML-like grammar vs pugixml", xml, kXmlGoal);
    const bool jsonOk = WithinGoal("JSON-like grammar vs nlohmann SAX", json, kJsonGoal);
    return xmlOk && jsonOk ? 0 : 1;
}
