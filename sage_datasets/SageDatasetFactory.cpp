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

void RemoveTrailingSeparators(rtl::UnicodeString& s) {
    while (!s.empty() && (s.back() == rtl::PathDelim || s.back() == u'/')) {
        s.pop_back();
    }
}

// A picked ACCDATA folder without its trailing separator and final ACCDATA level.
rtl::UnicodeString DatasetFolderOfAccData(rtl::UnicodeString folder) {
    if (!folder.empty() && folder.back() == rtl::PathDelim) {
        folder.pop_back();
    }
    const rtl::UnicodeString accDataLevel = rtl::UnicodeString(1, rtl::PathDelim) + u"AccData";
    if (rtl::EndsText(accDataLevel, folder)) {
        folder.resize(folder.size() - accDataLevel.size());
    }
    return folder;
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
                                                     const rtl::UnicodeString& szCompanyFolder) {
    const rtl::UnicodeString fileName = rtl::FindChildIgnoreCase(szCompanyFolder, u"COMPANY");
    if (rtl::FileExists(fileName)) {
        _ReadCompanyFile(pslLocations, fileName);
    }
}

void TSageDatasetFactory::_ReadCompanyFile(rtl::TStringList& pslList, const rtl::UnicodeString& szFileName) {
    rtl::TStringList lines;
    lines.LoadFromFile(szFileName, kMaxCompanyFileSize);
    // A folder already listed under another spelling (a link, "." levels) is the same dataset.
    std::vector<rtl::TFileIdentity> listed;
    listed.reserve(static_cast<std::size_t>(pslList.Count()));
    for (int i = 0; i < pslList.Count(); ++i) {
        listed.push_back(rtl::FileIdentity(pslList.Strings(i)));
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
        if (rtl::DirectoryExists(folder) &&
            rtl::DirectoryExists(rtl::FindChildIgnoreCase(folder, u"ACCDATA"))) {
            pslList.Add(folder);
            listed.push_back(identity);
        }
    }
}

int TSageDatasetFactory::IndexOfDataset(const rtl::TStringList& pslDatasets,
                                        const rtl::UnicodeString& szFolder) {
    const rtl::UnicodeString folder = DatasetFolderOfAccData(szFolder);
    const rtl::TFileIdentity identity = rtl::FileIdentity(folder);
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
        _RaiseException(u"Unable to read version from SETUP.DTA");
    }
    const TSageDatasetClass* datasetClass = SageDatasetClassForVersion(version[0]);
    if (datasetClass == nullptr) {
        _RaiseException(u"Unknown major version: " + rtl::IntToStr(version[0]));
    }
    return datasetClass->Create(setup.DatasetFolder());
}

TSageDataset* TSageDatasetFactory::MakeDatasetAndLoad(const rtl::UnicodeString& szDatasetFolder) noexcept {
    TSageDataset* dataset = nullptr;
    try {
        // One reading of SETUP.DTA serves the version byte and the header fields.
        TSageSetupDTA setup;
        setup.SetDatasetFolder(szDatasetFolder);
        dataset = _MakeDataset(setup);
        dataset->_LoadFrom(setup);
    } catch (...) {
        rtl::Free(dataset);
        return nullptr;
    }
    return dataset;
}

std::int32_t TSageDatasetFactory::AddDatasetFromCompanyFile(rtl::TStringList& pslDatasets,
                                                            const rtl::UnicodeString& szCompanyFileName) {
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
    _ReadCompanyFile(folders, szCompanyFileName);
    for (int i = 0; i < folders.Count(); ++i) {
        const rtl::UnicodeString& folder = folders.Strings(i);
        if (IndexOfDataset(pslDatasets, folder) >= 0) {
            continue;
        }
        if (TSageDataset* dataset = MakeDatasetAndLoad(folder)) {
            pslDatasets.AddObject(folder, dataset);
            ++nCount;
        }
    }
    return nCount;
}

std::int32_t TSageDatasetFactory::AddDatasetFromSetupFile(rtl::TStringList& pslDatasets,
                                                          const rtl::UnicodeString& szSetupFileName) {
    if (!rtl::SameText(rtl::ExtractFileName(szSetupFileName), u"SETUP.DTA")) {
        _RaiseException(u"Not a SETUP.DTA file");
    }
    const rtl::UnicodeString accDataFolder = rtl::ExtractFileDir(szSetupFileName);
    if (IndexOfDataset(pslDatasets, accDataFolder) >= 0) {
        return -1;
    }
    TSageDataset* dataset = MakeDatasetAndLoad(accDataFolder);
    if (dataset == nullptr) {
        return -1;
    }
    return pslDatasets.AddObject(accDataFolder, dataset);
}

void TSageDatasetFactory::_RaiseException(const rtl::UnicodeString& szMessage) {
    throw rtl::Exception(u"Sage dataset factory: " + szMessage);
}

} // namespace sage
