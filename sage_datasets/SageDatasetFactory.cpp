#include "sage_datasets/SageDatasetFactory.h"

#include "sage_datasets/SageDatasetVersions.h"
#include "sage_datasets/SageSetupDTA.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <algorithm>
#include <vector>

namespace sage {

TSageDatasetFactory* TSageDatasetFactory::_pSingleton = nullptr;

namespace {

// Either separator: Windows takes '/' as well as its own.
bool IsSeparator(char16_t c) {
    return c == rtl::PathDelim || c == u'/';
}

void RemoveTrailingSeparators(rtl::UnicodeString& s) {
    while (!s.empty() && (s.back() == rtl::PathDelim || s.back() == u'/')) {
        s.pop_back();
    }
}

// A picked ACCDATA folder without its trailing separator and final ACCDATA level.
rtl::UnicodeString DatasetFolderOfAccData(rtl::UnicodeString folder) {
    if (!folder.empty() && IsSeparator(folder.back())) {
        folder.pop_back();
    }
    // A final AccData level, after either separator that a Windows path may use.
    const rtl::UnicodeString accData = u"AccData";
    if (folder.size() > accData.size() && rtl::EndsText(accData, folder) &&
        IsSeparator(folder[folder.size() - accData.size() - 1])) {
        folder.resize(folder.size() - accData.size() - 1);
    }
    return folder;
}

// A failure of the factory itself: the message callers of MakeDataset see, and the reason a
// record of the folder left out gives, with the file it concerns.
class EFactoryError : public rtl::Exception {
public:
    EFactoryError(const rtl::UnicodeString& message, rtl::UnicodeString file, rtl::UnicodeString reason)
        : rtl::Exception(message), File(std::move(file)), Reason(std::move(reason)) {}
    std::shared_ptr<const rtl::Exception> Clone() const override {
        return std::make_shared<EFactoryError>(*this);
    }
    rtl::UnicodeString File;
    rtl::UnicodeString Reason;
};

// Why a dataset folder gave no version byte: no folder, no SETUP.DTA, or none in it.
void NoVersionReason(const rtl::UnicodeString& folder, rtl::UnicodeString& file, rtl::UnicodeString& reason) {
    if (folder.empty()) {
        reason = u"The folder does not exist";
        return;
    }
    rtl::TPathKind kind = rtl::TPathKind::pkNone;
    file = rtl::FindChildIgnoreCase(rtl::FindChildIgnoreCase(folder, u"ACCDATA"), u"SETUP.DTA", kind);
    reason = kind == rtl::TPathKind::pkNone ? u"Not a dataset: there is no ACCDATA" +
                                                  rtl::UnicodeString(1, rtl::PathDelim) + u"SETUP.DTA"
             : kind != rtl::TPathKind::pkFile ? u"Not a dataset: SETUP.DTA is not a file"
                                              : u"Not a dataset: SETUP.DTA holds no version";
}

// The identity the search took of folder, or null when it took none.
const rtl::TFileIdentity* KnownIdentity(const TSageFolderIdentities& identities, const rtl::UnicodeString& folder) {
    const auto known = identities.find(folder);
    return known != identities.end() ? &known->second : nullptr;
}

// Frees the library's shared factory when the library unloads.
struct TSingletonFinalizer {
    ~TSingletonFinalizer() { TSageDatasetFactory::FreeSingleton(); }
} gSingletonFinalizer;

} // namespace

TSageDatasetFactory::~TSageDatasetFactory() {
    if (_pSingleton == this) {
        _pSingleton = nullptr;
    }
}

TSageDatasetFactory* TSageDatasetFactory::GetSingleton() {
    if (_pSingleton == nullptr) {
        _pSingleton = rtl::Create<TSageDatasetFactory>();
    }
    return _pSingleton;
}

TSageDatasetFactory* TSageDatasetFactory::PeekSingleton() noexcept {
    return _pSingleton;
}

void TSageDatasetFactory::FreeSingleton() {
    rtl::FreeAndNil(_pSingleton);
}

void TSageDatasetFactory::GetCompanyDatasetLocations(rtl::TStringList& pslLocations,
                                                     const rtl::UnicodeString& szCompanyFolder,
                                                     TSageLeftOutList* pvUnusable,
                                                     TSageFolderIdentities* pIdentities) {
    const rtl::UnicodeString fileName = rtl::FindChildIgnoreCase(szCompanyFolder, u"COMPANY");
    if (rtl::FileExists(fileName)) {
        _ReadCompanyFile(pslLocations, fileName, pvUnusable, pIdentities);
    }
}

void TSageDatasetFactory::_ReadCompanyFile(rtl::TStringList& pslList, const rtl::UnicodeString& szFileName,
                                           TSageLeftOutList* pvUnusable, TSageFolderIdentities* pIdentities) {
    rtl::TStringList lines;
    lines.LoadFromFile(szFileName, kMaxCompanyFileSize);
    // A folder already listed under another spelling (a link, "." levels) is the same dataset.
    std::vector<rtl::TFileIdentity> listed;
    listed.reserve(static_cast<std::size_t>(pslList.Count()));
    for (int i = 0; i < pslList.Count(); ++i) {
        const rtl::TFileIdentity* known = pIdentities ? KnownIdentity(*pIdentities, pslList.Strings(i)) : nullptr;
        listed.push_back(known ? *known : rtl::FileIdentity(pslList.Strings(i)));
    }
    for (int i = 0; i < lines.Count(); ++i) {
        rtl::UnicodeString folder = lines.Strings(i);
        RemoveTrailingSeparators(folder);
        // No file system accepts a NUL in a path; such a line would name a shorter path than it shows.
        if (folder.empty() || folder.find(u'\0') != rtl::UnicodeString::npos ||
            pslList.IndexOf(folder) >= 0) {
            continue;
        }
        const rtl::TFileIdentity identity = rtl::FileIdentity(folder);
        if (std::find(listed.begin(), listed.end(), identity) != listed.end()) {
            continue;
        }
        const bool exists = rtl::DirectoryExists(folder);
        if (exists && rtl::DirectoryExists(rtl::FindChildIgnoreCase(folder, u"ACCDATA"))) {
            pslList.Add(folder);
            listed.push_back(identity);
            if (pIdentities && identity.Known) {
                pIdentities->insert_or_assign(folder, identity);
            }
        } else if (pvUnusable) {
            // A company Sage still lists but whose data is gone must not vanish without a word.
            pvUnusable->push_back({folder, folder,
                                   u"Listed in " + szFileName +
                                       (exists ? u" but the folder holds no ACCDATA folder"
                                               : u" but the folder does not exist")});
        }
    }
}

int TSageDatasetFactory::IndexOfDataset(const rtl::TStringList& pslDatasets, const rtl::UnicodeString& szFolder,
                                        const rtl::TFileIdentity* pIdentity) {
    const rtl::UnicodeString folder = DatasetFolderOfAccData(szFolder);
    const rtl::TFileIdentity identity = pIdentity && folder == szFolder ? *pIdentity : rtl::FileIdentity(folder);
    for (int i = 0; i < pslDatasets.Count(); ++i) {
        auto* dataset = dynamic_cast<TSageDataset*>(pslDatasets.Objects(i));
        if (identity.Known
                ? dataset && dataset->FolderIdentity() == identity
                : pslDatasets.Strings(i) == szFolder || (dataset && dataset->DatasetFolder() == folder)) {
            return i;
        }
    }
    return -1;
}

TSageDataset* TSageDatasetFactory::MakeDataset(const rtl::UnicodeString& szDatasetFolder) {
    TSageSetupDTA setup;
    setup.SetDatasetFolder(szDatasetFolder);
    return _MakeDataset(setup);
}

TSageDataset* TSageDatasetFactory::_MakeDataset(TSageSetupDTA& setup) {
    std::uint8_t version[2] = {0, 0};
    if (setup.ReadSpacePaddedBytes(0, 1, version) != 1) {
        rtl::UnicodeString file;
        rtl::UnicodeString reason;
        NoVersionReason(setup.DatasetFolder(), file, reason);
        throw EFactoryError(u"Sage dataset factory: Unable to read version from SETUP.DTA", file, reason);
    }
    const TSageDatasetClass* datasetClass = SageDatasetClassForVersion(version[0]);
    if (datasetClass == nullptr) {
        const rtl::UnicodeString number = rtl::IntToStr(version[0]);
        throw EFactoryError(u"Sage dataset factory: Unknown major version: " + number,
                            rtl::FindChildIgnoreCase(
                                rtl::FindChildIgnoreCase(setup.DatasetFolder(), u"ACCDATA"), u"SETUP.DTA"),
                            u"Unknown version byte " + number + u" in SETUP.DTA");
    }
    return datasetClass->Create(setup.DatasetFolder());
}

TSageDataset* TSageDatasetFactory::MakeDatasetAndLoad(const rtl::UnicodeString& szDatasetFolder,
                                                      TSageLeftOut* pWhyNot,
                                                      const rtl::TFileIdentity* pIdentity) noexcept {
    TSageDataset* dataset = nullptr;
    try {
        try {
            // One reading of SETUP.DTA serves the version byte and the header fields.
            TSageSetupDTA setup;
            setup.SetDatasetFolder(szDatasetFolder);
            dataset = _MakeDataset(setup);
            // The identity given is that of the folder as named; one named through its ACCDATA
            // level is another folder's.
            dataset->_LoadFrom(setup, dataset->DatasetFolder() == szDatasetFolder ? pIdentity : nullptr);
        } catch (const EFactoryError& e) {
            rtl::Free(dataset);
            if (pWhyNot) {
                *pWhyNot = {szDatasetFolder, e.File.empty() ? szDatasetFolder : e.File, e.Reason};
            }
            return nullptr;
        } catch (const std::exception& e) {
            rtl::Free(dataset);
            if (pWhyNot) {
                *pWhyNot = LeftOutOf(e, szDatasetFolder, szDatasetFolder);
            }
            return nullptr;
        } catch (...) {
            rtl::Free(dataset);
            if (pWhyNot) {
                *pWhyNot = {szDatasetFolder, szDatasetFolder, u"It could not be read"};
            }
            return nullptr;
        }
    } catch (...) {
        // Building the record itself failed (no memory): the folder is still left out.
        return nullptr;
    }
    return dataset;
}

std::int32_t TSageDatasetFactory::AddDatasetFromCompanyFile(rtl::TStringList& pslDatasets,
                                                            const rtl::UnicodeString& szCompanyFileName,
                                                            TSageLeftOutList* pvLeftOut) {
    std::int32_t nCount = 0;
    // Sorted, but compared exactly: two folders whose names differ only in case are two datasets
    // where names are case-sensitive, and one folder under two spellings is caught by its identity.
    rtl::TStringList folders;
    folders.SetSorted(true);
    folders.SetCaseSensitive(true);
    for (int i = 0; i < pslDatasets.Count(); ++i) {
        if (auto* dataset = dynamic_cast<TSageDataset*>(pslDatasets.Objects(i))) {
            folders.Add(dataset->DatasetFolder());
        }
    }
    TSageFolderIdentities identities;
    _ReadCompanyFile(folders, szCompanyFileName, pvLeftOut, &identities);
    for (int i = 0; i < folders.Count(); ++i) {
        const rtl::UnicodeString& folder = folders.Strings(i);
        const rtl::TFileIdentity* identity = KnownIdentity(identities, folder);
        if (IndexOfDataset(pslDatasets, folder, identity) >= 0) {
            continue;
        }
        TSageLeftOut whyNot;
        if (TSageDataset* dataset = MakeDatasetAndLoad(folder, &whyNot, identity)) {
            pslDatasets.AddObject(folder, dataset);
            ++nCount;
        } else if (pvLeftOut) {
            pvLeftOut->push_back(std::move(whyNot));
        }
    }
    return nCount;
}

std::int32_t TSageDatasetFactory::AddDatasetFromSetupFile(rtl::TStringList& pslDatasets,
                                                          const rtl::UnicodeString& szSetupFileName,
                                                          TSageLeftOut* pWhyNot) {
    if (!rtl::SameText(rtl::ExtractFileName(szSetupFileName), u"SETUP.DTA")) {
        _RaiseException(u"Not a SETUP.DTA file");
    }
    const rtl::UnicodeString accDataFolder = rtl::ExtractFileDir(szSetupFileName);
    if (IndexOfDataset(pslDatasets, accDataFolder) >= 0) {
        return -1;
    }
    TSageDataset* dataset = MakeDatasetAndLoad(accDataFolder, pWhyNot);
    if (dataset == nullptr) {
        return -1;
    }
    return pslDatasets.AddObject(accDataFolder, dataset);
}

void TSageDatasetFactory::_RaiseException(const rtl::UnicodeString& szMessage) {
    throw rtl::Exception(u"Sage dataset factory: " + szMessage);
}

} // namespace sage
