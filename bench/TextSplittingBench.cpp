// Text-splitting benchmark, all figures from one run (processor time, best of the rounds):
//  - the tokeniser on a 1 MiB line of words, quoted phrases and separators, against a plain split of the
//    same text at the same separators (string_view scanning, no quotes): MB/s of both and their ratio;
//  - the node parser on nested bracket-and-quote texts of 0.1 MiB and 1 MiB: MB/s of both and the growth
//    of time with input (10x the input should cost at most 12x the time).
//   bench_text_splitting [--rounds N] [--check]
// With --check, exits 1 when the tokeniser runs below a third of the plain split's speed or the parser's
// time grows more than 12-fold.
#include "utils/text/ORVI.StringParser.h"
#include "utils/text/ORVI.StringTokeniser.h"

#include <malloc.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

using rtl::UnicodeString;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
const char16_t kSeparators[] = u" ,;";

UnicodeString Word(std::mt19937& rng) {
    UnicodeString w;
    for (std::size_t n = 3 + rng() % 6; n > 0; --n)
        w.push_back(static_cast<char16_t>(u'a' + rng() % 26));
    return w;
}

/// Words and quoted phrases joined by single or doubled separators, characters long.
UnicodeString TokenLine(std::size_t characters) {
    std::mt19937 rng(1);
    UnicodeString text;
    while (text.size() < characters) {
        if (rng() % 8 == 0)
            text += u"\"" + Word(rng) + u" " + Word(rng) + u", " + Word(rng) + u"\"";
        else
            text += Word(rng);
        text.push_back(kSeparators[rng() % 3]);
        if (rng() % 5 == 0)
            text.push_back(kSeparators[rng() % 3]);
    }
    text.resize(characters);
    return text;
}

/// Groups nested a few levels deep with quoted texts and separators, repeated to characters long.
UnicodeString NestedText(std::size_t characters) {
    std::mt19937 rng(2);
    UnicodeString text;
    int depth = 0;
    while (text.size() < characters) {
        switch (rng() % 6) {
        case 0: text += u"("; ++depth; break;
        case 1: if (depth > 0) { text += u")"; --depth; } break;
        case 2: text += u"\"" + Word(rng) + u" (" + Word(rng) + u")\""; break;
        case 3: text += u", "; break;
        default: text += Word(rng) + u" "; break;
        }
    }
    text.resize(characters);
    return text;
}

/// Processor time of this thread: the machine is shared, and wall-clock time would charge the longer
/// inputs for other programs' turns.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// The fastest of rounds timings of f; after() runs untimed after each.
template <class F, class G> double BestSeconds(int rounds, F f, G after) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const double start = ThreadSeconds();
        f();
        best = std::min(best, ThreadSeconds() - start);
        after();
    }
    return best;
}

template <class F> double BestSeconds(int rounds, F f) {
    return BestSeconds(rounds, f, [] {});
}

double MBps(std::size_t characters, double seconds) {
    return static_cast<double>(characters * sizeof(char16_t)) / seconds / 1e6;
}

std::size_t PlainSplit(std::u16string_view text, std::vector<std::u16string_view>& tokens) {
    tokens.clear();
    const std::u16string_view seps(kSeparators);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(seps, start), text.size());
        if (end > start)
            tokens.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return tokens.size();
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--check") == 0)
            check = true;
    }

    const UnicodeString line = TokenLine(kMiB / sizeof(char16_t));
    orvi::TORVIStringTokeniser tokeniser;
    tokeniser.SetSeparators(kSeparators);
    std::vector<std::u16string_view> views;
    std::size_t nTokens = 0, nViews = 0;
    const double tTokenise = BestSeconds(rounds, [&] { nTokens = tokeniser.Tokenise(line); });
    const double tSplit = BestSeconds(rounds, [&] { nViews = PlainSplit(line, views); });
    const double speedRatio = tSplit / tTokenise;
    std::printf("tokeniser    %8.1f MB/s  (%zu tokens)\n", MBps(line.size(), tTokenise), nTokens);
    std::printf("plain split  %8.1f MB/s  (%zu tokens)\n", MBps(line.size(), tSplit), nViews);
    std::printf("tokeniser speed / plain split speed: %.2f (floor 0.33)\n", speedRatio);

    orvi::TORVIStringParser parser;
    parser.AddBracketPair(u'(', u')');
    parser.AddQuotePair(u'"', u'"');
    parser.SetSeparators(u",");
    const UnicodeString small = NestedText(kMiB / 10 / sizeof(char16_t));
    const UnicodeString large = NestedText(kMiB / sizeof(char16_t));
    // Freed memory stays with the process between rounds: otherwise only the large input hands its pages
    // back to the system and pays to fault them in again every round, which is no cost of the parser.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    orvi::TORVIParsedNodeList out;
    const auto parse = [&](const UnicodeString& text) { parser.Parse(text, &out); };
    const auto clear = [&] { out.Clear(); };
    const double tSmall = BestSeconds(rounds, [&] { parse(small); }, clear);
    const double tLarge = BestSeconds(rounds, [&] { parse(large); }, clear);
    const double growth = tLarge / tSmall;
    std::printf("node parser  %8.1f MB/s on 0.1 MiB, %8.1f MB/s on 1 MiB\n", MBps(small.size(), tSmall),
                MBps(large.size(), tLarge));
    std::printf("node parser time, 1 MiB / 0.1 MiB: %.2f (ceiling 12)\n", growth);

    if (check && (speedRatio < 1.0 / 3 || growth > 12)) {
        std::printf("FAILED\n");
        return 1;
    }
    return 0;
}
