// The Windows command lines of Shell.h: text only, the same on every platform.
#include "rtl/Shell.h"

namespace rtl {

namespace {

// Blanks that end an unquoted argument, for CommandLineToArgvW and SplitCommandLine alike.
bool NeedsQuotes(UnicodeStringView arg) {
    return arg.empty() || arg.find_first_of(u" \t\n\r\v\"") != UnicodeStringView::npos;
}

} // namespace

std::vector<UnicodeString> SplitCommandLine(UnicodeStringView commandLine) {
    std::vector<UnicodeString> args;
    size_t i = 0;
    const size_t n = commandLine.size();
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    while (i < n) {
        while (i < n && blank(commandLine[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        UnicodeString arg;
        bool quoted = false;
        while (i < n && (quoted || !blank(commandLine[i]))) {
            size_t slashes = 0;
            while (i < n && commandLine[i] == u'\\') {
                ++slashes;
                ++i;
            }
            if (i < n && commandLine[i] == u'"') {
                // 2n backslashes and a quote: n backslashes and a quote mark; 2n+1: n and a literal quote.
                arg.append(slashes / 2, u'\\');
                if (slashes % 2 == 1) {
                    arg += u'"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == u'"') {
                    arg += u'"'; // "" inside quotes is a literal quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, u'\\');
                if (i < n && (quoted || !blank(commandLine[i]))) {
                    arg += commandLine[i++];
                }
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

UnicodeString QuoteCommandLineArgument(UnicodeStringView arg) {
    UnicodeString quoted(1, u'"');
    size_t slashes = 0;
    for (const char16_t c : arg) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them: then each is doubled and the quote escaped.
        quoted.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
        quoted += c;
        slashes = 0;
    }
    quoted.append(slashes * 2, u'\\'); // before the closing quote
    quoted += u'"';
    return quoted;
}

UnicodeString BuildCommandLine(const std::vector<UnicodeString>& args) {
    UnicodeString line;
    for (const UnicodeString& arg : args) {
        if (!line.empty()) {
            line += u' ';
        }
        line += NeedsQuotes(arg) ? QuoteCommandLineArgument(arg) : arg;
    }
    return line;
}

} // namespace rtl
