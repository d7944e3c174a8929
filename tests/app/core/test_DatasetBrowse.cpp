// Adding datasets by hand from a picked file or the platform list.
#include "app/core/DatasetBrowse.h"

#include "app/core/CoreTestSupport.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using namespace ven::testing;

class BrowseTest : public ::testing::Test {
protected:
    BrowseTest() : _mode(u"/nonexistent/a", u"/nonexistent/b", u"/nonexistent/c"), _dm(_mode) {}

    fs::path Write(const std::string& name, const std::string& company) {
        fs::path folder = _tmp.Path() / name;
        WriteDataset(MakeDataset(folder, company, "GB 123 4567 89", 1));
        return folder;
    }

    TTempFolder _tmp;
    ven::TVenSystemMode _mode;
    ven::TdmVenMTD _dm;
};

TEST_F(BrowseTest, SetupFileAddsItsDatasetOnce) {
    fs::path acme = Write("acme", "Acme Ltd");
    UnicodeString setup = ToText(acme / "ACCDATA" / "SETUP.DTA");
    ven::TBrowseResult first = ven::AddDatasetsFromFile(_dm, setup);
    EXPECT_EQ(first.Added, 1);
    EXPECT_TRUE(first.Message.empty());
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 1);
    EXPECT_EQ(_dm.mtDataSets.AsString(0, u"CoName"), u"Acme Ltd");

    ven::TBrowseResult again = ven::AddDatasetsFromFile(_dm, setup);
    EXPECT_EQ(again.Added, 0);
    EXPECT_FALSE(again.Failed);
    EXPECT_EQ(again.Message, u"No new unique dataset was found");
    EXPECT_EQ(_dm.DataSets()->Count(), 1);
}

TEST_F(BrowseTest, SetupFileOptionRefusesOtherFileNames) {
    fs::path acme = Write("acme", "Acme Ltd");
    ven::TBrowseResult r = ven::AddDatasetFromSetupFile(_dm, ToText(acme / "ACCDATA" / "SETUP.BAK"));
    EXPECT_TRUE(r.Failed);
    EXPECT_NE(r.Message.find(u"Not a SETUP.DTA file"), UnicodeString::npos);
    // The picked path's letter case need not match the disk's: the ACCDATA level is dropped by name.
    EXPECT_EQ(ven::AddDatasetFromSetupFile(_dm, ToText(acme / "accdata" / "setup.dta")).Added, 1);
}

TEST_F(BrowseTest, CompanyFileAppendsOnlyNewDatasetsAsRows) {
    fs::path a = Write("a", "Alpha");
    fs::path b = Write("b", "Beta");
    fs::path company = _tmp.Path() / "COMPANY";
    venturo::sample::WriteCompanyFile(company, {a});
    EXPECT_EQ(ven::AddDatasetsFromFile(_dm, ToText(company)).Added, 1);

    venturo::sample::WriteCompanyFile(company, {a, b, _tmp.Path() / "missing"});
    ven::TBrowseResult second = ven::AddDatasetsFromFile(_dm, ToText(company));
    EXPECT_EQ(second.Added, 1);
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 2);
    EXPECT_EQ(_dm.mtDataSets.AsString(1, u"CoName"), u"Beta");

    // Nothing new, but the listed folder that is gone is named, not dropped without a word.
    ven::TBrowseResult third = ven::AddDatasetsFromFile(_dm, ToText(company));
    EXPECT_EQ(third.Added, 0);
    EXPECT_EQ(third.Message, u"This dataset could not be read:\r" + ToText(_tmp.Path() / "missing") +
                                 u": Listed in " + ToText(company) + u" but the folder does not exist");
}

TEST_F(BrowseTest, UnreadableCompanyFileIsReportedByName) {
    UnicodeString missing = ToText(_tmp.Path() / "gone" / "COMPANY");
    ven::TBrowseResult r = ven::AddDatasetsFromFile(_dm, missing);
    EXPECT_EQ(r.Added, 0);
    EXPECT_TRUE(r.Failed);
    EXPECT_NE(r.Message.find(missing), UnicodeString::npos);
    EXPECT_FALSE(_dm.mtDataSets.Editing());
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 0);
}

// A picked file that is not a readable dataset says so, with the reason, rather than "nothing new".
TEST_F(BrowseTest, UnreadableDatasetsAreNamedWithTheirReason) {
    const TDamagedData data = WriteDamagedData(_tmp.Path() / "damaged");
    const ven::TBrowseResult setup =
        ven::AddDatasetsFromFile(_dm, ToText(data.UnknownVersion / "ACCDATA" / "SETUP.DTA"));
    EXPECT_TRUE(setup.Failed);
    EXPECT_EQ(setup.Added, 0);
    EXPECT_EQ(setup.Message.find(u"This dataset could not be read:\r"), 0u)
        << rtl::StringToUtf8(setup.Message);
    EXPECT_NE(setup.Message.find(u"Unknown version byte 31 in SETUP.DTA"), UnicodeString::npos);

    fs::path company = _tmp.Path() / "COMPANY";
    venturo::sample::WriteCompanyFile(company, {data.Incomplete, data.UnknownVersion});
    const ven::TBrowseResult listed = ven::AddDatasetsFromFile(_dm, ToText(company));
    EXPECT_FALSE(listed.Failed);
    EXPECT_EQ(listed.Added, 1);
    EXPECT_EQ(listed.Message.find(u"1 dataset was added. This dataset could not be read:\r" +
                                  ToText(data.UnknownVersion) + u": "),
              0u)
        << rtl::StringToUtf8(listed.Message);
    // The dataset added carries what it left out onto its row.
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 1);
    const ven::TFieldValue mark = _dm.mtDataSets.Value(0, u"Problems");
    ASSERT_TRUE(std::holds_alternative<UnicodeString>(mark));
    EXPECT_EQ(std::get<UnicodeString>(mark),
              u"2 items could not be read; returns may be missing from this dataset");
    EXPECT_EQ(_dm.Problems().size(), 3u) << "the folder Browse could not read is kept with the rest";
}

TEST_F(BrowseTest, PlatformListAddsInFileOrderSkippingKnownFolders) {
    fs::path a = Write("a", "Alpha");
    fs::path b = Write("b", "Beta");
    fs::path list = _tmp.Path() / "list.COMPANY";
    std::ofstream(list, std::ios::binary) << b.string() << "\r\n"
                                          << a.string() << "\r\n"
                                          << b.string() << "\r\n";
    EXPECT_EQ(ven::AddPlatformDatasets(_dm, ToText(list)).Added, 2);
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 2);
    EXPECT_EQ(_dm.mtDataSets.AsString(0, u"CoName"), u"Beta");
    EXPECT_EQ(ven::AddPlatformDatasets(_dm, ToText(list)).Added, 0);

    ven::TBrowseResult missing = ven::AddPlatformDatasets(_dm, ToText(_tmp.Path() / "none"));
    EXPECT_NE(missing.Message.find(ToText(_tmp.Path() / "none")), UnicodeString::npos);
}

TEST(SystemMode, NeedsAllThreeMarkersCheckedAfresh) {
    TTempFolder tmp;
    fs::path selector = tmp.Path() / "selector.exe";
    fs::path browser = tmp.Path() / "browser.exe";
    fs::path data = tmp.Path() / "data";
    ven::TVenSystemMode mode(ToText(selector), ToText(browser), ToText(data));
    EXPECT_FALSE(mode.PlatformMode());
    std::ofstream(selector) << "x";
    std::ofstream(browser) << "x";
    EXPECT_FALSE(mode.PlatformMode());
    fs::create_directories(data);
    EXPECT_TRUE(mode.PlatformMode());
    fs::remove(browser);
    EXPECT_FALSE(mode.PlatformMode());
}

} // namespace
