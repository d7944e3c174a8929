#include "rtl/XmlDocument.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <pugixml.hpp>
#include <string>

namespace rtl {

namespace {

// Larger files are refused: no document the product reads comes near this.
constexpr std::int64_t MaxXmlFileSize = 64 * 1024 * 1024;

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
