#include "utils/text/ORVI.Encoding.h"

#include "utils/values/ORVI.LoadCounter.h"

#include <map>
#include <memory>

namespace orvi {

namespace {

using TMap = std::map<TORVIEncodingName, rtl::TEncoding*>;

std::unique_ptr<TMap> g_pEncodings; // created on the first registration
int g_nLoadCount = 0;

} // namespace

void ORVIRegisterEncoding(const TORVIEncodingName& szName, rtl::TEncoding* pEncoding) {
    if (!g_pEncodings)
        g_pEncodings = std::make_unique<TMap>();
    if (!szName.Value.empty() && pEncoding)
        (*g_pEncodings)[szName] = pEncoding;
}

void ORVIUnregisterEncoding(const TORVIEncodingName& szName, const rtl::TEncoding* pEncoding) {
    if (!g_pEncodings)
        return;
    const auto found = g_pEncodings->find(szName);
    if (found != g_pEncodings->end() && found->second == pEncoding)
        g_pEncodings->erase(found);
}

rtl::TEncoding* ORVIGetEncoding(const TORVIEncodingName& szName) {
    if (!g_pEncodings)
        return nullptr;
    const auto found = g_pEncodings->find(szName);
    return found == g_pEncodings->end() ? nullptr : found->second;
}

const rtl::TEncodingClass* ORVIGetEncodingClass(const TORVIEncodingName& szName) {
    const rtl::TEncoding* encoding = ORVIGetEncoding(szName);
    return encoding ? &encoding->ClassType() : nullptr;
}

int ORVIGetRegisteredEncodings(rtl::TStringList* pStrings) {
    if (!pStrings || !g_pEncodings)
        return 0;
    // A sorted list may ignore a name it already holds: count what it took.
    const int nBefore = pStrings->Count();
    for (const auto& [name, encoding] : *g_pEncodings)
        pStrings->Add(name.Value);
    return pStrings->Count() - nBefore;
}

void ORVIRegisterBuiltInEncodings() {
    for (rtl::TEncoding* e : {rtl::TEncoding::ANSI(), rtl::TEncoding::ASCII(), rtl::TEncoding::BigEndianUnicode(),
                              rtl::TEncoding::Unicode(), rtl::TEncoding::UTF7(), rtl::TEncoding::UTF8()})
        ORVIRegisterEncoding(e->EncodingName(), e);
}

void ORVIReleaseEncodings() {
    g_pEncodings.reset();
}

namespace {
// Defined after the map so that it is destroyed before it.
TORVILoadCounter g_loadCounter(g_nLoadCount, ORVIRegisterBuiltInEncodings, ORVIReleaseEncodings);
} // namespace

} // namespace orvi
