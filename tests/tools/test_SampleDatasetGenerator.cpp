#include "SampleDatasetGenerator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace venturo::sample;

namespace {

/// A fresh folder per test, removed afterwards.
class SampleDatasetGenerator : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        _root = fs::path(::testing::TempDir()) / (std::string("venturo_sample_") + info->name());
        fs::remove_all(_root);
        fs::create_directories(_root);
    }
    void TearDown() override { fs::remove_all(_root); }
    fs::path _root;
};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Relative path -> bytes of every file below root, with root itself blanked out of the contents.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::string bytes = ReadFile(entry.path());
        for (std::size_t at; (at = bytes.find(root.string())) != std::string::npos;)
            bytes.replace(at, root.string().size(), "<root>");
        files[fs::relative(entry.path(), root).generic_string()] = bytes;
    }
    return files;
}

std::vector<std::string> CompanyLines(const fs::path& file) {
    const std::string text = ReadFile(file);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TSampleOptions Options(const fs::path& out, std::uint64_t seed) {
    TSampleOptions options;
    options.OutputFolder = out;
    options.Datasets = 7;
    options.ReturnsPerDataset = 5;
    options.Seed = seed;
    options.VatGroups = 1;
    options.Faults = {true, true, true, true};
    options.MixedCaseNames = true;
    return options;
}

} // namespace

TEST_F(SampleDatasetGenerator, SameSeedGivesIdenticalBytesAndOtherSeedsDiffer) {
    GenerateSampleDatasets(Options(_root / "a", 42));
    GenerateSampleDatasets(Options(_root / "b", 42));
    GenerateSampleDatasets(Options(_root / "c", 43));
    const auto a = Snapshot(_root / "a");
    EXPECT_GT(a.size(), 7u * 5u);
    EXPECT_EQ(a, Snapshot(_root / "b"));
    EXPECT_NE(a, Snapshot(_root / "c"));
}

TEST_F(SampleDatasetGenerator, SetupFieldsLieAtEachVersionsOffsets) {
    TSampleDataset dataset;
    dataset.CompanyName = "Brown & Webb Caf\xC3\xA9";
    dataset.Address1 = "12 High Street";
    dataset.PostCode = "LS2 9SD";
    dataset.VatNumber = "GB 123 4567 89";
    dataset.Uuid = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    for (int version = kMinMajorVersion; version <= kMaxMajorVersion; ++version) {
        SCOPED_TRACE(version);
        dataset.MajorVersion = dataset.VersionByte = version;
        const TSetupLayout layout = SetupLayoutFor(version);
        const std::string bytes = SetupDtaBytes(dataset);
        ASSERT_GE(bytes.size(), SetupMinimumSize(version));
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), version);
        EXPECT_EQ(bytes.substr(3, 18), "Brown & Webb Caf\xE9 "); // Latin-1, space-padded
        EXPECT_EQ(bytes[63], '\0');
        EXPECT_EQ(bytes.substr(64, 15), "12 High Street ");
        EXPECT_EQ(bytes.substr(308 + 7, 61 - 7), std::string(61 - 7, ' '));
        const std::string vat = bytes.substr(static_cast<std::size_t>(layout.VatNumberOffset),
                                             static_cast<std::size_t>(layout.VatNumberWidth));
        EXPECT_EQ(vat,
                  "GB 123 4567 89" + std::string(static_cast<std::size_t>(layout.VatNumberWidth) - 14, ' '));
        if (version < 10)
            EXPECT_EQ(bytes.find(dataset.Uuid), std::string::npos);
        else
            EXPECT_EQ(bytes.substr(static_cast<std::size_t>(layout.UuidOffset), 36), dataset.Uuid);
    }
    EXPECT_EQ(SetupLayoutFor(14).VatNumberOffset, 3884);
    EXPECT_EQ(SetupLayoutFor(20).VatNumberWidth, 20);
    EXPECT_EQ(SetupLayoutFor(19).VatNumberWidth, 30);
    EXPECT_EQ(SetupLayoutFor(30).UuidOffset, 6651);
    EXPECT_THROW(SetupLayoutFor(7), std::invalid_argument);
    EXPECT_THROW(SetupLayoutFor(31), std::invalid_argument);
}

TEST_F(SampleDatasetGenerator, FaultsLandOnDisk) {
    const TSampleSet set = GenerateSampleDatasets(Options(_root, 5));
    int truncated = 0, unknown = 0, malformed = 0, impossible = 0;
    for (const TSampleDataset& d : set.Datasets) {
        const std::uint64_t size = fs::file_size(d.Folder / d.Names.AccData / d.Names.SetupDta);
        if (d.SetupFault == TSetupFault::Truncated) {
            ++truncated;
            EXPECT_LT(size, static_cast<std::uint64_t>(SetupLayoutFor(d.MajorVersion).VatNumberOffset));
        } else {
            EXPECT_GE(size, SetupMinimumSize(d.MajorVersion));
        }
        if (d.SetupFault == TSetupFault::UnknownVersion) {
            ++unknown;
            EXPECT_TRUE(d.VersionByte < 8 || d.VersionByte > 30);
            EXPECT_FALSE(d.Loadable());
        }
        for (const TSampleReturn& r : d.Returns) {
            const std::string xml =
                ReadFile(d.Folder / d.Names.VatRtns / std::to_string(r.YearFolder()) / r.FileName());
            const bool closed = xml.find("</VATRETURN>") != std::string::npos;
            malformed += r.Fault == TReturnFault::MalformedXml;
            EXPECT_EQ(closed, r.Fault != TReturnFault::MalformedXml);
            if (r.Fault == TReturnFault::ImpossibleDate) {
                ++impossible;
                EXPECT_NE(xml.find("<DATEFROM>30/02/"), std::string::npos);
            }
        }
    }
    EXPECT_EQ(truncated, 1);
    EXPECT_EQ(unknown, 1);
    EXPECT_EQ(malformed, 1);
    EXPECT_EQ(impossible, 1);
}

TEST_F(SampleDatasetGenerator, AmountsAndAdjustmentsFollowTheReadersRules) {
    EXPECT_EQ(FormatAmount(123456), "1234.56");
    EXPECT_EQ(FormatAmount(-5, ','), "-0,05");
    EXPECT_EQ(FormatAmount(0), "0.00");

    TSampleReturn r;
    r.BoxesPence = {1000, 200, 9999, 300, 9999};
    r.Adjustments = {{0, 10000, 0}, {0, 777, 1}, {3, -50, 3}};
    const auto boxes = r.ExpectedBoxesPence();
    EXPECT_EQ(boxes[0], 11000); // the adjustment entered in another box is skipped
    EXPECT_EQ(boxes[2], 11200); // box 3 = box 1 + box 2
    EXPECT_EQ(boxes[3], 250);
    EXPECT_EQ(boxes[4], 10950); // box 5 = box 3 - box 4
    const std::string xml = AdjustmentsXml(r, ',');
    EXPECT_NE(xml.find("<Box type=\"0\">"), std::string::npos);
    EXPECT_NE(xml.find("<Value>100,00</Value>"), std::string::npos);
    EXPECT_NE(xml.find("<Value>-0,50</Value>"), std::string::npos);

    r.DateFrom = {2021, 4, 1};
    r.DateTo = {2021, 6, 30};
    EXPECT_EQ(r.FileName(), "VAT Return 01-04-2021 - 30-06-2021.xml");
    r.CompanyName = "Hartley & Sons";
    EXPECT_NE(ReturnXml(r).find("<COMPANY>Hartley &amp; Sons</COMPANY>"), std::string::npos);
}

TEST_F(SampleDatasetGenerator, DemoPrefixListsEveryDatasetInCompanyFiles) {
    const TSampleSet set = WriteDemoPrefix(_root / "prefix");
    const fs::path accounts = _root / "prefix" / "drive_c" / "ProgramData" / "Sage" / "Accounts";
    std::set<fs::path> listed;
    for (const auto& year : fs::directory_iterator(accounts)) {
        const int number = std::stoi(year.path().filename().string());
        EXPECT_TRUE(number >= 2008 && number <= 2022) << number; // the years the desktop search visits
        for (const std::string& line : CompanyLines(year.path() / "COMPANY")) {
            EXPECT_TRUE(fs::is_directory(fs::path(line) / "ACCDATA")) << line;
            listed.insert(fs::path(line));
        }
    }
    std::map<std::string, std::vector<const TSampleDataset*>> byVatNumber;
    std::set<int> versions;
    int several = 0, single = 0;
    for (const TSampleDataset& d : set.Datasets) {
        EXPECT_TRUE(listed.contains(d.Folder)) << d.Folder;
        byVatNumber[d.VatNumber].push_back(&d);
        versions.insert(d.MajorVersion);
        several += d.Returns.size() > 1;
        single += d.Returns.size() == 1;
    }
    EXPECT_EQ(listed.size(), set.Datasets.size());
    EXPECT_EQ(CompanyLines(set.CompanyFile).size(), set.Datasets.size());
    EXPECT_GE(several, 1);
    EXPECT_GE(single, 3);
    EXPECT_EQ(*versions.begin(), 8);
    EXPECT_EQ(*versions.rbegin(), 30);
    bool group = false;
    for (const auto& [vat, members] : byVatNumber)
        if (members.size() >= 2 && !members[0]->Returns.empty() && !members[1]->Returns.empty())
            group = group || members[0]->Returns[0].DateTo == members[1]->Returns[0].DateTo;
    EXPECT_TRUE(group);
}
