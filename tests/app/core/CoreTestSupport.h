#pragma once
// Shared fixtures of the core tests: temporary folders, generated datasets and a private registry.
#include "TempFolder.h"
#include "app/core/UserRegistryScope.h"
#include "rtl/UnicodeString.h"
#include "tools/SampleDatasetGenerator.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ven::testing {

using orvitest::ToText;
using orvitest::TTempFolder;

/// Who sees the current user's registry of a test.
enum class TUserRegistry {
    Private,           ///< this process alone, even where the registry is the system's
    SharedWithChildren ///< also the programs it starts; on Windows the system's, emptied of the product's
                       ///< keys
};

/// Points the registry store at a private folder for the object's life, and the current user's key
/// at one of its own (see TUserRegistry).
class TRegistryScope {
public:
    explicit TRegistryScope(TUserRegistry user = TUserRegistry::Private);
    ~TRegistryScope();
    TRegistryScope(const TRegistryScope&) = delete;
    TRegistryScope& operator=(const TRegistryScope&) = delete;
    /// Writes the whole file of a root key ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER").
    void WriteRootFile(const std::string& rootName, const std::string& text);
    std::string ReadRootFile(const std::string& rootName) const;

private:
    std::optional<TUserRegistryRedirection> _redirection;
    TTempFolder _folder;
    std::string _szOld;
    bool _blHadOld = false;
};

/// A dataset description with the given company, VAT number and returns (dates as d/m/y).
venturo::sample::TSampleDataset MakeDataset(const std::filesystem::path& folder, const std::string& company,
                                            const std::string& vatNumber, int returns, int firstYear = 2020);
/// One quarterly return starting on the first of month/year.
venturo::sample::TSampleReturn MakeQuarter(int year, int month, std::int64_t box1Pence);
/// Writes the dataset and returns its folder as text.
rtl::UnicodeString WriteDataset(const venturo::sample::TSampleDataset& dataset);

/// Data that cannot all be read: a dataset whose newest return file is malformed XML and whose second
/// return has a malformed Adjustments.xml (only its Jan-Mar 2020 return reads), and a dataset folder
/// whose SETUP.DTA has the unknown version byte 31.
struct TDamagedData {
    std::filesystem::path Incomplete;     // "Harrogate Tea Rooms Ltd", GB 123 4567 89
    std::filesystem::path NewestReturn;   // its malformed return file (Jul-Sep 2020)
    std::filesystem::path SecondReturn;   // its Apr-Jun 2020 return, left out for its adjustments
    std::filesystem::path BadAdjustments; // the malformed Adjustments.xml of SecondReturn
    std::filesystem::path UnknownVersion; // a dataset folder that is left out
};
TDamagedData WriteDamagedData(const std::filesystem::path& root);

} // namespace ven::testing
