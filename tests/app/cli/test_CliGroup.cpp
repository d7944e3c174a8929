// "group": the VAT-group tree and a period's combined URL.
#include "app/cli/CliGroup.h"

#include "CliTestSupport.h"
#include "app/core/CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace ven::testing;
using cli::testing::RunCommand;

class GroupCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto a = MakeDataset(_tmp.Path() / "a", "Alpha Ltd", "GB 123 4567 89", 0);
        a.Returns = {MakeQuarter(2021, 1, 10000), MakeQuarter(2021, 4, 20000)};
        auto b = MakeDataset(_tmp.Path() / "b", "Beta Ltd", "123456789", 0);
        b.Returns = {MakeQuarter(2021, 4, -5000)};
        for (auto* d : {&a, &b}) {
            for (auto& r : d->Returns) {
                r.CompanyName = d->CompanyName;
            }
            WriteDataset(*d);
        }
        _a = a.Folder.string();
        _b = b.Folder.string();
    }

    TTempFolder _tmp;
    std::string _a, _b;
};

TEST_F(GroupCliTest, JsonTreeWithMembersAndSums) {
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {"--json", _a, _b});
    ASSERT_EQ(run.Status, 0) << run.Err;
    nlohmann::json j = run.Json();
    EXPECT_EQ(j["vatNumber"], "GB 123 4567 89");
    ASSERT_EQ(j["periods"].size(), 2u);
    const auto& q2 = j["periods"][0];
    EXPECT_EQ(q2["period"], "01/04/2021 - 30/06/2021");
    EXPECT_EQ(q2["combined"]["dateFrom"], "2021-04-01");
    EXPECT_EQ(q2["combined"]["vatNumber"], "123456789");
    EXPECT_EQ(q2["combined"]["boxes"][0], (20000 - 5000) * 100);
    EXPECT_EQ(q2["members"][1]["companyName"], "Beta Ltd");
    EXPECT_TRUE(q2["members"][1]["included"].get<bool>());
    const auto& q1 = j["periods"][1];
    EXPECT_FALSE(q1["members"][1]["hasReturn"].get<bool>());
    EXPECT_TRUE(q1["members"][1]["boxes"].is_null());
}

TEST_F(GroupCliTest, ExcludeUnticksAMemberAndTheUrlCarriesTheName) {
    cli::testing::TCliRun run =
        RunCommand(cli::RunGroup, {"--json", "--exclude", "beta ltd@01/04/2021 - 30/06/2021", _a, _b});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Json()["periods"][0]["combined"]["boxes"][0], 20000 * 100);

    cli::testing::TCliRun url =
        RunCommand(cli::RunGroup, {"--period", "01/04/2021 - 30/06/2021", "--url", _a, _b});
    ASSERT_EQ(url.Status, 0) << url.Err;
    EXPECT_NE(url.Out.find("&company=Alpha+Ltd&"), std::string::npos)
        << "unedited: the selected dataset's name";
    EXPECT_NE(url.Out.find("&vatDueSales=150.00&"), std::string::npos);

    cli::testing::TCliRun named = RunCommand(
        cli::RunGroup, {"--period", "01/04/2021 - 30/06/2021", "--url", "--name", "Group Plc", _a, _b});
    EXPECT_NE(named.Out.find("&company=Group+Plc&"), std::string::npos);
}

TEST_F(GroupCliTest, NoVatInfoAndErrors) {
    auto lone = MakeDataset(_tmp.Path() / "lone", "Lone", "no number", 1);
    lone.Returns[0].CompanyName = "Lone";
    WriteDataset(lone);
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {"--json", lone.Folder.string()});
    ASSERT_EQ(run.Status, 0);
    EXPECT_EQ(run.Json(), nlohmann::json::parse(R"({"vatNumber": "No VAT Info!", "periods": []})"));

    EXPECT_EQ(RunCommand(cli::RunGroup, {"--exclude", "Nobody@01/04/2021 - 30/06/2021", _a, _b}).Status, 1);
    EXPECT_EQ(RunCommand(cli::RunGroup, {"--period", "nope", "--url", _a}).Status, 1);
    EXPECT_EQ(RunCommand(cli::RunGroup, {"--url", _a}).Status, 2) << "--url needs --period";
    EXPECT_EQ(RunCommand(cli::RunGroup, {(_tmp.Path() / "missing").string()}).Status, 1);
}

} // namespace

// One dataset named twice, or a copy of it beside it, must not double the figures sent.
TEST_F(GroupCliTest, ADatasetNamedTwiceOrCopiedIsNotAddedTwice) {
    std::filesystem::create_directory_symlink(_a, _tmp.Path() / "link");
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {"--period", "01/01/2021 - 31/03/2021", "--url", _a,
                                                           _a + "/./", (_tmp.Path() / "link").string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("&vatDueSales=100.00&"), std::string::npos) << run.Out;

    auto copy = MakeDataset(_tmp.Path() / "copy", "Alpha Ltd", "GB 123 4567 89", 0);
    copy.Returns = {MakeQuarter(2021, 1, 10000)};
    copy.Returns[0].CompanyName = "Alpha Ltd";
    WriteDataset(copy);
    run = RunCommand(cli::RunGroup, {"--json", _a, copy.Folder.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json json = run.Json();
    ASSERT_EQ(json["periods"].size(), 2u) << run.Out;
    const auto& q1 = json["periods"][1]["members"];
    EXPECT_TRUE(q1[0]["likelyCopyOf"].is_null());
    EXPECT_EQ(q1[1]["likelyCopyOf"], _a);
    EXPECT_FALSE(q1[1]["included"].get<bool>());
    run =
        RunCommand(cli::RunGroup, {"--period", "01/01/2021 - 31/03/2021", "--url", _a, copy.Folder.string()});
    EXPECT_NE(run.Out.find("&vatDueSales=100.00&"), std::string::npos) << run.Out;
    run = RunCommand(cli::RunGroup, {_a, copy.Folder.string()});
    EXPECT_NE(run.Out.find("likely a copy of " + _a), std::string::npos) << run.Out;
}

TEST_F(GroupCliTest, SumsThatWouldOverflowAreReportedAndNeverSent) {
    auto big = MakeDataset(_tmp.Path() / "big", "Big Ltd", "GB 123 4567 89", 0);
    big.Returns = {MakeQuarter(2021, 4, 90'000'000'000'000'000)};
    big.Returns[0].CompanyName = "Big Ltd";
    WriteDataset(big);
    auto huge = MakeDataset(_tmp.Path() / "huge", "Huge Ltd", "GB 123 4567 89", 0);
    huge.Returns = big.Returns;
    WriteDataset(huge);
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {"--period", "01/04/2021 - 30/06/2021", "--url",
                                                           big.Folder.string(), huge.Folder.string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Out.empty()) << run.Out;
    EXPECT_NE(run.Err.find("too large to add up"), std::string::npos) << run.Err;
    run = RunCommand(cli::RunGroup, {"--json", big.Folder.string(), huge.Folder.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(run.Json()["periods"][0]["combined"]["boxes"].is_null());
    EXPECT_EQ(run.Json()["periods"][0]["combined"]["error"], "the boxes are too large to add up");
}

// Text read from a dataset must not drive the terminal: controls show as U+FFFD in plain output and
// are escaped in JSON.
TEST_F(GroupCliTest, ControlCharactersFromDatasetsNeverReachTheTerminal) {
    auto evil = MakeDataset(_tmp.Path() / "evil", "Evil\x1b[2J\xC2\x9BLtd", "GB 123 4567 89", 0);
    evil.Returns = {MakeQuarter(2021, 4, 100)};
    evil.Returns[0].CompanyName = "Evil";
    WriteDataset(evil);
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {_a, evil.Folder.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out.find('\x1b'), std::string::npos);
    EXPECT_EQ(run.Out.find("\xC2\x9B"), std::string::npos);
    EXPECT_NE(run.Out.find("Evil\xEF\xBF\xBD[2J\xEF\xBF\xBDLtd"), std::string::npos) << run.Out;
    run = RunCommand(cli::RunGroup, {"--json", _a, evil.Folder.string()});
    EXPECT_NE(run.Out.find("Evil\\u001b[2J\\u009bLtd"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Json()["periods"][0]["members"][1]["companyName"], "Evil\x1b[2J\xC2\x9BLtd");
}

// A second file of one period inside a dataset: a copy counts once; files that disagree are never
// summed, and the period is not sent.
TEST_F(GroupCliTest, OneDatasetsSecondFileOfAPeriodIsNeverSummed) {
    const std::filesystem::path q2 = std::filesystem::path(_b) / "VATRTNS" / "2021";
    const std::string name = "VAT Return 01-04-2021 - 30-06-2021.xml";
    std::filesystem::copy_file(q2 / name, q2 / "VAT Return 01-04-2021 - 30-06-2021 (copy).xml");
    cli::testing::TCliRun run = RunCommand(cli::RunGroup, {"--period", "01/04/2021 - 30/06/2021", "--url", _a, _b});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("&vatDueSales=150.00&"), std::string::npos) << run.Out;

    std::filesystem::create_directories(std::filesystem::path(_b) / "VATRTNS" / "2022");
    std::ofstream(std::filesystem::path(_b) / "VATRTNS" / "2022" / name)
        << "<VATRETURN><COMPANY>Beta Ltd</COMPANY><BOX1>999.00</BOX1></VATRETURN>";
    run = RunCommand(cli::RunGroup, {"--period", "01/04/2021 - 30/06/2021", "--url", _a, _b});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Out.empty()) << run.Out;
    EXPECT_NE(run.Err.find("different figures"), std::string::npos) << run.Err;
    run = RunCommand(cli::RunGroup, {"--json", _a, _b});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json members = run.Json()["periods"][0]["members"];
    ASSERT_EQ(members.size(), 2u);
    EXPECT_FALSE(members[1]["included"].get<bool>());
    EXPECT_FALSE(members[1]["conflictingFile"].is_null());
}
