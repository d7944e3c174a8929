// "url": the hand-off URL of a dataset's return.
#include "app/cli/CliUrl.h"

#include "BuildConfig.h"
#include "CliTestSupport.h"
#include "app/core/CoreTestSupport.h"
#include "rtl/FormatSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace ven::testing;
using cli::testing::RunCommand;

class UrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        _saved = rtl::FormatSettings();
        auto d = MakeDataset(_tmp.Path() / "acme", "Acme Ltd", "GB 123 4567 89", 2, 2021);
        for (auto& r : d.Returns) {
            r.CompanyName = "Acme Trading";
        }
        WriteDataset(d);
        _folder = d.Folder.string();
    }
    void TearDown() override { rtl::FormatSettings() = _saved; }

    TTempFolder _tmp;
    std::string _folder;
    rtl::TFormatSettings _saved;
};

TEST_F(UrlTest, LatestReturnByDefaultAndAnyPeriodByText) {
    cli::testing::TCliRun latest = RunCommand(cli::RunUrl, {_folder});
    ASSERT_EQ(latest.Status, 0) << latest.Err;
    EXPECT_EQ(latest.Out.rfind(std::string("https://") + VENTURO_PORTAL_LIVE_HOST + "/vatreturn/?init=y", 0),
              0u);
    EXPECT_NE(latest.Out.find("&company=Acme+Trading&vatno=123456789&"), std::string::npos);
    EXPECT_NE(latest.Out.find("&period_s=01/04/2021&period_e=30/06/2021&"), std::string::npos);

    cli::testing::TCliRun q1 = RunCommand(cli::RunUrl, {"--period", "01/01/2021 - 31/03/2021", _folder});
    ASSERT_EQ(q1.Status, 0) << q1.Err;
    EXPECT_NE(q1.Out.find("&period_s=01/01/2021&"), std::string::npos);
}

TEST_F(UrlTest, TestPlatformCompanyAndSeparators) {
    // Return files are read with the same decimal separator the URL is written with.
    auto d = MakeDataset(_tmp.Path() / "comma", "Comma Ltd", "GB 123 4567 89", 2, 2021);
    for (auto& r : d.Returns) {
        r.CompanyName = "Comma Ltd";
    }
    venturo::sample::WriteSampleDataset(d, ',');
    cli::testing::TCliRun run = RunCommand(cli::RunUrl, {"--test", "--platform", "--company", "New Name",
                                                         "--decimal-separator", ",", d.Folder.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind(std::string("https://") + VENTURO_PORTAL_TEST_HOST, 0), 0u);
    EXPECT_NE(run.Out.find("accountid=6d2f9e41-0b7c-4a83-9e56-c1f04b8a2d37&"), std::string::npos);
    EXPECT_NE(run.Out.find("&company=New+Name&vatno=test&"), std::string::npos);
    EXPECT_NE(run.Out.find("&vatDueSales=200%2C00&"), std::string::npos);
}

TEST_F(UrlTest, MissingDatasetOrPeriodIsAnError) {
    cli::testing::TCliRun none = RunCommand(cli::RunUrl, {(_tmp.Path() / "nothing").string()});
    EXPECT_EQ(none.Status, 1);
    EXPECT_NE(none.Err.find("nothing"), std::string::npos);
    cli::testing::TCliRun period = RunCommand(cli::RunUrl, {"--period", "01/01/1999 - 31/03/1999", _folder});
    EXPECT_EQ(period.Status, 1);
    EXPECT_EQ(RunCommand(cli::RunUrl, {}).Status, 2);
}

// A folder name that is not UTF-8 reaches the file system with its own bytes; a period held in two
// files that disagree is never sent.
TEST_F(UrlTest, FolderNamesKeepTheirBytesAndDisagreeingFilesAreNotSent) {
    const std::filesystem::path odd = _tmp.Path() / "caf\xE9";
    std::filesystem::rename(_folder, odd);
    cli::testing::TCliRun run = RunCommand(cli::RunUrl, {odd.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;

    std::filesystem::create_directories(odd / "VATRTNS" / "2030");
    std::ofstream(odd / "VATRTNS" / "2030" / "VAT Return 01-04-2021 - 30-06-2021.xml")
        << "<VATRETURN><COMPANY>Acme</COMPANY><BOX1>1.00</BOX1></VATRETURN>";
    run = RunCommand(cli::RunUrl, {odd.string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Out.empty()) << run.Out;
    EXPECT_NE(run.Err.find("different figures"), std::string::npos) << run.Err;
    EXPECT_EQ(RunCommand(cli::RunUrl, {"--period", "01/04/2021 - 30/06/2021", odd.string()}).Status, 1);
}

// An opener that starts but cannot open anything, as xdg-open does without a desktop.
TEST_F(UrlTest, OpenFailsWhenTheOpenerReportsAFailure) {
    const std::filesystem::path bin = _tmp.Path() / "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\n"
                                       "exit 3\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);
    cli::testing::TCliRun run = RunCommand(cli::RunUrl, {"--open", _folder});
    ::setenv("PATH", oldPath.c_str(), 1);

    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out.rfind("https://", 0), 0u) << "the link is printed for use by hand";
    EXPECT_NE(run.Err.find("did not open the portal"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("exit status 3. xdg-open: no method available"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Opened the"), std::string::npos);
}

} // namespace
