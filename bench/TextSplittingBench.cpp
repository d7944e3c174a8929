// Text-splitting benchmark, all figures from one run (processor time):
//  - the tokeniser on a 1 MiB line of words, quoted phrases and separators, against a quote-aware split
//    of the same text into strings that yields the same tokens (checked once, before timing); the two
//    take turns round by round: MB/s of both and the median of the rounds' time ratios;
//  - the node parser on nested bracket-and-quote texts of 0.1 MiB and 1 MiB (best of the rounds): MB/s
//    of both and the growth of time with input (10x the input should cost at most 12x the time).
//   bench_text_splitting [--rounds N] [--check]
// With --check, exits 1 when the tokeniser takes more than kMaxTokeniserRatio times the split's time or
// the parser's time grows more than 12-fold.
#include "utils/text/ORVI.StringParser.h"
#include "utils/text/ORVI.StringTokeniser.h"

#include <malloc.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using rtl::UnicodeString;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
const char16_t kSeparators[] = u" ,;";
constexpr double kMaxTokeniserRatio = 3; // the split keeps to the same tokens but needs no token list

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

/// The peer: a quote-aware split with the tokeniser's settings here (separators " ,;", the double quote
/// opening a quoted part at a token's start and closing it, quotes removed, empty tokens dropped), into
/// strings of its own that keep their storage from call to call. Returns the number of tokens.
std::size_t QuoteAwareSplit(std::u16string_view text, std::vector<std::u16string>& tokens) {
    const std::u16string_view special(u" ,;\"");
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (count == tokens.size())
            tokens.emplace_back();
        std::u16string& token = tokens[count];
        token.clear();
        while (i < text.size()) {
            const std::size_t stop = std::min(text.find_first_of(special, i), text.size());
            token.append(text.substr(i, stop - i));
            i = stop;
            if (i == text.size())
                break;
            if (text[i++] != u'"')
                break; // a separator
            if (!token.empty()) {
                token.push_back(u'"'); // inside a token a quote is a character like any other
                continue;
            }
            const std::size_t close = std::min(text.find(u'"', i), text.size());
            token.append(text.substr(i, close - i));
            i = std::min(close + 1, text.size());
        }
        if (!token.empty())
            ++count;
    }
    return count;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
    std::vector<std::u16string> peerTokens;
    const std::size_t nTokens = static_cast<std::size_t>(tokeniser.Tokenise(line));
    const std::size_t nPeer = QuoteAwareSplit(line, peerTokens);
    for (std::size_t i = 0; i < std::max(nTokens, nPeer); ++i) {
        if (i >= nTokens || i >= nPeer || tokeniser.Token(static_cast<int>(i)) != peerTokens[i]) {
            std::printf("the tokeniser and the quote-aware split disagree at token %zu\n", i);
            return 1;
        }
    }
    // Alternating rounds, each side first in every other round; the ratio is taken round by round.
    std::vector<double> tTokenise, tSplit, ratios;
    for (int r = 0; r < rounds; ++r) {
        const auto tokenise = [&] { return BestSeconds(1, [&] { tokeniser.Tokenise(line); }); };
        const auto split = [&] { return BestSeconds(1, [&] { QuoteAwareSplit(line, peerTokens); }); };
        if (r % 2 == 0) {
            tTokenise.push_back(tokenise());
            tSplit.push_back(split());
        } else {
            tSplit.push_back(split());
            tTokenise.push_back(tokenise());
        }
        ratios.push_back(tTokenise.back() / tSplit.back());
    }
    const double timeRatio = Median(ratios);
    std::printf("tokeniser          %8.1f MB/s median  (%zu tokens)\n", MBps(line.size(), Median(tTokenise)),
                nTokens);
    std::printf("quote-aware split  %8.1f MB/s median  (the same tokens)\n", MBps(line.size(), Median(tSplit)));
    std::printf("tokeniser time / quote-aware split time: %.2f median of %d rounds (%.2f-%.2f; ceiling %.2f)\n",
                timeRatio, rounds, *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), kMaxTokeniserRatio);

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

    if (check && (timeRatio > kMaxTokeniserRatio || growth > 12)) {
        std::printf("FAILED\n");
        return 1;
    }
    return 0;
}
