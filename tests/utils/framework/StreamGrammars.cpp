#include "StreamGrammars.h"

#include "rtl/RegularExpression.h"

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <cstdio>
#include <cstdlib>
#include <random>

using orvi::TORVIStreamedNode;
using orvi::TORVIStreamedNodeDefinition;
using rtl::UnicodeString;

namespace streamgrammars {

namespace {

std::string Utf8(rtl::UnicodeStringView text) {
    return rtl::StringToUtf8(text);
}

std::string Name(TORVIStreamedNodeDefinition* pDefinition) {
    return Utf8(pDefinition->Name());
}

// The five named entities and numeric character references, as an XML parser reads them.
std::string DecodeEntities(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t semi = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (semi == std::string::npos) {
            out += text[i];
            continue;
        }
        const std::string entity = text.substr(i + 1, semi - i - 1);
        std::string replacement;
        if (entity == "lt")
            replacement = "<";
        else if (entity == "gt")
            replacement = ">";
        else if (entity == "amp")
            replacement = "&";
        else if (entity == "quot")
            replacement = "\"";
        else if (entity == "apos")
            replacement = "'";
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const unsigned long code = std::strtoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
            UnicodeString units;
            if (code >= 0x10000) {
                units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
                units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                units += static_cast<char16_t>(code);
            }
            replacement = Utf8(units);
        } else {
            out += text[i];
            continue;
        }
        out += replacement;
        i = semi;
    }
    return out;
}

// Attribute values: entities decoded and white-space characters read as spaces.
std::string AttributeValue(const std::string& raw) {
    std::string value = DecodeEntities(raw);
    for (char& c : value)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return value;
}

std::string ElementOpenLine(const UnicodeString& open, std::string* pName) {
    static const rtl::TRegEx name(u"<([A-Za-z_][\\w.:-]*)");
    static const rtl::TRegEx attribute(u"([A-Za-z_][\\w.:-]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')");
    rtl::TRegExMatch m = name.Match(open);
    *pName = Utf8(m.Group(open, 1));
    std::string line = "open " + *pName;
    for (long at = m.Offset(0) + m.Length(0);;) {
        m = attribute.Match(open, at);
        if (!m.Success)
            break;
        const int group = m.Offset(2) >= 0 ? 2 : 3;
        line += " " + Utf8(m.Group(open, 1)) + "=" + AttributeValue(Utf8(m.Group(open, group)));
        at = m.Offset(0) + m.Length(0);
    }
    return line;
}

std::string Trimmed(const UnicodeString& text) {
    std::string s = Utf8(text);
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    const std::size_t last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

} // namespace

std::string NumberText(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// ---- TGrammar

TGrammar::TGrammar() : _pParser(rtl::Create<orvi::TORVIStreamParser>(nullptr)) {
    _pParser->SetNormalisedLineEnd(u"\n");
}

TGrammar::~TGrammar() {
    rtl::Free(_pParser);
}

bool TGrammar::Parse(const std::string& bytes, std::vector<std::string>* pEvents) {
    Reset();
    _pEvents = pEvents;
    _nClosed = 0;
    // Copied as bytes in one step, as a caller holding the document in memory would.
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    rtl::TMemoryStream* stream = rtl::Create<rtl::TMemoryStream>(rtl::TBytes(data, data + bytes.size()));
    const bool result = _pParser->ParseStream(stream, nullptr);
    rtl::Free(stream);
    _pEvents = nullptr;
    return result;
}

std::string TGrammar::ErrorMessage() const {
    return Utf8(_pParser->ErrorMessage());
}

void TGrammar::NodeOpened(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
    if (!_pEvents)
        return;
    std::string line = OpenLine(pSender, pNode);
    if (!line.empty())
        _pEvents->push_back(std::move(line));
}

void TGrammar::NodeClosed(TORVIStreamedNodeDefinition* pSender, TORVIStreamedNode* pNode) {
    ++_nClosed;
    if (_pEvents) {
        std::string line = CloseLine(pSender, pNode);
        if (!line.empty())
            _pEvents->push_back(std::move(line));
    }
    rtl::Free(pNode);
}

// ---- XML-like grammar

namespace {

const UnicodeString kXmlName = u"[A-Za-z_][\\w.:-]*";
const UnicodeString kXmlAttributes = u"((?:\\s+" + kXmlName + u"\\s*=\\s*(?:\"[^\"<]*\"|'[^'<]*'))*)";

} // namespace

TXmlGrammar::TXmlGrammar() {
    TORVIStreamedNodeDefinition* element = Add<TORVIStreamedNodeDefinition>();
    element->SetName(u"element");
    element->SetOpenMatch(u"\\s*<(" + kXmlName + u")" + kXmlAttributes + u"\\s*>");
    element->SetCloseMatch(u"</" + kXmlName + u"\\s*>");
    element->SetAllowedContentMatch(u"^[^<]+");
    element->SetAllowsContainedNodes(true);
    element->SetAllowsContainedText(true);
    element->SetCanBeRootNode(true);

    TORVIStreamedNodeDefinition* empty = Add<TORVIStreamedNodeDefinition>();
    empty->SetName(u"empty");
    empty->SetOpenMatch(u"\\s*<(" + kXmlName + u")" + kXmlAttributes + u"\\s*/>");
    empty->SetCanBeRootNode(true);

    TORVIStreamedNodeDefinition* comment = Add<TORVIStreamedNodeDefinition>();
    comment->SetName(u"comment");
    comment->SetOpenMatch(u"\\s*<!--");
    comment->SetCloseMatch(u"-->");
    comment->SetAllowedContentMatch(u"^.");
    comment->SetAllowsContainedText(true);
    comment->SetCanBeRootNode(true);

    TORVIStreamedNodeDefinition* cdata = Add<TORVIStreamedNodeDefinition>();
    cdata->SetName(u"cdata");
    cdata->SetOpenMatch(u"<!\\[CDATA\\[");
    cdata->SetCloseMatch(u"\\]\\]>");
    cdata->SetAllowedContentMatch(u"^.");
    cdata->SetAllowsContainedText(true);

    TORVIStreamedNodeDefinition* declaration = Add<TORVIStreamedNodeDefinition>();
    declaration->SetName(u"decl");
    declaration->SetOpenMatch(u"\\s*<\\?.*?\\?>");
    declaration->SetCanBeRootNode(true);
}

std::string TXmlGrammar::OpenLine(TORVIStreamedNodeDefinition* pDefinition, TORVIStreamedNode* pNode) {
    const std::string kind = Name(pDefinition);
    if (kind != "element" && kind != "empty")
        return "open " + kind;
    std::string name;
    std::string line = ElementOpenLine(pNode->Open(), &name);
    if (kind == "element")
        _names.push_back(name);
    return line;
}

std::string TXmlGrammar::CloseLine(TORVIStreamedNodeDefinition* pDefinition, TORVIStreamedNode* pNode) {
    const std::string kind = Name(pDefinition);
    if (kind == "decl")
        return "close decl";
    if (kind == "comment" || kind == "cdata")
        return "close " + kind + " " + Utf8(pNode->Content());
    std::string name;
    if (kind == "empty") {
        ElementOpenLine(pNode->Open(), &name);
        return "close " + name + " ";
    }
    static const rtl::TRegEx closeName(u"</([A-Za-z_][\\w.:-]*)");
    const rtl::TRegExMatch m = closeName.Match(pNode->Close());
    name = m.Success ? Utf8(m.Group(pNode->Close(), 1)) : std::string();
    const bool matches = !_names.empty() && _names.back() == name;
    if (!_names.empty())
        _names.pop_back();
    if (!matches)
        return "mismatch " + name;
    return "close " + name + " " + DecodeEntities(Utf8(pNode->Content()));
}

namespace {

void WalkXml(const pugi::xml_node& node, std::vector<std::string>& events) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
        case pugi::node_element: {
            std::string line = std::string("open ") + child.name();
            for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute())
                line += std::string(" ") + a.name() + "=" + a.value();
            events.push_back(line);
            WalkXml(child, events);
            std::string text;
            for (pugi::xml_node c = child.first_child(); c; c = c.next_sibling())
                if (c.type() == pugi::node_pcdata)
                    text += c.value();
            events.push_back(std::string("close ") + child.name() + " " + text);
            break;
        }
        case pugi::node_comment:
            events.push_back("open comment");
            events.push_back(std::string("close comment ") + child.value());
            break;
        case pugi::node_cdata:
            events.push_back("open cdata");
            events.push_back(std::string("close cdata ") + child.value());
            break;
        case pugi::node_declaration:
            events.push_back("open decl");
            events.push_back("close decl");
            break;
        default:
            break;
        }
    }
}

} // namespace

bool ReferenceXmlEvents(const std::string& document, std::vector<std::string>& events) {
    pugi::xml_document doc;
    const unsigned options =
        pugi::parse_default | pugi::parse_comments | pugi::parse_ws_pcdata | pugi::parse_declaration;
    if (!doc.load_buffer(document.data(), document.size(), options, pugi::encoding_auto))
        return false;
    WalkXml(doc, events);
    return true;
}

// ---- JSON-like grammar

TJsonGrammar::TJsonGrammar() {
    const auto container = [this](const char16_t* name, const char16_t* open, const char16_t* close) {
        TORVIStreamedNodeDefinition* definition = Add<TORVIStreamedNodeDefinition>();
        definition->SetName(name);
        definition->SetOpenMatch(open);
        definition->SetCloseMatch(close);
        definition->SetAllowedContentMatch(u"^[\\s,:]+");
        definition->SetAllowsContainedNodes(true);
        definition->SetAllowsContainedText(true);
        definition->SetCanBeRootNode(true);
    };
    container(u"object", u"\\s*\\{", u"\\}");
    container(u"array", u"\\s*\\[", u"\\]");

    TORVIStreamedNodeDefinition* string = Add<TORVIStreamedNodeDefinition>();
    string->SetName(u"string");
    string->SetOpenMatch(u"\\s*\"");
    string->SetCloseMatch(u"\"");
    string->SetAllowedContentMatch(u"^.");
    string->SetAllowsContainedText(true);
    string->SetEscapes(u"\\");
    string->SetOnHandleEscape(orvi::TORVIStreamParserEscapeEvent(this, &TJsonGrammar::HandleEscape));
    string->SetCanBeRootNode(true);

    // A number is open from its first digit and takes characters while they can still make one; the
    // first other character closes it and goes back to the container.
    TORVIStreamedNodeDefinition* number = Add<TORVIStreamedNodeDefinition>();
    number->SetName(u"number");
    number->SetOpenMatch(u"\\s*-?[0-9]");
    number->SetAllowedContentMatch(u"^[-+.0-9eE]+");
    number->SetAllowsContainedText(true);
    number->SetCanBeRootNode(true);

    TORVIStreamedNodeDefinition* literal = Add<TORVIStreamedNodeDefinition>();
    literal->SetName(u"literal");
    literal->SetOpenMatch(u"\\s*(?:true|false|null)");
    literal->SetCanBeRootNode(true);
}

// \uXXXX cannot become one character while the digits are still unread: it is kept as U+FFFF and
// the four digits, and read when the string closes.
char16_t TJsonGrammar::HandleEscape(TORVIStreamedNodeDefinition*, char16_t cEscaped) {
    switch (cEscaped) {
    case u'b':
        return u'\b';
    case u'f':
        return u'\f';
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    case u'u':
        return u'\xFFFF';
    default:
        return cEscaped;
    }
}

std::string TJsonGrammar::OpenLine(TORVIStreamedNodeDefinition* pDefinition, TORVIStreamedNode*) {
    const std::string kind = Name(pDefinition);
    if (kind == "object")
        return "{";
    if (kind == "array")
        return "[";
    return "open " + kind.substr(0, 1);
}

std::string TJsonGrammar::CloseLine(TORVIStreamedNodeDefinition* pDefinition, TORVIStreamedNode* pNode) {
    const std::string kind = Name(pDefinition);
    if (kind == "object")
        return "}";
    if (kind == "array")
        return "]";
    if (kind == "number")
        return "n " + NumberText(std::strtod(Trimmed(pNode->Text()).c_str(), nullptr));
    if (kind == "literal")
        return Trimmed(pNode->Open());
    UnicodeString text;
    const UnicodeString& content = pNode->Content();
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == u'\xFFFF' && i + 4 < content.size()) {
            text += static_cast<char16_t>(std::strtoul(Utf8(content.substr(i + 1, 4)).c_str(), nullptr, 16));
            i += 4;
        } else {
            text += content[i];
        }
    }
    return "s " + Utf8(text);
}

namespace {

class TJsonEvents : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit TJsonEvents(std::vector<std::string>& events) : _events(events) {}
    bool null() override { return Scalar("l", "null"); }
    bool boolean(bool value) override { return Scalar("l", value ? "true" : "false"); }
    bool number_integer(number_integer_t value) override {
        return Scalar("n", "n " + NumberText(static_cast<double>(value)));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Scalar("n", "n " + NumberText(static_cast<double>(value)));
    }
    bool number_float(number_float_t value, const string_t&) override {
        return Scalar("n", "n " + NumberText(value));
    }
    bool string(string_t& value) override { return Scalar("s", "s " + value); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return Push("{"); }
    bool key(string_t& value) override { return Scalar("s", "s " + value); }
    bool end_object() override { return Push("}"); }
    bool start_array(std::size_t) override { return Push("["); }
    bool end_array() override { return Push("]"); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    bool Push(std::string line) {
        _events.push_back(std::move(line));
        return true;
    }
    bool Scalar(const char* kind, std::string line) {
        _events.push_back(std::string("open ") + kind);
        return Push(std::move(line));
    }
    std::vector<std::string>& _events;
};

} // namespace

bool ReferenceJsonEvents(const std::string& document, std::vector<std::string>& events) {
    TJsonEvents handler(events);
    return nlohmann::json::sax_parse(document, &handler);
}

// ---- generated documents

namespace {

const char* const kNames[] = {"item", "name", "row", "x", "ns:value", "data-set", "_k", "Entry"};
const char* const kWords[] = {"alpha",
                              "beta",
                              "gamma &amp; delta",
                              "1 &lt; 2",
                              "caf\xC3\xA9",
                              ("\xE2\x82\xAC"
                               "5"),
                              "tab\there",
                              "a &#65;&#x42; c",
                              "quote&quot;s"};

struct TXmlWriter {
    std::mt19937 random;
    std::string out;
    std::size_t target;
    int Pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
    const char* Name() { return kNames[Pick(8)]; }
    void Space() {
        static const char* const spaces[] = {"", " ", "\n", "\r\n", "\n  ", "\r"};
        out += spaces[Pick(6)];
    }
    void Attribute(int index) {
        const bool dq = Pick(2) == 0;
        out += " a" + std::to_string(index) + "=" + (dq ? "\"" : "'") + kWords[Pick(5)] + (dq ? "\"" : "'");
    }
    void Element(int depth) {
        const char* name = Name();
        out += std::string("<") + name;
        for (int n = Pick(3), i = 0; i < n; ++i)
            Attribute(i);
        if (depth > 6 || Pick(8) == 0) {
            out += "/>";
            return;
        }
        out += ">";
        for (int children = Pick(depth == 0 ? 1000000 : 5); children > 0 && out.size() < target; --children) {
            switch (Pick(8)) {
            case 0:
                out += "<!-- note ";
                out += kWords[Pick(9)];
                out += " - - -->";
                break;
            case 1:
                out += "<![CDATA[raw <b> & ]] ";
                out += kWords[Pick(9)];
                out += "]]>";
                break;
            case 2:
            case 3:
                out += kWords[Pick(9)];
                break;
            default:
                Element(depth + 1);
            }
            Space();
        }
        out += std::string("</") + name + ">";
    }
};

} // namespace

std::string MakeXmlDocument(std::size_t nBytes, std::uint32_t nSeed) {
    TXmlWriter writer{std::mt19937(nSeed), {}, nBytes};
    writer.out = "<?xml version=\"1.0\"?>\n<!-- generated -->\n";
    writer.out.reserve(nBytes + 1024);
    writer.Element(0);
    writer.out += "\n";
    return writer.out;
}

namespace {

struct TJsonWriter {
    std::mt19937 random;
    std::string out;
    std::size_t target;
    int Pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
    void Space() {
        static const char* const spaces[] = {"", " ", "\n", "\r\n  ", "\t"};
        out += spaces[Pick(5)];
    }
    void String() {
        static const char* const texts[] = {
            "plain",       "with \\\"quotes\\\"", "back\\\\slash",  "line\\nbreak",
            "caf\xC3\xA9", "\\u00e9\\u20AC",      "\\ud83d\\ude00", "",
            "tab\\t/\\/"};
        out += "\"";
        out += texts[Pick(9)];
        out += "\"";
    }
    void Scalar() {
        static const char* const numbers[] = {"0",      "-1",   "42",          "3.25",
                                              "-0.5e3", "1E-2", "12345678901", "6.02e+23"};
        static const char* const literals[] = {"true", "false", "null"};
        switch (Pick(3)) {
        case 0:
            String();
            break;
        case 1:
            out += numbers[Pick(8)];
            break;
        default:
            out += literals[Pick(3)];
        }
    }
    void Value(int depth) {
        const int kind = depth > 6 ? 2 : Pick(depth == 0 ? 2 : 4);
        if (kind >= 2) {
            Scalar();
            return;
        }
        const bool object = kind == 0;
        out += object ? "{" : "[";
        const int count = depth == 0 ? 1000000 : Pick(5);
        for (int i = 0; i < count && out.size() < target; ++i) {
            if (i > 0)
                out += ",";
            Space();
            if (object) {
                String();
                Space();
                out += ":";
                Space();
            }
            Value(depth + 1);
            Space();
        }
        out += object ? "}" : "]";
    }
};

} // namespace

std::string MakeJsonDocument(std::size_t nBytes, std::uint32_t nSeed) {
    TJsonWriter writer{std::mt19937(nSeed), {}, nBytes};
    writer.out.reserve(nBytes + 1024);
    writer.Value(0);
    writer.out += "\n";
    return writer.out;
}

} // namespace streamgrammars
