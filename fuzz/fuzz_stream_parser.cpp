// Fuzzes the stream parser with the two test grammars. The first byte chooses the grammar (bit 0), a
// byte-order mark to put in front (bits 1-2: none, UTF-8, UTF-16 LE, UTF-16 BE) and the line end the
// parser normalises to (bit 3: LF or CR LF); the rest is the stream, bytes as they come, so broken
// sequences, unpaired surrogates, mixed line ends and deep nesting all reach the parser. Every parse
// must answer true, or false with a message of one of the parser's forms.
#include "utils/framework/StreamGrammars.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool KnownMessage(const std::string& message) {
    if (message == "Unclosed nodes at end of stream")
        return true;
    if (!StartsWith(message, "Stream Error ") && !StartsWith(message, "Unexpected Error "))
        return false;
    return message.find(" near line ") != std::string::npos &&
           message.find(" (Next characters: ") != std::string::npos && message.back() == ')';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    static streamgrammars::TXmlGrammar xml;
    static streamgrammars::TJsonGrammar json;
    const std::uint8_t head = data[0];
    streamgrammars::TGrammar& grammar = (head & 1) ? static_cast<streamgrammars::TGrammar&>(json) : xml;
    static const char* const marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    std::string bytes = marks[head >> 1 & 3];
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
    grammar.Parser()->SetNormalisedLineEnd(head & 8 ? u"\r\n" : u"\n");
    if (!grammar.Parse(bytes) && !KnownMessage(grammar.ErrorMessage()))
        std::abort();
    if (grammar.Parser()->CurrentNode() != nullptr || grammar.Parser()->CurrentStream() != nullptr)
        std::abort();
    return 0;
}
