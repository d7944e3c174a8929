// Fuzzes the string tokeniser: the first byte sets the options, the next four give the lengths of the
// separator, open-quote, close-quote and escape sets, whose characters follow; the rest is the text
// (two bytes a character). Checks that the escaped and quoted form of the text tokenises back to it
// whenever the sets are disjoint, there is an escape character and quotes are removed.
#include "utils/text/ORVI.StringTokeniser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

rtl::UnicodeString Take(const std::uint8_t*& data, std::size_t& size, std::size_t characters) {
    rtl::UnicodeString out;
    for (; characters > 0 && size >= 2; --characters, data += 2, size -= 2)
        out.push_back(static_cast<char16_t>(data[0] | data[1] << 8));
    return out;
}

bool Disjoint(const rtl::UnicodeString& a, const rtl::UnicodeString& b) {
    return std::none_of(a.begin(), a.end(), [&](char16_t c) { return b.find(c) != rtl::UnicodeString::npos; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t lengths[4] = {data[1], data[2], data[3], data[4]};
    data += 5;
    size -= 5;
    orvi::TORVIStringTokeniser t(true);
    t.SetIgnoreEmptyTokens(options & 1);
    t.SetRemoveEnclosingQuotes(options & 2);
    t.SetAllowEmbeddedQuotes(options & 4);
    const rtl::UnicodeString seps = Take(data, size, lengths[0] % 5);
    const rtl::UnicodeString opens = Take(data, size, lengths[1] % 4);
    const rtl::UnicodeString closes = Take(data, size, lengths[2] % 4);
    const rtl::UnicodeString escapes = Take(data, size, lengths[3] % 3);
    t.SetSeparators(seps);
    t.SetOpenQuotes(opens);
    t.SetCloseQuotes(closes);
    t.SetEscapes(escapes);
    const rtl::UnicodeString text = Take(data, size, size / 2);
    const int n = t.Tokenise(text);
    for (int i = 0; i < n; ++i)
        (void)t.Token(i).size();
    rtl::UnicodeString value;
    t.ValueForName(u"a", value);

    const rtl::UnicodeString escaped = t.EscapeAndQuote(text);
    const bool disjoint = Disjoint(seps, opens) && Disjoint(seps, closes) && Disjoint(seps, escapes) &&
                          Disjoint(opens, closes) && Disjoint(opens, escapes) && Disjoint(closes, escapes);
    if (disjoint && !escapes.empty() && !opens.empty() && !closes.empty() && t.RemoveEnclosingQuotes() &&
        !text.empty() && (t.Tokenise(escaped) != 1 || t.Token(0) != text))
        std::abort();
    return 0;
}
