// "scan": the desktop search of the program, then hand-picked files, in DataSets order.
#include "app/cli/CliScan.h"

#include "CliTestSupport.h"
#include "app/core/CoreTestSupport.h"
#include "utils/values/ORVI.FolderNameEncoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace ven::testing;
using cli::testing::RunCommand;

// A Wine prefix with the demo companies, seen by the folder macros as the program would see it.
class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        _demo = venturo::sample::WriteDemoPrefix(_tmp.Path() / "prefix", 3);
        ::setenv("WINEPREFIX", (_tmp.Path() / "prefix").c_str(), 1);
        orvi::ORVIRegisterBuiltInFolderNameEncodings();
    }
    void TearDown() override {
        ::unsetenv("WINEPREFIX");
        orvi::ORVIRegisterBuiltInFolderNameEncodings();
    }

    TTempFolder _tmp;
    TRegistryScope _registry;
    venturo::sample::TSampleSet _demo;
};

TEST_F(ScanTest, JsonListsEveryLoadableDemoDatasetOnceInLoaderOrder) {
    cli::testing::TCliRun run = RunCommand(cli::RunScan, {"--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    nlohmann::json datasets = run.Json()["datasets"];
    int loadable = 0;
    for (const auto& d : _demo.Datasets) {
        loadable += d.Loadable() ? 1 : 0;
    }
    ASSERT_EQ(static_cast<int>(datasets.size()), loadable);

    // Without returns first; then ascending by group key (period end first).
    bool seenReturns = false;
    std::string lastKey;
    int groups = 0;
    for (const auto& d : datasets) {
        ASSERT_TRUE(d.contains("folder") && d.contains("companyName") && d.contains("majorVersion"));
        if (d["latestReturn"].is_null()) {
            EXPECT_FALSE(seenReturns) << "datasets without returns come first";
            EXPECT_TRUE(d["groupKey"].is_null());
            EXPECT_EQ(d["numReturns"], 0);
            continue;
        }
        seenReturns = true;
        std::string key = d["groupKey"];
        EXPECT_LE(lastKey, key);
        lastKey = key;
        groups += d["isGroup"].get<bool>() ? 1 : 0;
    }
    EXPECT_GE(groups, 2) << "the demo holds a VAT group";
}

TEST_F(ScanTest, PickedFilesAddOnlyNewDatasetsAndReportUnreadableOnes) {
    auto extra = MakeDataset(_tmp.Path() / "extra", "Extra & Co", "GB 123 4567 89", 1);
    extra.Returns[0].CompanyName = "Extra & Co";
    WriteDataset(extra);
    fs::path company = _tmp.Path() / "COMPANY";
    venturo::sample::WriteCompanyFile(company, {extra.Folder, _demo.Datasets[0].Folder});

    cli::testing::TCliRun run =
        RunCommand(cli::RunScan, {"--json", "--company-file", company.string(), "--setup-file",
                                  (extra.Folder / "ACCDATA" / "SETUP.DTA").string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    nlohmann::json datasets = run.Json()["datasets"];
    EXPECT_EQ(datasets.back()["companyName"], "Extra & Co") << "appended after the sorted search";
    EXPECT_NE(run.Err.find("No new unique dataset was found"), std::string::npos);

    cli::testing::TCliRun bad = RunCommand(cli::RunScan, {"--company-file", (_tmp.Path() / "none").string()});
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Err.find("none"), std::string::npos);
}

TEST_F(ScanTest, WhatCouldNotBeReadIsListedWithPathAndReason) {
    const fs::path year = _tmp.Path() / "prefix/drive_c/ProgramData/Sage/Accounts/2015";
    const TDamagedData data = WriteDamagedData(year);
    venturo::sample::WriteCompanyFile(year / "COMPANY", {data.Incomplete, data.UnknownVersion});

    cli::testing::TCliRun run = RunCommand(cli::RunScan, {"--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json json = run.Json();
    ASSERT_TRUE(json["problems"].is_array());
    std::map<std::string, std::string> reasons;
    for (const auto& p : json["problems"]) {
        ASSERT_TRUE(p.contains("path") && p.contains("reason") && p.contains("file") && p.contains("folder"));
        reasons[p["path"]] = p["reason"];
    }
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[data.UnknownVersion.string()], "Unknown version byte 31 in SETUP.DTA");
    EXPECT_EQ(reasons[data.NewestReturn.string()].rfind("Malformed XML: ", 0), 0u);
    EXPECT_EQ(reasons[data.SecondReturn.string()].rfind("Malformed XML: ", 0), 0u);
    int incomplete = 0;
    for (const auto& d : json["datasets"]) {
        if (d["incomplete"].get<bool>()) {
            ++incomplete;
            EXPECT_EQ(d["folder"], data.Incomplete.string());
            EXPECT_EQ(d["numReturns"], 1);
        }
    }
    EXPECT_EQ(incomplete, 1);

    cli::testing::TCliRun text = RunCommand(cli::RunScan, {});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find(", 1 return, latest 01/01/2020 - 31/03/2020"), std::string::npos) << text.Out;
    EXPECT_EQ(text.Out.find(" 1 returns"), std::string::npos);
    EXPECT_NE(text.Out.find("    2 items could not be read; returns may be missing from this dataset\n"),
              std::string::npos);
    EXPECT_NE(text.Out.find("3 items could not be read:\n  " + data.UnknownVersion.string() + "\n"),
              std::string::npos)
        << text.Out;
}

TEST_F(ScanTest, ListedFoldersThatAreGoneOrHoldNoDataAreListedAsUnreadable) {
    const fs::path year = _tmp.Path() / "prefix/drive_c/ProgramData/Sage/Accounts/2017";
    fs::create_directories(year / "Empty");
    venturo::sample::WriteCompanyFile(year / "COMPANY", {year / "Gone", year / "Empty"});
    const std::string company = (year / "COMPANY").string();

    for (bool json : {true, false}) {
        cli::testing::TCliRun run = RunCommand(cli::RunScan, json ? std::vector<std::string>{"--json"}
                                                                  : std::vector<std::string>{});
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::string gone = "Listed in " + company + " but the folder does not exist";
        const std::string empty = "Listed in " + company + " but the folder holds no ACCDATA folder";
        if (json) {
            std::map<std::string, std::string> reasons;
            const nlohmann::json out = run.Json();
            for (const auto& p : out["problems"]) {
                reasons[p["path"]] = p["reason"];
            }
            EXPECT_EQ(reasons[(year / "Gone").string()], gone);
            EXPECT_EQ(reasons[(year / "Empty").string()], empty);
        } else {
            EXPECT_NE(run.Out.find("  " + (year / "Gone").string() + "\n    " + gone), std::string::npos) << run.Out;
            EXPECT_NE(run.Out.find(empty), std::string::npos);
        }
    }
}

// Two companies without a VAT number have nothing in common: no group.
TEST_F(ScanTest, CompaniesWithoutAVatNumberAreNeverAGroup) {
    const fs::path year = _tmp.Path() / "prefix/drive_c/ProgramData/Sage/Accounts/2018";
    std::vector<fs::path> folders;
    for (const char* name : {"Blank One", "Blank Two", "Spaces One", "Spaces Two"}) {
        auto d = MakeDataset(year / name, name, std::string(name).starts_with("Blank") ? "" : "   ", 1);
        WriteDataset(d);
        folders.push_back(d.Folder);
    }
    venturo::sample::WriteCompanyFile(year / "COMPANY", folders);

    cli::testing::TCliRun run = RunCommand(cli::RunScan, {"--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    int seen = 0;
    const nlohmann::json out = run.Json();
    for (const auto& d : out["datasets"]) {
        const std::string name = d["companyName"];
        if (name.find(" One") != std::string::npos || name.find(" Two") != std::string::npos) {
            ++seen;
            EXPECT_FALSE(d["isGroup"].get<bool>()) << name;
        }
    }
    EXPECT_EQ(seen, 4);
}

TEST_F(ScanTest, WrongUsage) {
    EXPECT_EQ(RunCommand(cli::RunScan, {"folder"}).Status, 2);
    EXPECT_EQ(RunCommand(cli::RunScan, {"--bogus"}).Status, 2);
    EXPECT_EQ(RunCommand(cli::RunScan, {"--date-separator", "ab"}).Status, 2);
    cli::testing::TCliRun run = RunCommand(cli::RunScan, {"--date-separator", "--json"});
    EXPECT_EQ(run.Status, 2) << "an option is not taken as a value";
    EXPECT_NE(run.Err.find("--date-separator needs a value"), std::string::npos) << run.Err;
}

TEST_F(ScanTest, AnOddSeparatorIsAValueNotACompanyFile) {
    cli::testing::TCliRun run = RunCommand(cli::RunScan, {"--date-separator", "#", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(run.Err.empty()) << run.Err;
    EXPECT_EQ(run.Json()["datasets"].size(), RunCommand(cli::RunScan, {"--json"}).Json()["datasets"].size());
}

} // namespace
