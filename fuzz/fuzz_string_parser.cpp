// Fuzzes the node parser: the first byte holds the options and the sizes of the character sets, whose
// characters follow (one byte each); the rest is the text, one byte a character, with 0xFF 0xXX 0xYY
// standing for the wide character 0xXXYY. Every node of the tree is visited without recursion.
#include "utils/text/ORVI.StringParser.h"

#include <cstdint>
#include <vector>

namespace {

rtl::UnicodeString Text(const std::uint8_t* data, std::size_t size) {
    rtl::UnicodeString out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 2 < size) {
            out.push_back(static_cast<char16_t>(data[i + 1] << 8 | data[i + 2]));
            i += 2;
        } else {
            out.push_back(data[i]);
        }
    }
    return out;
}

std::size_t CountNodes(orvi::TORVIParsedNodeList* top) {
    std::size_t count = 0;
    std::vector<orvi::TORVIParsedNodeList*> lists{top};
    while (!lists.empty()) {
        orvi::TORVIParsedNodeList* list = lists.back();
        lists.pop_back();
        for (int i = 0; i < list->Count(); ++i, ++count) {
            orvi::TORVIParsedNode* node = list->Items(i);
            if (auto* contents = dynamic_cast<orvi::TORVIContentsNode*>(node))
                lists.push_back(contents->ContentNodes());
            else if (auto* text = dynamic_cast<orvi::TORVITextNode*>(node))
                (void)text->TextContent();
        }
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t head = data[0];
    const std::uint8_t sizes = data[1];
    data += 2;
    size -= 2;
    const auto take = [&](std::size_t n) {
        rtl::UnicodeString out;
        for (; n > 0 && size > 0; --n, ++data, --size)
            out.push_back(*data);
        return out;
    };
    orvi::TORVIStringParser parser;
    parser.SetIgnoreWhitespace(head & 1);
    if (head & 2)
        parser.SetWhitespace(take(sizes & 3));
    parser.SetSeparators(take(sizes >> 2 & 3));
    parser.SetEscapes(take(sizes >> 4 & 1));
    for (int pairs = sizes >> 5 & 3; pairs > 0; --pairs) {
        const rtl::UnicodeString pair = take(2);
        if (pair.size() == 2)
            parser.AddQuotePair(pair[0], pair[1]);
    }
    for (int pairs = (head >> 2 & 3) + 1; pairs > 0; --pairs) {
        const rtl::UnicodeString pair = take(2);
        if (pair.size() == 2)
            parser.AddBracketPair(pair[0], pair[1]);
    }
    if (head & 16) {
        const rtl::UnicodeString pair = take(2);
        if (pair.size() == 2)
            parser.RemoveQuotePair(pair[0], pair[1]);
    }
    orvi::TORVIParsedNodeList out;
    parser.Parse(Text(data, size), &out);
    CountNodes(&out);
    return 0;
}
