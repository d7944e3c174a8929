#pragma once
// Deterministic synthetic Sage company datasets for tests, benchmarks, fuzz seeds and the demo.
// Plain C++ on the standard library: every text is UTF-8, every amount is in pence, and the same
// options (seed included) always give the same bytes on disk.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace venturo::sample {

// --- SETUP.DTA layout --------------------------------------------------------------------------
inline constexpr int kCompanyNameOffset = 3;
inline constexpr int kCompanyNameWidth = 61; // read over 60, written over 61 with a final NUL
inline constexpr int kAddress1Offset = 64;
inline constexpr int kAddress2Offset = 125;
inline constexpr int kTownOffset = 186;
inline constexpr int kCountyOffset = 247;
inline constexpr int kPostCodeOffset = 308;
inline constexpr int kAddressWidth = 61;
inline constexpr int kUuidWidth = 36;
inline constexpr int kMinMajorVersion = 8;
inline constexpr int kMaxMajorVersion = 30;

/// Placement of the version-dependent SETUP.DTA fields.
struct TSetupLayout {
    int VatNumberOffset = 0;
    int VatNumberWidth = 0;
    int UuidOffset = -1; // -1: the version has no UUID
};

/// The layout of major version 8..30; throws std::invalid_argument for any other version.
TSetupLayout SetupLayoutFor(int nMajorVersion);
/// Smallest SETUP.DTA size that holds every field of the version.
std::size_t SetupMinimumSize(int nMajorVersion);

// --- Description of what gets written ------------------------------------------------------------
struct TDate {
    int Year = 0, Month = 0, Day = 0;
    friend bool operator==(const TDate&, const TDate&) = default;
};

/// One entry of an Adjustments.xml Box: counted only when EnteredInBox equals the Box type.
struct TAdjustment {
    int BoxType = 0; // box number less one
    std::int64_t ValuePence = 0;
    int EnteredInBox = 0;
};

enum class TReturnFault {
    None,
    MalformedXml,   // the file is cut off half way: not well-formed
    ImpossibleDate, // DATEFROM holds 30 February
};

struct TSampleReturn {
    TDate DateFrom, DateTo;
    std::string CompanyName;
    std::array<std::int64_t, 13> BoxesPence{}; // boxes 1..13 as written in the file
    bool WriteBoxes10To13 = false;
    std::int64_t FlatRateLiabilityPence = 0;
    std::int64_t StandardRateLiabilityPence = 0;
    std::int64_t StandardRateSalesPence = 0;
    std::int64_t StandardRatePurchasePence = 0;
    std::int64_t FlatRateBenefitCostPence = 0;
    std::vector<TAdjustment> Adjustments; // empty: no Adjustments.xml
    TReturnFault Fault = TReturnFault::None;

    /// "VAT Return dd-mm-yyyy - dd-mm-yyyy.xml".
    std::string FileName() const;
    /// The VATRTNS year folder that holds the file: the year of DateTo.
    int YearFolder() const;
    /// Boxes 1..13 a correct reader ends with: adjustments applied, then boxes 3 and 5 recomputed.
    std::array<std::int64_t, 13> ExpectedBoxesPence() const;
};

enum class TSetupFault {
    None,
    Truncated,      // SETUP.DTA cut short before the VAT number
    UnknownVersion, // version byte outside 8..30
};

/// Letter case of the fixed child names; the readers must find them whatever their case.
struct TFixedNames {
    std::string AccData = "ACCDATA";
    std::string SetupDta = "SETUP.DTA";
    std::string Watermark = "Watermark.xml";
    std::string VatRtns = "VATRTNS";
    std::string Data = "_Data";
    std::string Adjustments = "Adjustments.xml";
};

struct TSampleDataset {
    std::filesystem::path Folder; // absolute dataset folder
    int MajorVersion = 27;
    std::string VersionText; // first line of Watermark.xml; empty: no Watermark.xml is written
    std::string CompanyName, Address1, Address2, Town, County, PostCode;
    std::string VatNumber; // as typed, e.g. "GB 123 4567 89"
    std::string Uuid;      // 36 characters; not written for versions 8 and 9
    std::vector<TSampleReturn> Returns;
    TSetupFault SetupFault = TSetupFault::None;
    int SetupSize = 0;   // bytes of SETUP.DTA (smaller than the layout needs when truncated)
    int VersionByte = 0; // byte 0 of SETUP.DTA: MajorVersion unless the version is unknown
    TFixedNames Names;

    /// The version text a correct reader reports: VersionText, or the major version in decimal.
    std::string ExpectedVersion() const;
    /// The first nine digits of the VAT number.
    std::string VatNumberDigits() const;
    /// Whether a correct factory builds a dataset from the folder at all.
    bool Loadable() const { return SetupFault != TSetupFault::UnknownVersion; }
};

// --- Generation ----------------------------------------------------------------------------------
struct TSampleFaults {
    bool UnreadableReturn = false; // one extra return file that is not well-formed XML
    bool ImpossibleDate = false;   // one extra return file with an impossible date
    bool TruncatedSetup = false;   // one dataset's SETUP.DTA cut short
    bool UnknownVersion = false;   // one dataset with version byte 31 or 7
};

struct TSampleOptions {
    std::filesystem::path OutputFolder;
    int Datasets = 3;
    int ReturnsPerDataset = 4;
    std::uint64_t Seed = 1;
    std::vector<int> Versions; // cycled over the datasets; empty: spread over 8..30
    TSampleFaults Faults;      // each fault lands on one dataset chosen from the seed
    int VatGroups = 0;         // groups of 2-3 datasets sharing one VAT number and their periods
    char DecimalSeparator = '.';
    bool MixedCaseNames = false;  // fixed child names in varied letter case
    bool WriteCompanyFile = true; // OutputFolder/COMPANY listing every dataset folder
};

struct TSampleSet {
    std::vector<TSampleDataset> Datasets;
    std::filesystem::path CompanyFile; // empty when none was written
};

/// Describes the datasets the options ask for, without touching the disk.
TSampleSet MakeSampleSet(const TSampleOptions& options);
/// Writes the datasets (and the COMPANY file) that MakeSampleSet describes; returns the description.
TSampleSet GenerateSampleDatasets(const TSampleOptions& options);

/// Writes one dataset folder: ACCDATA/SETUP.DTA, Watermark.xml, the returns and their adjustments.
void WriteSampleDataset(const TSampleDataset& dataset, char cDecimalSeparator = '.');
/// Writes a COMPANY file: one folder per line, each line ended by CR LF.
void WriteCompanyFile(const std::filesystem::path& file, const std::vector<std::filesystem::path>& folders);

/// The bytes of the dataset's SETUP.DTA (texts as Latin-1; characters above U+00FF become '?').
std::string SetupDtaBytes(const TSampleDataset& dataset);
/// The bytes of one return file.
std::string ReturnXml(const TSampleReturn& vatReturn, char cDecimalSeparator = '.');
/// The bytes of a return's Adjustments.xml.
std::string AdjustmentsXml(const TSampleReturn& vatReturn, char cDecimalSeparator = '.');
/// Pence as "1234.56" (with the given separator), "-" before negative amounts.
std::string FormatAmount(std::int64_t nPence, char cDecimalSeparator = '.');

// --- Demo -----------------------------------------------------------------------------------------
/// Writes a Wine-style prefix: drive_c/ProgramData/Sage/Accounts/<year>/<dataset folders> with a COMPANY
/// file in each year folder, and drive_c/Program Files (x86)/Sage/Accounts/COMPANY listing them all.
/// Holds a VAT group, datasets with several returns, single-return ones and versions 8..30.
TSampleSet WriteDemoPrefix(const std::filesystem::path& prefix, std::uint64_t nSeed = 1);

} // namespace venturo::sample
