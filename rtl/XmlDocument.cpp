#include "rtl/XmlDocument.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <pugixml.hpp>
#include <string>

namespace rtl {

namespace {

// Larger files are refused: the documents the product reads are a few KiB.
constexpr std::int64_t MaxXmlFileSize = 4 * 1024 * 1024;
// Limits on the shape of a document, checked before the parser builds it: a small file of many
// tiny elements, or of deep nesting, would otherwise cost far more memory than its size.
constexpr int MaxXmlDepth = 256;
constexpr std::size_t MaxXmlNodes = 1000000;

// Windows-1252 0x80..0x9F; the five undefined codes keep their own value.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class TSourceEncoding { Auto, Utf8, Latin1, Cp1252, Unsupported };

pugi::xml_node_struct* Raw(void* p) {
    return static_cast<pugi::xml_node_struct*>(p);
}

pugi::xml_node Node(void* p) {
    return pugi::xml_node(Raw(p));
}

bool IsText(const pugi::xml_node& n) {
    return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
}

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return r;
}

// The encoding named in an ASCII-compatible XML declaration, as written; empty when none is named.
std::string_view DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml") {
        return {};
    }
    // The declaration ends at the first "?>"; it is found by its '>', which memchr finds quickly.
    size_t close = bytes.find('>');
    while (close != std::string_view::npos && bytes[close - 1] != '?') {
        close = bytes.find('>', close + 1);
    }
    std::string_view decl = bytes.substr(0, close == std::string_view::npos ? close : close - 1);
    size_t at = decl.find("encoding");
    if (at == std::string_view::npos) {
        return {};
    }
    // A plain loop: find_first_of searches its set once for every byte it passes.
    size_t quote = at + std::strlen("encoding");
    while (quote < decl.size() && decl[quote] != '"' && decl[quote] != '\'') {
        ++quote;
    }
    if (quote >= decl.size()) {
        return {};
    }
    size_t end = decl.find(decl[quote], quote + 1);
    return end == std::string_view::npos ? std::string_view() : decl.substr(quote + 1, end - quote - 1);
}

// True when name equals one of names (lower case) without regard to A..Z case; compared in place,
// since every file read asks.
bool IsNamed(std::string_view name, std::initializer_list<std::string_view> names) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::string_view candidate : names) {
        if (name.size() == candidate.size() && std::equal(name.begin(), name.end(), candidate.begin(),
                                                          [&](char a, char b) { return lower(a) == b; })) {
            return true;
        }
    }
    return false;
}

TSourceEncoding DetectEncoding(std::string_view bytes, std::string& name) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return TSourceEncoding::Utf8;
    }
    const std::string_view declared = DeclaredEncoding(bytes);
    if (declared.empty()) {
        return TSourceEncoding::Auto; // a BOM, UTF-16 by its first bytes, or UTF-8
    }
    if (IsNamed(declared, {"utf-8", "utf8", "us-ascii", "ascii", "utf-16", "ucs-2"})) {
        return TSourceEncoding::Utf8; // the declaration itself was read as single bytes
    }
    if (IsNamed(declared, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1", "cp819",
                           "iso-ir-100"})) {
        return TSourceEncoding::Latin1;
    }
    if (IsNamed(declared, {"windows-1252", "cp1252", "x-cp1252", "cp-1252"})) {
        return TSourceEncoding::Cp1252;
    }
    name = LowerAscii(declared);
    return TSourceEncoding::Unsupported;
}

void AppendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Single-byte text to UTF-8, so that pugixml parses one encoding; the declaration is then ignored.
void TranscodeToUtf8(std::string& buffer, bool cp1252) {
    size_t high = 0;
    for (unsigned char c : buffer) {
        high += c >= 0x80;
    }
    if (high == 0) {
        return;
    }
    std::string out;
    out.reserve(buffer.size() + 2 * high);
    for (unsigned char c : buffer) {
        char16_t u = (cp1252 && c >= 0x80 && c < 0xA0) ? Cp1252High[c - 0x80] : char16_t(c);
        AppendUtf8(out, u);
    }
    buffer.swap(out);
}

// pugixml accepts some documents that XML does not, such as several root elements. A DOCTYPE that declares
// entities is refused too, since they would stay unexpanded.
const char* CheckTopLevel(const pugi::xml_document& doc) {
    int elements = 0;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_doctype && std::strstr(n.value(), "<!ENTITY")) {
            return "entity declarations are not supported";
        }
        if (n.type() == pugi::node_element && ++elements > 1) {
            return "more than one document element";
        }
    }
    return nullptr;
}

// The end of the markup that starts at `from` and closes with `close`, or the end of the text.
size_t SkipPast(std::string_view s, size_t from, std::string_view close) {
    const size_t end = s.find(close, from);
    return end == std::string_view::npos ? s.size() : end + close.size();
}

// The end of a DOCTYPE that starts at `from` (just after "<!DOCTYPE"), read as XML reads it: quoted
// literals may hold any character. Sets problem when the DOCTYPE has an internal subset ("[" outside a
// literal) or markup of its own: the documents read here never carry one, and a subset's comments, PIs
// and literals could hide markup from the shape check. A DOCTYPE that never ends runs to the end.
size_t ScanDoctype(std::string_view s, size_t from, const char*& problem) {
    for (size_t i = from; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            const size_t close = s.find(c, i + 1);
            if (close == std::string_view::npos) {
                return s.size();
            }
            i = close;
        } else if (c == '[') {
            problem = "a DOCTYPE with an internal subset is not allowed";
            return s.size();
        } else if (c == '<') {
            problem = "markup inside a DOCTYPE is not allowed";
            return s.size();
        } else if (c == '>') {
            return i + 1;
        }
    }
    return s.size();
}

// True when XML 1.0 allows the character: tab, line feed, carriage return, and U+0020..U+D7FF,
// U+E000..U+FFFD, U+10000..U+10FFFF.
bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Why the numeric character reference at `at` ("&#" digits ";" or "&#x" hex digits ";") is not XML,
// or null. The parser would wrap a value beyond 32 bits and cut the text at a NUL, so every
// reference is read here first; next is set past what was read.
const char* ReferenceProblemAt(std::string_view s, size_t at, size_t& next) {
    size_t i = at + 2;
    const bool hex = i < s.size() && s[i] == 'x';
    i += hex;
    const size_t digits = i;
    std::uint32_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        // Saturates past the last character, so no count of digits wraps round to a small value.
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
    }
    next = i;
    if (i == digits || i >= s.size() || s[i] != ';') {
        return "a character reference is malformed";
    }
    if (value == 0) {
        return "a reference to the NUL character is not allowed in XML";
    }
    if (!IsXmlChar(value)) {
        return "a character reference names a character that XML does not allow";
    }
    return nullptr;
}

// Why a numeric character reference in s[from, to) is not XML, or null. References that run past
// `to` are read to their end in s, as the parser would.
const char* ReferenceProblem(std::string_view s, size_t from, size_t to) {
    for (size_t at = from; at + 1 < to;) {
        const void* amp = std::memchr(s.data() + at, '&', to - at - 1);
        if (!amp) {
            break;
        }
        at = static_cast<size_t>(static_cast<const char*>(amp) - s.data());
        if (s[at + 1] != '#') {
            ++at;
            continue;
        }
        if (const char* problem = ReferenceProblemAt(s, at, at)) {
            return problem;
        }
    }
    return nullptr;
}

// The bytes a start tag's scan stops at; every other byte is passed in a tight loop.
constexpr std::array<bool, 256> StartTagStops = [] {
    std::array<bool, 256> stops{};
    for (unsigned char c : {'"', '\'', '=', '>', '&'}) {
        stops[c] = true;
    }
    return stops;
}();

// Scans a start tag from just after its '<': counts its attributes into nodes, and tells where it
// ends and whether it closes itself. Quotes are honoured, so "/>" inside a value does not count.
// With references, every numeric character reference in the tag is read on the way.
size_t ScanStartTag(std::string_view s, size_t i, bool references, std::size_t& nodes, bool& selfClosing,
                    const char*& problem) {
    char quote = 0;
    for (; i < s.size(); ++i) {
        while (!StartTagStops[static_cast<unsigned char>(s[i])] && ++i < s.size()) {
        }
        if (i == s.size()) {
            break;
        }
        const char c = s[i];
        if (c == '&') {
            if (references && i + 1 < s.size() && s[i + 1] == '#') {
                size_t next = i;
                if ((problem = ReferenceProblemAt(s, i, next))) {
                    return s.size();
                }
                i = next; // the ";" that closed it
            }
        } else if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '=') {
            ++nodes;
        } else if (c == '>') {
            selfClosing = s[i - 1] == '/';
            return i + 1;
        }
    }
    selfClosing = true;
    return s.size();
}

// The end of the markup that starts at `from` and closes with '>', or the end of the text.
size_t SkipPastGreater(std::string_view s, size_t from) {
    const void* gt = from < s.size() ? std::memchr(s.data() + from, '>', s.size() - from) : nullptr;
    return gt ? static_cast<size_t>(static_cast<const char*>(gt) - s.data()) + 1 : s.size();
}

// Where the text that starts at `from` ends: at the next '<', or at the end of s.
size_t TextEnd(std::string_view s, size_t from) {
    const void* lt = std::memchr(s.data() + from, '<', s.size() - from);
    return lt ? static_cast<size_t>(static_cast<const char*>(lt) - s.data()) : s.size();
}

// Markup that starts with "<!" or "<?" at lt: comments, CDATA, PIs and DOCTYPEs are skipped as whole
// pieces; returns where the scan goes on. Sets problem for a DOCTYPE that must not be read.
size_t SkipSpecialMarkup(std::string_view s, size_t lt, const char*& problem) {
    const std::string_view rest = s.substr(lt);
    if (rest.starts_with("<!--")) {
        return SkipPast(s, lt + 4, "-->");
    }
    if (rest.starts_with("<![CDATA[")) {
        return SkipPast(s, lt + 9, "]]>");
    }
    if (rest.starts_with("<?")) {
        return SkipPast(s, lt + 2, "?>");
    }
    if (rest.starts_with("<!DOCTYPE")) {
        return ScanDoctype(s, lt + 9, problem);
    }
    return SkipPastGreater(s, lt + 2);
}

// Why a document of UTF-8 text must not be built, or null: nesting deeper than MaxXmlDepth, more
// than MaxXmlNodes nodes (elements, attributes, text, comments and the like, counted from the markup),
// a NUL character, a character reference XML does not allow, or a DOCTYPE with an internal subset.
// Malformed markup is otherwise left to the parser to report. One pass over the markup; a document
// without any '&' has no reference to read, which spares most documents that work.
const char* ShapeProblem(std::string_view s) {
    if (std::memchr(s.data(), '\0', s.size())) {
        return "a NUL character is not allowed in XML";
    }
    const bool references = std::memchr(s.data(), '&', s.size()) != nullptr;
    std::size_t nodes = 0;
    int depth = 0;
    const char* problem = nullptr;
    for (size_t i = 0; i < s.size();) {
        const size_t lt = TextEnd(s, i);
        if (lt > i) { // the text before the markup
            ++nodes;
            if (references && (problem = ReferenceProblem(s, i, lt))) {
                return problem;
            }
        }
        if (lt == s.size()) {
            break;
        }
        const char next = lt + 1 < s.size() ? s[lt + 1] : '\0';
        if (next == '/') {
            depth -= depth > 0;
            i = SkipPastGreater(s, lt + 2);
            continue;
        }
        if (next == '!' || next == '?') {
            i = SkipSpecialMarkup(s, lt, problem);
        } else {
            bool selfClosing = false;
            i = ScanStartTag(s, lt + 1, references, nodes, selfClosing, problem);
            if (!problem && !selfClosing && ++depth > MaxXmlDepth) {
                return "elements are nested too deeply";
            }
        }
        if (problem) {
            return problem;
        }
        if (++nodes > MaxXmlNodes) {
            return "the document has too many nodes";
        }
    }
    return nodes > MaxXmlNodes ? "the document has too many nodes" : nullptr;
}

// UTF-16 text, told by its byte-order mark or by a first character '<', re-encoded as UTF-8 in place,
// so that the shape of every document is checked on one encoding. False when the text is not UTF-16.
bool Utf16ToUtf8(std::string& buffer) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(buffer[i]); };
    if (buffer.size() < 2) {
        return false;
    }
    bool bigEndian = false;
    size_t start = 0;
    if (byte(0) == 0xFE && byte(1) == 0xFF) {
        bigEndian = true;
        start = 2;
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        start = 2;
    } else if (byte(0) == 0 && byte(1) == '<') {
        bigEndian = true;
    } else if (!(byte(0) == '<' && byte(1) == 0)) {
        return false;
    }
    UnicodeString text;
    text.reserve((buffer.size() - start) / 2);
    for (size_t i = start; i + 1 < buffer.size(); i += 2) {
        text += static_cast<char16_t>(bigEndian ? byte(i) << 8 | byte(i + 1) : byte(i + 1) << 8 | byte(i));
    }
    buffer = StringToUtf8(text);
    return true;
}

// What reading a file for a document came to.
enum class TFileRead { Whole, TooLarge, Missing };

} // namespace

struct TXmlDocument::TImpl {
    pugi::xml_document doc;
    std::string buffer;

    // source() names the document in messages; it is only called on failure.
    template <class Source> void Parse(const Source& source) {
        std::string encodingName;
        TSourceEncoding encoding = DetectEncoding(buffer, encodingName);
        if (encoding == TSourceEncoding::Unsupported) {
            doc.reset();
            throw EXmlError(source() + u": unsupported encoding \"" + Utf8ToString(encodingName) + u"\"");
        }
        if (encoding == TSourceEncoding::Latin1 || encoding == TSourceEncoding::Cp1252) {
            TranscodeToUtf8(buffer, encoding == TSourceEncoding::Cp1252);
            encoding = TSourceEncoding::Utf8;
        } else if (encoding == TSourceEncoding::Auto && Utf16ToUtf8(buffer)) {
            encoding = TSourceEncoding::Utf8;
        }
        if (const char* problem = ShapeProblem(buffer)) {
            doc.reset();
            throw EXmlError(source() + u": " + Utf8ToString(problem));
        }
        // Whitespace-only text is kept when it is an element's only content, so Text() is exact.
        // The DOCTYPE is kept only to be checked: pugixml never expands entities it declares.
        const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_doctype;
        pugi::xml_parse_result result = doc.load_buffer_inplace(
            buffer.data(), buffer.size(), options,
            encoding == TSourceEncoding::Utf8 ? pugi::encoding_utf8 : pugi::encoding_auto);
        if (!result) {
            doc.reset();
            throw EXmlError(source() + u": " + Utf8ToString(result.description()) + u" at offset " +
                            IntToStr(result.offset));
        }
        if (const char* problem = CheckTopLevel(doc)) {
            doc.reset();
            throw EXmlError(source() + u": " + Utf8ToString(problem));
        }
    }
};

TXmlDocument::TXmlDocument() : _pImpl(std::make_unique<TImpl>()) {}
TXmlDocument::~TXmlDocument() = default;
TXmlDocument::TXmlDocument(TXmlDocument&&) noexcept = default;
TXmlDocument& TXmlDocument::operator=(TXmlDocument&&) noexcept = default;

void TXmlDocument::LoadFromFile(const UnicodeString& path) {
    _LoadRead(
        [&](std::string& buffer) {
            return ReadFileUpTo(path, MaxXmlFileSize, buffer) ? TFileRead::Whole : TFileRead::TooLarge;
        },
        [&] { return path; });
}

void TXmlDocument::LoadFromFile(const TOpenFolder& folder, UnicodeStringView name) {
    _LoadRead(
        [&](std::string& buffer) {
            return folder.ReadFileUpTo(name, MaxXmlFileSize, buffer) ? TFileRead::Whole : TFileRead::TooLarge;
        },
        [&] { return CombinePath(folder.Path(), name); });
}

bool TXmlDocument::LoadFromFileIfExists(const TOpenFolder& folder, UnicodeStringView name) {
    return _LoadRead(
        [&](std::string& buffer) {
            bool complete = false;
            if (!folder.ReadFileIfExists(name, MaxXmlFileSize, buffer, complete)) {
                return TFileRead::Missing;
            }
            return complete ? TFileRead::Whole : TFileRead::TooLarge;
        },
        [&] { return CombinePath(folder.Path(), name); });
}

template <class Read, class Source> bool TXmlDocument::_LoadRead(const Read& read, const Source& source) {
    if (!_pImpl) {
        _pImpl = std::make_unique<TImpl>();
    }
    TFileRead outcome = TFileRead::Missing;
    try {
        outcome = read(_pImpl->buffer);
    } catch (...) {
        _pImpl->doc.reset();
        throw;
    }
    if (outcome != TFileRead::Whole) {
        _pImpl->doc.reset();
    }
    if (outcome == TFileRead::TooLarge) {
        throw EXmlError(source() + u": the file is too large to be read as XML");
    }
    if (outcome == TFileRead::Missing) {
        return false;
    }
    _pImpl->Parse(source);
    return true;
}

void TXmlDocument::LoadFromBytes(std::string_view bytes) {
    if (!_pImpl) {
        _pImpl = std::make_unique<TImpl>();
    }
    if (static_cast<std::int64_t>(bytes.size()) > MaxXmlFileSize) {
        _pImpl->doc.reset();
        throw EXmlError(u"XML data too large to be read");
    }
    _pImpl->buffer.assign(bytes.data(), bytes.size());
    _pImpl->Parse([] { return UnicodeString(u"XML data"); });
}

TXmlNode TXmlDocument::DocumentElement() const noexcept {
    return _pImpl ? TXmlNode(_pImpl->doc.document_element().internal_object()) : TXmlNode();
}

UnicodeString TXmlNode::NodeName() const {
    return _p ? Utf8ToString(Node(_p).name()) : UnicodeString();
}

UnicodeString TXmlNode::LocalName() const {
    if (!_p) {
        return UnicodeString();
    }
    const char* name = Node(_p).name();
    const char* colon = std::strchr(name, ':');
    return Utf8ToString(colon ? colon + 1 : name);
}

bool TXmlNode::NameIs(const char* asciiName) const noexcept {
    return _p && asciiName && std::strcmp(Node(_p).name(), asciiName) == 0;
}

const char* TXmlNode::NameUtf8() const noexcept {
    return _p ? Node(_p).name() : "";
}

std::string_view TXmlNode::LocalNameUtf8() const noexcept {
    const std::string_view name = NameUtf8();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

TXmlNode TXmlNode::FirstChildElement() const noexcept {
    if (!_p) {
        return TXmlNode();
    }
    for (pugi::xml_node n = Node(_p).first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element) {
            return TXmlNode(n.internal_object());
        }
    }
    return TXmlNode();
}

TXmlNode TXmlNode::NextSiblingElement() const noexcept {
    if (!_p) {
        return TXmlNode();
    }
    for (pugi::xml_node n = Node(_p).next_sibling(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element) {
            return TXmlNode(n.internal_object());
        }
    }
    return TXmlNode();
}

std::vector<TXmlNode> TXmlNode::ChildElements() const {
    std::vector<TXmlNode> children;
    for (TXmlNode child = FirstChildElement(); child; child = child.NextSiblingElement()) {
        children.push_back(child);
    }
    return children;
}

bool TXmlNode::HasChildElements() const noexcept {
    return !FirstChildElement().IsNull();
}

bool TXmlNode::HasText() const noexcept {
    if (!_p || HasChildElements()) {
        return false;
    }
    for (pugi::xml_node n = Node(_p).first_child(); n; n = n.next_sibling()) {
        if (IsText(n)) {
            return true;
        }
    }
    return false;
}

bool TXmlNode::TryGetSingleTextUtf8(std::string_view& text) const noexcept {
    if (!_p) {
        return false;
    }
    const pugi::xml_node first = Node(_p).first_child();
    if (!first || !IsText(first) || first.next_sibling()) {
        return false;
    }
    text = first.value();
    return true;
}

std::string TXmlNode::TextUtf8() const {
    if (!_p) {
        return std::string();
    }
    if (HasChildElements()) {
        throw EXmlError(u"Element \"" + NodeName() + u"\" holds child elements instead of text");
    }
    std::string joined;
    for (pugi::xml_node n = Node(_p).first_child(); n; n = n.next_sibling()) {
        if (IsText(n)) {
            joined += n.value();
        }
    }
    return joined;
}

UnicodeString TXmlNode::Text() const {
    // The common case, one piece of text, converts straight from the document.
    std::string_view single;
    return TryGetSingleTextUtf8(single) ? Utf8ToString(single) : Utf8ToString(TextUtf8());
}

bool TXmlNode::TryGetAttribute(const char* asciiName, UnicodeString& value) const {
    if (!_p || !asciiName) {
        return false;
    }
    pugi::xml_attribute attr = Node(_p).attribute(asciiName);
    if (!attr) {
        return false;
    }
    value = Utf8ToString(attr.value());
    return true;
}

UnicodeString TXmlNode::Attribute(const char* asciiName) const {
    UnicodeString value;
    TryGetAttribute(asciiName, value);
    return value;
}

} // namespace rtl
