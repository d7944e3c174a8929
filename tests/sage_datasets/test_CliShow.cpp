#include "sage_datasets/DatasetBuilder.h"

#include "app/cli/CliShow.h"

#include "rtl/Files.h"
#include "rtl/FormatSettings.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <set>
#include <sstream>

using namespace sagetest;
using json = nlohmann::ordered_json;

namespace {

const std::string kQ2Name = "VAT Return 01-04-2021 - 30-06-2021.xml";

class CliShowTest : public ::testing::Test {
protected:
    CliShowTest() : saved(rtl::FormatSettings()) {
        TSetupFields fields;
        fields.CompanyName = "Caf\xE9 Ltd";
        builder.WriteSetup(fields, 27);
        builder.WriteWatermark("27.2.0.225\r\n");
        builder.WriteReturn("2021", kQ2Name, SimpleReturnXml("01/04/2021", "30/06/2021", "Caf\xC3\xA9 Ltd"));
        builder.WriteReturn(
            "2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
            ReturnXml({{"COMPANY", "Q1"}, {"BOX1", "1.5"}, {"FLATRATEBENEFITCOST", "-2.25"}}));
        builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"0.01", "0"}}}}));
    }
    ~CliShowTest() override { rtl::FormatSettings() = saved; }

    int Run(const std::vector<std::string>& args) {
        out.str({});
        err.str({});
        return cli::RunShow(args, out, err);
    }
    std::string Folder() const { return rtl::StringToUtf8(builder.Text()); }

    rtl::TFormatSettings saved;
    TTempFolder temp;
    TDatasetBuilder builder{temp.Path() / "Acme"};
    std::ostringstream out, err;
};

TEST_F(CliShowTest, JsonHasExactlyTheDocumentedKeys) {
    ASSERT_EQ(Run({"--json", Folder() + "/ACCDATA"}), 0) << err.str();
    const json j = json::parse(out.str());
    std::vector<std::string> keys;
    for (const auto& [key, value] : j.items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"folder", "companyName", "address1", "address2", "town",
                                              "county", "postCode", "vatNumber", "vatNumberForUrl", "uuid",
                                              "majorVersion", "version", "odbcDriver", "odbcDriverFileName",
                                              "returns", "problems"}));
    EXPECT_EQ(out.str(), j.dump(2) + "\n") << "written a return at a time, laid out as one document";
    EXPECT_TRUE(j["problems"].empty());
    EXPECT_EQ(j["folder"], Folder());
    EXPECT_EQ(j["companyName"], "Caf\xC3\xA9 Ltd");
    EXPECT_EQ(j["vatNumber"], "GB 123 4567 89");
    EXPECT_EQ(j["vatNumberForUrl"], "123456789");
    EXPECT_EQ(j["majorVersion"], 27);
    EXPECT_EQ(j["version"], "27.2.0.225");
    EXPECT_EQ(j["odbcDriverFileName"], "S27DBC32.DLL");
    ASSERT_EQ(j["returns"].size(), 2u);

    const json& q2 = j["returns"][0];
    std::vector<std::string> returnKeys;
    for (const auto& [key, value] : q2.items()) {
        returnKeys.push_back(key);
    }
    EXPECT_EQ(returnKeys,
              (std::vector<std::string>{"key", "period", "description", "dateFrom", "dateTo", "companyName",
                                        "vatNumber", "boxes", "flatRateLiability", "standardRateLiability",
                                        "standardRateSales", "standardRatePurchase", "flatRateBenefitCost"}));
    EXPECT_EQ(q2["dateFrom"], "2021-04-01");
    EXPECT_EQ(q2["dateTo"], "2021-06-30");
    EXPECT_EQ(q2["description"], "2021-06-30 2021-04-01 123456789");
    EXPECT_EQ(q2["companyName"], "Caf\xC3\xA9 Ltd");
    EXPECT_EQ(q2["boxes"],
              json({1000100, 200000, 1200100, 300000, 900100, 5000000, 1500000, 0, 0, 0, 0, 0, 0}));

    const json& q1 = j["returns"][1];
    EXPECT_EQ(q1["boxes"][0], 15000);
    EXPECT_EQ(q1["flatRateBenefitCost"], -22500);
    EXPECT_EQ(q1["dateFrom"], "2021-01-01") << "dates from the file name";
}

TEST_F(CliShowTest, FilesOfOnePeriodThatDisagreeAreMarkedAndListedAsProblems) {
    const std::string copy = "VAT Return 01-04-2021 - 30-06-2021 (copy).xml";
    builder.WriteReturn("2021", copy, SimpleReturnXml("01/04/2021", "30/06/2021", "Caf\xC3\xA9 Ltd"));
    ASSERT_EQ(Run({"--json", Folder()}), 0) << err.str();
    const json j = json::parse(out.str());
    ASSERT_EQ(j["returns"].size(), 3u);
    const std::string sep(1, static_cast<char>(rtl::PathDelim));
    const std::string dir = Folder() + sep + "VATRTNS" + sep + "2021" + sep;
    // The copy lacks the original's adjustments.
    EXPECT_EQ((std::set<std::string>{j["returns"][0]["conflictingFile"], j["returns"][1]["conflictingFile"]}),
              (std::set<std::string>{dir + copy, dir + kQ2Name}));
    EXPECT_FALSE(j["returns"][2].contains("conflictingFile"));
    ASSERT_EQ(j["problems"].size(), 1u);
    EXPECT_EQ(j["problems"][0]["path"], dir + kQ2Name);
    EXPECT_EQ(j["problems"][0]["file"], dir + copy) << "the first by path";

    ASSERT_EQ(Run({Folder()}), 0);
    EXPECT_NE(out.str().find("1 item could not be read:\n  " + dir + kQ2Name + "\n    " + dir + copy + ": "),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Not to be sent"), std::string::npos);
}

TEST_F(CliShowTest, FolderNamesThatAreNotUtf8KeepTheirBytes) {
    TDatasetBuilder odd{temp.Path() / "Caf\xE9"};
    odd.WriteSetup(TSetupFields{}, 27);
    ASSERT_EQ(Run({"--json", (temp.Path() / "Caf\xE9").string()}), 0) << err.str();
    EXPECT_EQ(json::parse(out.str())["companyName"], "ACME LTD");
}

TEST_F(CliShowTest, SeparatorOptionsOverrideTheRegionalSettings) {
    builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml",
                        ReturnXml({{"COMPANY", "Q3"}, {"BOX1", "2,5"}}));
    ASSERT_EQ(Run({"--date-separator", ".", "--decimal-separator=,", "--json", Folder()}), 0) << err.str();
    const json j = json::parse(out.str());
    ASSERT_EQ(j["returns"].size(), 1u) << "the other returns use a full stop and are now unreadable";
    EXPECT_EQ(j["returns"][0]["key"], "2021.07.01");
    EXPECT_EQ(j["returns"][0]["period"], "01.07.2021 - 30.09.2021");
    EXPECT_EQ(j["returns"][0]["boxes"][0], 25000);
}

TEST_F(CliShowTest, PlainOutputIsASummary) {
    ASSERT_EQ(Run({Folder()}), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("Caf\xC3\xA9 Ltd"), std::string::npos);
    EXPECT_NE(text.find("01/04/2021 - 30/06/2021"), std::string::npos);
    EXPECT_NE(text.find("\xC2\xA3"
                        "100.01"),
              std::string::npos);
    EXPECT_NE(text.find("VAT returns: 2"), std::string::npos);
}

TEST_F(CliShowTest, FailuresAndUsage) {
    EXPECT_EQ(Run({"--json", Folder() + "/missing"}), 1);
    EXPECT_NE(err.str().find(Folder() + "/missing"), std::string::npos);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"--jsn", Folder()}), 2);
    EXPECT_NE(err.str().find("--jsn"), std::string::npos);
    EXPECT_EQ(Run({"--date-separator", "ab", Folder()}), 2);
    EXPECT_EQ(Run({Folder(), "--date-separator"}), 2);
    EXPECT_EQ(Run({Folder(), Folder()}), 2);
}

TEST_F(CliShowTest, BuiltProgramPrintsTheJson) {
    const std::string outFile = (temp.Path() / "out.json").string();
    const std::string errFile = (temp.Path() / "err.txt").string();
    // Beside this test in the build. The command starts with a word: cmd.exe strips the first and the
    // last quote of one that starts with a quote.
    const std::string cli =
        rtl::StringToUtf8(rtl::ExtractFilePath(rtl::ApplicationExeName())) + VENTURO_MTD_CLI;
    const std::string command = "cd . && \"" + cli + "\" show --json \"" + Folder() + "\" > \"" + outFile +
                                "\" 2> \"" + errFile + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadBytes(errFile);
    const json j = json::parse(ReadBytes(outFile));
    EXPECT_EQ(j["companyName"], "Caf\xC3\xA9 Ltd");
    EXPECT_EQ(j["returns"].size(), 2u);

    const std::string missing =
        "cd . && \"" + cli + "\" show \"" + Folder() + "/none\" > \"" + outFile + "\" 2> \"" + errFile + "\"";
    EXPECT_NE(std::system(missing.c_str()), 0);
    EXPECT_NE(ReadBytes(errFile).find("/none"), std::string::npos);
}

} // namespace
