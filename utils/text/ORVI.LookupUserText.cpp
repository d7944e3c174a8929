#include "utils/text/ORVI.LookupUserText.h"

#include "utils/text/ORVI.StringParser.h"

#include <functional>

namespace orvi {

using rtl::UnicodeString;

// --- Look-up by path -------------------------------------------------------------------------------------
namespace {

bool LookupIn(const UnicodeString& szKey, UnicodeString& szValue, rtl::TObject* pObject) {
    auto* provider = dynamic_cast<IORVIStringProvider*>(pObject);
    if (!provider)
        return false;
    szValue.clear();
    return provider->GetUserTextString(szKey, szValue);
}

/// The parser of provider paths: Name.Key, Name."Key", Name[Key], Name(Key).
class TPathParser : public TORVIStringParser {
public:
    TPathParser() {
        AddBracketPair(u'(', u')');
        AddBracketPair(u'[', u']');
        SetSeparators(u".");
        AddQuotePair(u'"', u'"');
        AddQuotePair(u'\'', u'\'');
        SetIgnoreWhitespace(true);
    }
};

const TORVITextNode* AsText(TORVIParsedNode* pNode) {
    return dynamic_cast<const TORVITextNode*>(pNode);
}

/// The key after the provider's name: the text after a separator, or the first text in brackets.
const TORVITextNode* KeyAfterName(TORVIParsedNodeList& nodes) {
    if (nodes.Count() >= 3 && dynamic_cast<TORVISeparatorNode*>(nodes[1]) && AsText(nodes[2]))
        return AsText(nodes[2]);
    auto* bracket = dynamic_cast<TORVIBracketedNode*>(nodes[1]);
    if (bracket && bracket->ContentNodes()->Count() > 0)
        return AsText(bracket->ContentNodes()->Items(0));
    return nullptr;
}

/// Asks each provider in turn; szValue is cleared before every question, so a path that is szValue
/// itself is asked from a copy.
template <class TProviders, class TGet>
bool LookupInEach(const UnicodeString& szPath, UnicodeString& szValue, const TProviders& providers, TGet get) {
    if (&szPath == &szValue) {
        const UnicodeString path = szPath;
        return LookupInEach(path, szValue, providers, get);
    }
    for (const auto& provider : providers)
        if (LookupIn(szPath, szValue, get(provider)))
            return true;
    return false;
}

} // namespace

bool ORVILookupUserText(const UnicodeString& szPath, UnicodeString& szValue, std::span<rtl::TObject* const> providers) {
    return LookupInEach(szPath, szValue, providers, [](rtl::TObject* object) { return object; });
}

bool ORVILookupUserText(const UnicodeString& szPath, UnicodeString& szValue,
                        const std::vector<rtl::TObject*>& providers) {
    return ORVILookupUserText(szPath, szValue, std::span<rtl::TObject* const>(providers));
}

bool ORVILookupUserText(const UnicodeString& szPath, UnicodeString& szValue,
                        const std::vector<std::unique_ptr<rtl::TObject>>& providers) {
    return LookupInEach(szPath, szValue, providers, [](const auto& object) { return object.get(); });
}

bool ORVILookupUserText(const UnicodeString& szPath, UnicodeString& szValue, const rtl::TStringList* pProviders) {
    if (!pProviders)
        return false;
    TORVIParsedNodeList nodes;
    TPathParser().Parse(szPath, &nodes);
    const TORVITextNode* name = nodes.Count() > 0 ? AsText(nodes[0]) : nullptr;
    if (!name)
        return false;
    const int at = pProviders->IndexOf(name->TextContent());
    if (at < 0) {
        const int fallback = nodes.Count() == 1 ? pProviders->IndexOf(UnicodeString()) : -1;
        return fallback >= 0 && LookupIn(name->TextContent(), szValue, pProviders->Objects(fallback));
    }
    rtl::TObject* provider = pProviders->Objects(at);
    if (!provider || nodes.Count() < 2)
        return false;
    const TORVITextNode* key = KeyAfterName(nodes);
    return key && LookupIn(key->TextContent(), szValue, provider);
}

// --- Placeholders ------------------------------------------------------------------------------------------
namespace {

struct TPlaceholder {
    std::size_t nStart; // of the start marker
    std::size_t nInner; // of the inner text
    std::size_t nEnd;   // of the end marker
};

/// The first placeholder: the first end marker after a start marker, with the last start marker before it.
bool FindPlaceholder(const UnicodeString& szText, const UnicodeString& szStart, const UnicodeString& szEnd,
                     TPlaceholder& found) {
    const std::size_t start = szText.find(szStart);
    if (start == UnicodeString::npos)
        return false;
    const std::size_t end = szText.find(szEnd, start + szStart.size());
    if (end == UnicodeString::npos)
        return false;
    const std::size_t last = szText.rfind(szStart, end - szStart.size());
    found.nStart = last == UnicodeString::npos || last < start ? start : last;
    found.nInner = found.nStart + szStart.size();
    found.nEnd = end;
    return true;
}

using TLookup = std::function<bool(const UnicodeString&, UnicodeString&)>;

bool Embed(const UnicodeString& szStart, const UnicodeString& szEnd, const UnicodeString& szText,
           UnicodeString& szResult, const TLookup& lookup) {
    if (szStart.empty() || szEnd.empty())
        return false;
    UnicodeString text = szText;
    int nResolved = 0;
    TPlaceholder at;
    while (FindPlaceholder(text, szStart, szEnd, at)) {
        UnicodeString value;
        const bool blFound = lookup(text.substr(at.nInner, at.nEnd - at.nInner), value);
        if (blFound && ++nResolved > ORVIMaxEmbeddedSubstitutions)
            return false;
        text.replace(at.nStart, at.nEnd + szEnd.size() - at.nStart, blFound ? value : UnicodeString());
    }
    if (nResolved == 0)
        return false;
    szResult = std::move(text);
    return true;
}

} // namespace

bool ORVILookupEmbeddedUserText(const UnicodeString& szStartMarker, const UnicodeString& szEndMarker,
                                const UnicodeString& szText, UnicodeString& szResult,
                                std::span<rtl::TObject* const> providers) {
    return Embed(szStartMarker, szEndMarker, szText, szResult,
                 [&](const UnicodeString& path, UnicodeString& value) { return ORVILookupUserText(path, value, providers); });
}

bool ORVILookupEmbeddedUserText(const UnicodeString& szStartMarker, const UnicodeString& szEndMarker,
                                const UnicodeString& szText, UnicodeString& szResult,
                                const std::vector<rtl::TObject*>& providers) {
    return ORVILookupEmbeddedUserText(szStartMarker, szEndMarker, szText, szResult,
                                      std::span<rtl::TObject* const>(providers));
}

bool ORVILookupEmbeddedUserText(const UnicodeString& szStartMarker, const UnicodeString& szEndMarker,
                                const UnicodeString& szText, UnicodeString& szResult,
                                const std::vector<std::unique_ptr<rtl::TObject>>& providers) {
    return Embed(szStartMarker, szEndMarker, szText, szResult,
                 [&](const UnicodeString& path, UnicodeString& value) { return ORVILookupUserText(path, value, providers); });
}

bool ORVILookupEmbeddedUserText(const UnicodeString& szStartMarker, const UnicodeString& szEndMarker,
                                const UnicodeString& szText, UnicodeString& szResult,
                                const rtl::TStringList* pProviders) {
    return Embed(szStartMarker, szEndMarker, szText, szResult, [&](const UnicodeString& path, UnicodeString& value) {
        return ORVILookupUserText(path, value, pProviders);
    });
}

} // namespace orvi
