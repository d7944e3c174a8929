#pragma once
// Builds Sage dataset folders byte for byte in temporary folders, for the dataset library's tests.
#include "TempFolder.h"
#include "rtl/UnicodeString.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sagetest {

using orvitest::ToText;
using orvitest::TTempFolder;

/// Writes bytes, creating missing parent folders.
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);
/// Every regular file below folder with its bytes and modification time, for proving nothing changed.
std::map<std::filesystem::path, std::pair<std::string, std::filesystem::file_time_type>>
SnapshotFiles(const std::filesystem::path& folder);

/// Offsets of the version-dependent fields of SETUP.DTA.
struct TSetupLayout {
    int VatNumberOffset;
    int VatNumberWidth;
    int UuidOffset; // 0: none
};
TSetupLayout LayoutFor(int version);

/// Header fields as 8-bit bytes (each byte one character).
struct TSetupFields {
    int VersionByte = 27;
    std::string CompanyName = "ACME LTD";
    std::string Address1 = "1 High Street";
    std::string Address2 = "Little Wittering";
    std::string Town = "Oxford";
    std::string County = "Oxfordshire";
    std::string PostCode = "OX1 1AA";
    std::string VatNumber = "GB 123 4567 89";
    std::string Uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
};

/// SETUP.DTA bytes for the fields at the layout of the given version (VersionByte may differ from it).
std::string MakeSetupDta(const TSetupFields& fields, int layoutVersion);

/// A <VATRETURN> document of the given (name, text) children, in order.
std::string ReturnXml(const std::vector<std::pair<std::string, std::string>>& elements,
                      std::string_view rootName = "VATRETURN");
/// A plain complete return: dates, company, boxes 1 to 9 as given (in pounds text).
std::string
SimpleReturnXml(std::string_view dateFrom, std::string_view dateTo, std::string_view company = "ACME LTD",
                const std::vector<std::string>& boxes = {"100.00", "20.00", "120.00", "30.00", "90.00",
                                                         "500.00", "150.00", "0.00", "0.00"});

/// One dataset folder: writes its parts on request.
class TDatasetBuilder {
public:
    explicit TDatasetBuilder(std::filesystem::path folder) : _folder(std::move(folder)) {}

    const std::filesystem::path& Folder() const noexcept { return _folder; }
    rtl::UnicodeString Text() const { return ToText(_folder); }

    /// Writes ACCDATA/SETUP.DTA (names as given, to test letter case).
    std::filesystem::path WriteSetup(const TSetupFields& fields, int layoutVersion,
                                     std::string_view accData = "ACCDATA",
                                     std::string_view setupDta = "SETUP.DTA");
    std::filesystem::path WriteSetupBytes(std::string_view bytes, std::string_view accData = "ACCDATA",
                                          std::string_view setupDta = "SETUP.DTA");
    std::filesystem::path WriteWatermark(std::string_view bytes, std::string_view name = "Watermark.xml");
    /// VATRTNS/<year>/<fileName>.
    std::filesystem::path WriteReturn(std::string_view year, std::string_view fileName, std::string_view xml,
                                      std::string_view vatRtns = "VATRTNS");
    /// VATRTNS/_Data/<year>-<fileName less .xml>/Adjustments.xml.
    std::filesystem::path WriteAdjustments(std::string_view year, std::string_view fileName,
                                           std::string_view xml, std::string_view vatRtns = "VATRTNS",
                                           std::string_view data = "_Data",
                                           std::string_view adjustments = "Adjustments.xml");

private:
    std::filesystem::path _folder;
};

/// An Adjustments.xml of Box elements: (type, list of (value text, enteredInBox text)).
std::string AdjustmentsXml(
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>& boxes,
    std::string_view rootName = "VatReturn");

} // namespace sagetest
