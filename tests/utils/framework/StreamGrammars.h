#pragma once
// Two grammars for the stream parser, shared by its tests, its benchmark and its fuzz target: an
// XML-like tag grammar (elements with attributes, empty elements, comments, CDATA, declarations) and
// a JSON-like grammar. Each records its open and close events as lines that an independent parser's
// events can be compared with. Also seeded generators of documents in both.
#include "utils/framework/ORVI.StreamParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace streamgrammars {

/// A parser set up with one grammar; every closed node is recorded (when asked) and freed.
class TGrammar {
public:
    virtual ~TGrammar();
    TGrammar(const TGrammar&) = delete;
    TGrammar& operator=(const TGrammar&) = delete;

    /// Parses bytes (an optional byte-order mark selects the encoding, UTF-8 otherwise). With pEvents,
    /// each open and close event is appended to it as one line.
    bool Parse(const std::string& bytes, std::vector<std::string>* pEvents = nullptr);
    orvi::TORVIStreamParser* Parser() const noexcept { return _pParser; }
    std::string ErrorMessage() const;
    /// Closed nodes seen by the last parse.
    std::size_t ClosedNodes() const noexcept { return _nClosed; }

protected:
    TGrammar();
    /// Adds a definition of class T made and set up here, with the recording handlers.
    template <class T> T* Add() {
        T* definition = rtl::Create<T>(nullptr);
        definition->SetOnOpen(orvi::TORVIStreamedNodeEvent(this, &TGrammar::NodeOpened));
        definition->SetOnClose(orvi::TORVIStreamedNodeEvent(this, &TGrammar::NodeClosed));
        _pParser->AddNodeDefinition(definition);
        return definition;
    }
    /// Forgets what the last parse left behind.
    virtual void Reset() {}
    /// The event lines of an opened node and of a closed one ("" records nothing).
    virtual std::string OpenLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                                 orvi::TORVIStreamedNode* pNode) = 0;
    virtual std::string CloseLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                                  orvi::TORVIStreamedNode* pNode) = 0;

private:
    void NodeOpened(orvi::TORVIStreamedNodeDefinition* pSender, orvi::TORVIStreamedNode* pNode);
    void NodeClosed(orvi::TORVIStreamedNodeDefinition* pSender, orvi::TORVIStreamedNode* pNode);

    orvi::TORVIStreamParser* _pParser;
    std::vector<std::string>* _pEvents = nullptr;
    std::size_t _nClosed = 0;
};

/// Elements with attributes, empty elements, comments, CDATA sections and declarations; line ends
/// become LF. Events: "open <name> <attr>=<value>...", "close <name> <text>" (text decoded),
/// "open comment" / "close comment <text>", "open cdata" / "close cdata <text>", "open decl" /
/// "close decl". A close tag naming another element records "mismatch".
class TXmlGrammar : public TGrammar {
public:
    TXmlGrammar();

protected:
    std::string OpenLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                         orvi::TORVIStreamedNode* pNode) override;
    std::string CloseLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                          orvi::TORVIStreamedNode* pNode) override;

    void Reset() override { _names.clear(); }

private:
    std::vector<std::string> _names; // names of the open elements, innermost last
};

/// Objects, arrays, strings (with JSON escapes), numbers and the three literals; line ends become
/// LF. Events: "{", "}", "[", "]", "open s" / "s <text>", "open n" / "n <value>", "open l" / "true",
/// "false" or "null".
class TJsonGrammar : public TGrammar {
public:
    TJsonGrammar();

protected:
    std::string OpenLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                         orvi::TORVIStreamedNode* pNode) override;
    std::string CloseLine(orvi::TORVIStreamedNodeDefinition* pDefinition,
                          orvi::TORVIStreamedNode* pNode) override;

private:
    char16_t HandleEscape(orvi::TORVIStreamedNodeDefinition* pSender, char16_t cEscaped);
};

/// The events of an independent XML parser (pugixml) on the same document, in TXmlGrammar's form;
/// false when it refuses the document.
bool ReferenceXmlEvents(const std::string& document, std::vector<std::string>& events);
/// The events of an independent JSON parser (nlohmann-json), in TJsonGrammar's form.
bool ReferenceJsonEvents(const std::string& document, std::vector<std::string>& events);

/// A well-formed XML-like document of about nBytes bytes, the same for the same seed.
std::string MakeXmlDocument(std::size_t nBytes, std::uint32_t nSeed);
/// A well-formed JSON document of about nBytes bytes, the same for the same seed.
std::string MakeJsonDocument(std::size_t nBytes, std::uint32_t nSeed);

/// A number written the way both sides of a comparison write it.
std::string NumberText(double value);

} // namespace streamgrammars
