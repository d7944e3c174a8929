#pragma once
// Entry point of the dataset library: finds dataset folders and builds the right version class.
#include "SageApi.h"
#include "SageDataset.h"

#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <map>

namespace sage {

/// Real COMPANY files list a handful of folders; a larger one is refused ("too large") rather than
/// read without end.
inline constexpr std::int64_t kMaxCompanyFileSize = 16 * 1024 * 1024;

/// The identities of the dataset folders a search listed, by the folder's text as listed: checking
/// whether a folder is loaded already and loading it then take no identity again (on Windows each is a
/// query of the volume).
using TSageFolderIdentities = std::map<rtl::UnicodeString, rtl::TFileIdentity>;

/// Stateless; any number may exist, plus one process-wide shared instance. MakeDatasetAndLoad may run
/// on several threads at once (it changes nothing shared); the rest is for one thread at a time.
class SAGE_API TSageDatasetFactory : public rtl::TObject {
public:
    TSageDatasetFactory() = default;
    /// Destroying the shared instance clears it.
    ~TSageDatasetFactory() override;

    /// The shared instance, created on first call (not guarded: call first on one thread).
    static TSageDatasetFactory* GetSingleton();
    /// The shared instance or null; never creates it.
    static TSageDatasetFactory* PeekSingleton() noexcept;
    /// Frees the shared instance if there is one.
    static void FreeSingleton();

    /// Adds the dataset folders listed in szCompanyFolder's COMPANY file that exist, have ACCDATA and are
    /// not in pslLocations yet; nothing without a COMPANY file. Raises EFOpenError when it cannot be read.
    /// A listed folder that does not exist or has no ACCDATA is added to pvUnusable when given, with a
    /// reason naming the COMPANY file. pIdentities, when given, gains the identity of each folder added and
    /// answers for the folders of pslLocations it holds.
    void GetCompanyDatasetLocations(rtl::TStringList& pslLocations, const rtl::UnicodeString& szCompanyFolder,
                                    TSageLeftOutList* pvUnusable = nullptr,
                                    TSageFolderIdentities* pIdentities = nullptr);
    /// The unloaded version object for a dataset folder (or its ACCDATA folder), owned by the caller.
    /// Raises "Sage dataset factory: ..." when the version byte cannot be read or is not 8 to 30.
    TSageDataset* MakeDataset(const rtl::UnicodeString& szDatasetFolder);
    /// MakeDataset and Load; null on any failure, and then, when pWhyNot is given, the record of the
    /// folder left out and why. pIdentity, when given, is the identity of szDatasetFolder just taken (by
    /// GetCompanyDatasetLocations): the dataset keeps it. Never raises.
    TSageDataset* MakeDatasetAndLoad(const rtl::UnicodeString& szDatasetFolder, TSageLeftOut* pWhyNot = nullptr,
                                     const rtl::TFileIdentity* pIdentity = nullptr) noexcept;
    /// Loads each new dataset of a COMPANY file and appends it (entry text the folder); returns the count
    /// appended, and adds the folders that did not load to pvLeftOut when given. Raises EFOpenError
    /// when the file cannot be read.
    std::int32_t AddDatasetFromCompanyFile(rtl::TStringList& pslDatasets,
                                           const rtl::UnicodeString& szCompanyFileName,
                                           TSageLeftOutList* pvLeftOut = nullptr);
    /// Loads the dataset of a picked ACCDATA/SETUP.DTA and appends it (entry text the ACCDATA folder);
    /// returns its index, or -1 when the dataset is already listed or does not load (then pWhyNot,
    /// when given, says why; it stays empty for a dataset already listed). Raises
    /// "Sage dataset factory: Not a SETUP.DTA file" for any other file name.
    std::int32_t AddDatasetFromSetupFile(rtl::TStringList& pslDatasets,
                                         const rtl::UnicodeString& szSetupFileName,
                                         TSageLeftOut* pWhyNot = nullptr);

    /// Index of the entry of pslDatasets whose dataset is the one in szFolder (a dataset folder or its
    /// ACCDATA folder), told by the folder's identity on disk rather than by the spelling of its path;
    /// -1 when none is. A folder that cannot be reached matches an entry of exactly that text only.
    /// pIdentity, when given, is szFolder's identity, already taken.
    static int IndexOfDataset(const rtl::TStringList& pslDatasets, const rtl::UnicodeString& szFolder,
                              const rtl::TFileIdentity* pIdentity = nullptr);

private:
    /// MakeDataset for the SETUP.DTA reader of the dataset folder.
    TSageDataset* _MakeDataset(TSageSetupDTA& setup);
    void _ReadCompanyFile(rtl::TStringList& pslList, const rtl::UnicodeString& szFileName,
                          TSageLeftOutList* pvUnusable, TSageFolderIdentities* pIdentities);
    /// Raises rtl::Exception "Sage dataset factory: " + message.
    [[noreturn]] void _RaiseException(const rtl::UnicodeString& szMessage);

    static TSageDatasetFactory* _pSingleton;
};

} // namespace sage
