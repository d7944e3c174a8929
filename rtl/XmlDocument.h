#pragma once
// XML document service: load a file, walk elements, read text and attributes. Safe on outside
// input: no network, no external entities, no DOCTYPE internal subset, character references checked
// against what XML allows. Declared encodings UTF-8, UTF-16, ISO-8859-1 and Windows-1252 are honoured.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TOpenFolder;

/// A light handle on an element of a TXmlDocument; valid while the document lives. A null handle
/// answers empty to every query.
class RTL_API TXmlNode {
public:
    TXmlNode() noexcept = default;
    bool IsNull() const noexcept { return _p == nullptr; }
    explicit operator bool() const noexcept { return _p != nullptr; }

    /// Full name, prefix included ("ns:Box").
    UnicodeString NodeName() const;
    /// Name without its prefix ("Box").
    UnicodeString LocalName() const;
    /// True when the full name is exactly name (case-sensitive); no allocation.
    bool NameIs(const char* asciiName) const noexcept;
    /// The full name as UTF-8, valid while the document lives; "" for a null handle. No allocation.
    const char* NameUtf8() const noexcept;
    /// The name without its prefix as UTF-8, valid while the document lives. No allocation.
    std::string_view LocalNameUtf8() const noexcept;

    TXmlNode FirstChildElement() const noexcept;
    TXmlNode NextSiblingElement() const noexcept;
    std::vector<TXmlNode> ChildElements() const;
    bool HasChildElements() const noexcept;

    /// True when the element holds text (character data or CDATA) and no child elements.
    bool HasText() const noexcept;
    /// The element's text as UTF-8 without copying, when it is exactly one piece of character data
    /// and no child elements; false otherwise (use Text()).
    bool TryGetSingleTextUtf8(std::string_view& text) const noexcept;
    /// The element's text (all character data joined); empty for an empty element. Raises
    /// EXmlError when the element holds child elements instead of text.
    UnicodeString Text() const;
    /// Text() as UTF-8 bytes, as the document holds them.
    std::string TextUtf8() const;

    /// The attribute's value; false when the element has no such attribute.
    bool TryGetAttribute(const char* asciiName, UnicodeString& value) const;
    UnicodeString Attribute(const char* asciiName) const;

private:
    friend class TXmlDocument;
    explicit TXmlNode(void* p) noexcept : _p(p) {}
    void* _p = nullptr;
};

class RTL_API TXmlDocument {
public:
    TXmlDocument();
    ~TXmlDocument();
    TXmlDocument(TXmlDocument&&) noexcept;
    TXmlDocument& operator=(TXmlDocument&&) noexcept;

    /// Parses the file; raises EFOpenError when it cannot be read and EXmlError (with the parser's
    /// message and offset) when it is not well-formed XML.
    void LoadFromFile(const UnicodeString& path);
    /// LoadFromFile for the file name directly inside an open folder.
    void LoadFromFile(const TOpenFolder& folder, UnicodeStringView name);
    /// LoadFromFile(folder, name) when such a file exists; false, leaving the document empty, when not.
    bool LoadFromFileIfExists(const TOpenFolder& folder, UnicodeStringView name);
    /// Parses bytes (a copy is taken).
    void LoadFromBytes(std::string_view bytes);
    TXmlNode DocumentElement() const noexcept;

private:
    template <class Read, class Source> bool _LoadRead(const Read& read, const Source& source);

    struct TImpl;
    std::unique_ptr<TImpl> _pImpl;
};

} // namespace rtl
