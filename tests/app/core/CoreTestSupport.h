#pragma once
// Shared fixtures of the core tests: temporary folders, generated datasets and a private registry.
#include "TempFolder.h"
#include "rtl/UnicodeString.h"
#include "tools/SampleDatasetGenerator.h"

#include <filesystem>
#include <string>

namespace ven::testing {

using orvitest::ToText;
using orvitest::TTempFolder;

/// Points the registry store at a private folder for the object's life.
class TRegistryScope {
public:
    TRegistryScope();
    ~TRegistryScope();
    TRegistryScope(const TRegistryScope&) = delete;
    TRegistryScope& operator=(const TRegistryScope&) = delete;
    /// Writes the whole file of a root key ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER").
    void WriteRootFile(const std::string& rootName, const std::string& text);
    std::string ReadRootFile(const std::string& rootName) const;

private:
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

} // namespace ven::testing
