#include "utils/values/ORVI.FolderNameEncoding.h"
#include "utils/values/ORVI.LoadCounter.h"

#include "rtl/Files.h"
#include "rtl/KnownFolders.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace orvi {

namespace {

using rtl::UnicodeString;
using TMap = std::map<UnicodeString, UnicodeString>; // lower-cased key -> value as registered

// Created on the first registration that needs them; null means absent.
std::unique_ptr<TMap> g_pFolderToEncoding;
std::unique_ptr<TMap> g_pEncodingToFolder;
std::unique_ptr<TMap> g_pSegmentToEncoding;
std::unique_ptr<TMap> g_pEncodingToSegment;

bool HasEntries(const std::unique_ptr<TMap>& pMap) {
    return pMap && !pMap->empty();
}

UnicodeString NormaliseSeparators(UnicodeString szText) {
    for (char16_t& c : szText)
        if (c == u'/' || c == u'\\')
            c = rtl::PathDelim;
    return szText;
}

UnicodeString WithoutOneTrailingSeparator(UnicodeString szText) {
    if (!szText.empty() && szText.back() == rtl::PathDelim)
        szText.pop_back();
    return szText;
}

/// True when szText starts with szKey (A..Z folded) and ends there or continues with the separator.
bool IsWholeSegmentPrefix(const UnicodeString& szText, const UnicodeString& szKey) {
    if (szText.size() < szKey.size() ||
        !rtl::SameText(rtl::UnicodeStringView(szText).substr(0, szKey.size()), szKey))
        return false;
    return szText.size() == szKey.size() || szText[szKey.size()] == rtl::PathDelim;
}

/// Every occurrence of szKey in any letter case, left to right, without rescanning replaced text.
UnicodeString ReplaceAllIgnoreCase(const UnicodeString& szText, const UnicodeString& szKey,
                                   const UnicodeString& szReplacement) {
    if (szKey.empty())
        return szText;
    const UnicodeString lowered = rtl::LowerCase(szText);
    UnicodeString result;
    std::size_t from = 0;
    for (std::size_t at; (at = lowered.find(szKey, from)) != UnicodeString::npos; from = at + szKey.size())
        result.append(szText, from, at - from).append(szReplacement);
    return result.append(szText, from);
}

UnicodeString ExpandUnquoted(UnicodeString szText) {
    szText = NormaliseSeparators(std::move(szText));
    if (HasEntries(g_pEncodingToFolder)) {
        for (const auto& [key, folder] : *g_pEncodingToFolder) {
            if (IsWholeSegmentPrefix(szText, key)) {
                szText = folder + szText.substr(key.size());
                break;
            }
        }
    }
    if (HasEntries(g_pEncodingToSegment))
        for (const auto& [key, segment] : *g_pEncodingToSegment)
            szText = ReplaceAllIgnoreCase(szText, key, segment);
    return szText;
}

UnicodeString EncodeFolderPart(const UnicodeString& szText) {
    std::vector<TMap::const_iterator> keys;
    for (auto it = g_pFolderToEncoding->cbegin(); it != g_pFolderToEncoding->cend(); ++it)
        keys.push_back(it);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a->first.size() > b->first.size(); });
    for (const auto& it : keys)
        if (IsWholeSegmentPrefix(szText, it->first))
            return it->second + szText.substr(it->first.size());
    return szText;
}

UnicodeString EncodeSegments(const UnicodeString& szText) {
    UnicodeString result;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = szText.find(rtl::PathDelim, start);
        const UnicodeString piece =
            szText.substr(start, end == UnicodeString::npos ? UnicodeString::npos : end - start);
        const auto found = g_pSegmentToEncoding->find(rtl::LowerCase(piece));
        result += found == g_pSegmentToEncoding->end() ? piece : found->second;
        if (end == UnicodeString::npos)
            return result;
        result += rtl::PathDelim;
        start = end + 1;
    }
}

void EraseIfValue(const std::unique_ptr<TMap>& pMap, const UnicodeString& szKey,
                  const UnicodeString& szValue) {
    if (!pMap)
        return;
    const auto found = pMap->find(rtl::LowerCase(szKey));
    if (found != pMap->end() && found->second == szValue)
        pMap->erase(found);
}

// --- Built-in table ---------------------------------------------------------------------------------
void RegisterKnown(rtl::TKnownFolder folder, const char16_t* szMacro) {
    const UnicodeString path = rtl::GetKnownFolder(folder);
    if (!path.empty())
        RegisterFolderNameEncoding(path, szMacro);
}

/// The native/32-bit pair rule: the x64 macro exists only when the two folders differ.
void RegisterPair(rtl::TKnownFolder native, rtl::TKnownFolder x86, const char16_t* szX86Macro,
                  const char16_t* szX64Macro, const char16_t* szMacro) {
    const UnicodeString n = rtl::GetKnownFolder(native);
    const UnicodeString x = rtl::GetKnownFolder(x86);
    if (!x.empty())
        RegisterFolderNameEncoding(x, szX86Macro);
    if (n.empty())
        return;
    if (n != x)
        RegisterFolderNameEncoding(n, szX64Macro);
    RegisterFolderNameEncoding(n, szMacro);
}

void RegisterApplication() {
    const UnicodeString exe = rtl::ApplicationExeName();
    const UnicodeString name = rtl::ExtractFileName(exe);
    const UnicodeString stem = rtl::ChangeFileExt(name, u"");
    if (!stem.empty())
        RegisterFolderSegmentEncoding(stem, u"{:AppName:}");
    if (name.size() < exe.size())
        RegisterFolderNameEncoding(exe.substr(0, exe.size() - name.size() - 1), u"{:AppFolder:}");
}

/// The drive of the Windows folder: "C:" for C:\Windows; for a folder without a drive letter (a Wine
/// prefix's drive_c/windows) the folder that holds it, since two characters of it name nothing.
UnicodeString SystemDriveOf(const UnicodeString& szWindows) {
    if (szWindows.size() >= 2 && szWindows[1] == u':')
        return szWindows.substr(0, 2);
    return rtl::ExtractFileDir(szWindows);
}

// The library registers its table on its first load and releases the maps on its last unload.
int g_nLoadCount = 0;

} // namespace

// --- Expansion and encoding ---------------------------------------------------------------------------
UnicodeString ExpandFolderName(const UnicodeString& szEncoded) {
    if (szEncoded.empty())
        return {};
    // A lone quote is text, not an empty quoted name.
    if (szEncoded.size() >= 2 && szEncoded.front() == u'"' && szEncoded.back() == u'"')
        return u'"' + ExpandUnquoted(szEncoded.substr(1, szEncoded.size() - 2)) + u'"';
    return ExpandUnquoted(szEncoded);
}

TFolderName ExpandFolderName(const TEncodedFolderName& encoded) {
    return TFolderName(ExpandFolderName(encoded.Value));
}

UnicodeString EncodeFolderName(const UnicodeString& szFolder) {
    UnicodeString text = NormaliseSeparators(szFolder);
    if (HasEntries(g_pFolderToEncoding))
        text = EncodeFolderPart(text);
    if (HasEntries(g_pSegmentToEncoding))
        text = EncodeSegments(text);
    return text;
}

TEncodedFolderName EncodeFolderName(const TFolderName& folder) {
    return TEncodedFolderName(EncodeFolderName(folder.Value));
}

// --- Registration -----------------------------------------------------------------------------------
void RegisterFolderNameEncoding(const UnicodeString& szFolder, const UnicodeString& szEncoding) {
    if (szFolder.empty() || szEncoding.empty())
        return;
    if (!g_pFolderToEncoding)
        g_pFolderToEncoding = std::make_unique<TMap>();
    if (!g_pEncodingToFolder)
        g_pEncodingToFolder = std::make_unique<TMap>();
    UnicodeString encoding = szEncoding;
    if (!encoding.starts_with(u"{:"))
        encoding.insert(0, u"{:");
    if (!encoding.ends_with(u":}"))
        encoding += u":}";
    const UnicodeString folder = WithoutOneTrailingSeparator(NormaliseSeparators(szFolder));
    encoding = WithoutOneTrailingSeparator(NormaliseSeparators(encoding));
    (*g_pFolderToEncoding)[rtl::LowerCase(folder)] = encoding;
    (*g_pEncodingToFolder)[rtl::LowerCase(encoding)] = folder;
}

void UnregisterFolderNameEncoding(const UnicodeString& szFolder, const UnicodeString& szEncoding) {
    const UnicodeString folder = WithoutOneTrailingSeparator(NormaliseSeparators(szFolder));
    const UnicodeString encoding = WithoutOneTrailingSeparator(NormaliseSeparators(szEncoding));
    EraseIfValue(g_pFolderToEncoding, folder, encoding);
    EraseIfValue(g_pEncodingToFolder, encoding, folder);
}

void RegisterFolderSegmentEncoding(const UnicodeString& szSegment, const UnicodeString& szEncoding) {
    if (szSegment.empty() || szEncoding.empty())
        return;
    if (!g_pSegmentToEncoding)
        g_pSegmentToEncoding = std::make_unique<TMap>();
    if (!g_pEncodingToSegment)
        g_pEncodingToSegment = std::make_unique<TMap>();
    (*g_pSegmentToEncoding)[rtl::LowerCase(szSegment)] = szEncoding;
    (*g_pEncodingToSegment)[rtl::LowerCase(szEncoding)] = szSegment;
}

void UnregisterFolderSegmentEncoding(const UnicodeString& szSegment, const UnicodeString& szEncoding) {
    EraseIfValue(g_pSegmentToEncoding, szSegment, szEncoding);
    EraseIfValue(g_pEncodingToSegment, szEncoding, szSegment);
}

void ORVIRegisterBuiltInFolderNameEncodings() {
    using F = rtl::TKnownFolder;
    RegisterKnown(F::Public, u"{:Public:}");
    RegisterKnown(F::Cache, u"{:Cache:}");
    RegisterKnown(F::SharedDocuments, u"{:SharedDocuments:}");
    RegisterKnown(F::Documents, u"{:Documents:}");
    RegisterKnown(F::Temp, u"{:Temp:}");
    RegisterKnown(F::Library, u"{:Library:}");
    RegisterKnown(F::Home, u"{:Home:}");
    RegisterKnown(F::Pictures, u"{:Pictures:}");
    RegisterKnown(F::SharedPictures, u"{:SharedPictures:}");
    RegisterKnown(F::Camera, u"{:Camera:}");
    RegisterKnown(F::SharedCamera, u"{:SharedCamera:}");
    RegisterApplication();
    RegisterPair(F::ProgramFiles, F::ProgramFilesX86, u"{:ProgramFilesx86:}", u"{:ProgramFilesx64:}",
                 u"{:ProgramFiles:}");
    RegisterPair(F::CommonProgramFiles, F::CommonProgramFilesX86, u"{:CommonProgramFilesx86:}",
                 u"{:CommonProgramFilesx64:}", u"{:CommonProgramFiles:}");
    RegisterPair(F::System, F::SystemX86, u"{:Systemx86:}", u"{:Systemx64:}", u"{:System:}");
    RegisterKnown(F::CommonDesktop, u"{:PublicDesktop:}");
    RegisterKnown(F::Desktop, u"{:Desktop:}");
    RegisterKnown(F::Profile, u"{:Profile:}");
    const UnicodeString windows = rtl::GetKnownFolder(F::Windows);
    if (!windows.empty()) {
        RegisterFolderNameEncoding(windows, u"{:Windows:}");
        RegisterFolderNameEncoding(SystemDriveOf(windows), u"{:SystemDrive:}");
    }
}

void ORVIReleaseFolderNameEncodings() {
    g_pFolderToEncoding.reset();
    g_pEncodingToFolder.reset();
    g_pSegmentToEncoding.reset();
    g_pEncodingToSegment.reset();
}

namespace {
// Defined after the maps so that it is destroyed before them.
TORVILoadCounter g_loadCounter(g_nLoadCount, ORVIRegisterBuiltInFolderNameEncodings,
                               ORVIReleaseFolderNameEncodings);
} // namespace

} // namespace orvi
