#include "sage_datasets/DatasetBuilder.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageDatasetVersions.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using namespace sagetest;

namespace {

struct TDatasetDeleter {
    void operator()(sage::TSageDataset* p) const { rtl::Free(p); }
};
using TDatasetPtr = std::unique_ptr<sage::TSageDataset, TDatasetDeleter>;

TDatasetPtr MakeVersion(int version, const rtl::UnicodeString& folder) {
    return TDatasetPtr(sage::SageDatasetClassForVersion(version)->Create(folder));
}

class DatasetTest : public ::testing::Test {
protected:
    TDatasetPtr Make(int version = 27) { return MakeVersion(version, builder.Text()); }

    TTempFolder temp;
    TDatasetBuilder builder{temp.Path() / "Acme"};
};

// Every version reads its fields at its own offsets and reports its own constants.
class DatasetVersionTest : public ::testing::TestWithParam<int> {};

TEST_P(DatasetVersionTest, HeaderFieldsComeFromTheVersionsOffsets) {
    const int version = GetParam();
    TTempFolder temp;
    TDatasetBuilder builder(temp.Path() / "Acme");
    TSetupFields fields;
    fields.VersionByte = version;
    fields.CompanyName = std::string(60, 'C');
    fields.VatNumber = std::string(static_cast<std::size_t>(LayoutFor(version).VatNumberWidth), '7');
    builder.WriteSetup(fields, version);
    TDatasetPtr dataset = MakeVersion(version, builder.Text());
    dataset->Load();
    EXPECT_EQ(dataset->MajorVersion(), version);
    EXPECT_EQ(dataset->Version(), rtl::IntToStr(version));
    EXPECT_EQ(dataset->CompanyName(), rtl::UnicodeString(60, u'C'));
    EXPECT_EQ(dataset->Address1(), u"1 High Street");
    EXPECT_EQ(dataset->Address2(), u"Little Wittering");
    EXPECT_EQ(dataset->Town(), u"Oxford");
    EXPECT_EQ(dataset->County(), u"Oxfordshire");
    EXPECT_EQ(dataset->PostCode(), u"OX1 1AA");
    EXPECT_EQ(dataset->VatNumber(), rtl::UnicodeString(fields.VatNumber.size(), u'7'))
        << "the byte after the field is not read";
    EXPECT_EQ(dataset->UuidString(), version < 10 ? u"" : u"0f8fad5b-d9cb-469f-a165-70867728950e");
    const rtl::UnicodeString driverFile = version >= 28   ? u"SDBC32.DLL"
                                          : version >= 10 ? u"S" + rtl::IntToStr(version) + u"DBC32.DLL"
                                                          : u"SW" + rtl::IntToStr(version) + u"DBC32.DLL";
    EXPECT_EQ(dataset->ODBCDriverFileName(), driverFile);
    EXPECT_EQ(dataset->ODBCDriver(), u"Sage Line 50 v" + rtl::IntToStr(version));
}

INSTANTIATE_TEST_SUITE_P(AllVersions, DatasetVersionTest, ::testing::Range(8, 31));

TEST(DatasetVersions, ClassReferencesCoverExactlyEightToThirty) {
    EXPECT_EQ(sage::SageDatasetClassForVersion(7), nullptr);
    EXPECT_EQ(sage::SageDatasetClassForVersion(31), nullptr);
    EXPECT_STREQ(sage::SageDatasetClassForVersion(30)->ClassName(), "TSageDatasetv30");
    EXPECT_STREQ(sage::SageDatasetClassForVersion(8)->ClassName(), "TSageDatasetV8");
}

TEST_F(DatasetTest, MajorVersionIsFixedAtConstructionWithoutReading) {
    TDatasetPtr dataset(rtl::Create<sage::TSageDatasetV28>(temp.Text() + u"/missing"));
    EXPECT_EQ(dataset->MajorVersion(), 28);
    EXPECT_EQ(dataset->ODBCDriverFileName(), u"SDBC32.DLL");
    EXPECT_EQ(dataset->CompanyName(), u"") << "a missing folder loads nothing";
}

TEST_F(DatasetTest, PropertiesLoadOnDemandButFolderAndUrlNumberDoNot) {
    builder.WriteSetup({}, 27);
    TDatasetPtr dataset = Make();
    EXPECT_EQ(dataset->DatasetFolder(), builder.Text());
    EXPECT_EQ(dataset->VatNumberForUrl(), u"") << "no load before Load";
    EXPECT_EQ(dataset->CompanyName(), u"ACME LTD");
    EXPECT_EQ(dataset->VatNumberForUrl(), u"123456789");
}

TEST_F(DatasetTest, VatNumberForUrlKeepsTheFirstNineDigits) {
    for (const auto& [stored, expected] :
         std::vector<std::pair<std::string, std::u16string>>{{"GB 123 4567 89", u"123456789"},
                                                             {"GB123456789001", u"123456789"},
                                                             {"GB-NONE", u""},
                                                             {"12 34", u"1234"}}) {
        TSetupFields fields;
        fields.VatNumber = stored;
        builder.WriteSetup(fields, 27);
        TDatasetPtr dataset = Make();
        dataset->Load();
        EXPECT_EQ(dataset->VatNumberForUrl(), expected) << stored;
    }
}

TEST_F(DatasetTest, VersionTextIsTheTrimmedFirstLineOfTheWatermark) {
    builder.WriteSetup({}, 27);
    builder.WriteWatermark(" \t27.2.0.225  \r\n<xml>not read</xml>\r\n");
    TDatasetPtr dataset = Make();
    dataset->Load();
    EXPECT_EQ(dataset->Version(), u"27.2.0.225");

    builder.WriteWatermark("\r\n27.2.0.225\r\n");
    dataset->Load();
    EXPECT_EQ(dataset->Version(), u"27") << "an empty first line gives the major version";

    builder.WriteWatermark("\xEF\xBB\xBF"
                           "28.0.1 \xE2\x82\xAC");
    dataset->Load();
    EXPECT_EQ(dataset->Version(), u"28.0.1 \u20AC")
        << "a file without line break is one line; UTF-8 read as UTF-8";

    builder.WriteWatermark("v26 \x80 Caf\xE9\n");
    dataset->Load();
    EXPECT_EQ(dataset->Version(), u"v26 \u20AC Caf\u00E9") << "other bytes read as Windows-1252";
}

// A FIFO stalls whoever opens it, and /dev/zero or one endless line feeds a reader for ever: such
// files fail the load at once.
TEST_F(DatasetTest, HostileWatermarkAndSetupFilesFailTheLoadWithoutWaiting) {
    builder.WriteSetup({}, 27);
    builder.WriteWatermark(std::string(4096, '2') + "\r\n");
    TDatasetPtr dataset = Make();
    dataset->Load();
    EXPECT_EQ(dataset->Version().size(), 4096u) << "a first line of 4 KiB is still read";

    builder.WriteWatermark(std::string(4097, '2'));
    EXPECT_THROW(dataset->Load(), rtl::EReadError);
    fs::remove(builder.Folder() / "Watermark.xml");
    fs::create_symlink("/dev/zero", builder.Folder() / "Watermark.xml");
    EXPECT_THROW(dataset->Load(), rtl::EFOpenError);
    fs::remove(builder.Folder() / "Watermark.xml");
    ASSERT_EQ(::mkfifo((builder.Folder() / "Watermark.xml").c_str(), 0600), 0);
    EXPECT_THROW(dataset->Load(), rtl::EFOpenError);
    fs::remove(builder.Folder() / "Watermark.xml");

    const fs::path setup = builder.Folder() / "ACCDATA" / "SETUP.DTA";
    fs::remove(setup);
    ASSERT_EQ(::mkfifo(setup.c_str(), 0600), 0);
    EXPECT_THROW(dataset->Load(), rtl::EFOpenError);
}

TEST_F(DatasetTest, WatermarkIsFoundWhateverItsCase) {
    builder.WriteSetup({}, 27, "accdata", "setup.dta");
    builder.WriteWatermark("27.1", "WATERMARK.XML");
    TDatasetPtr dataset = Make();
    dataset->Load();
    EXPECT_EQ(dataset->Version(), u"27.1");
    EXPECT_EQ(dataset->CompanyName(), u"ACME LTD");
}

TEST_F(DatasetTest, HeaderTextIsReadByteForByte) {
    TSetupFields fields;
    fields.CompanyName = "Caf\xE9 & Sons \xA3";
    builder.WriteSetup(fields, 27);
    TDatasetPtr dataset = Make();
    EXPECT_EQ(dataset->CompanyName(), u"Caf\u00E9 & Sons \u00A3");
}

TEST_F(DatasetTest, TruncatedSetupGivesThePartsThatExist) {
    const std::string full = MakeSetupDta({}, 27);
    const std::vector<std::tuple<std::size_t, std::u16string, std::u16string>> cases = {
        {0, u"", u""},
        {1, u"", u""},
        {7, u"ACME", u""},
        {70, u"ACME LTD", u""},
        {4010, u"ACME LTD", u"GB 123 4"}};
    for (const auto& [size, company, vat] : cases) {
        builder.WriteSetupBytes(full.substr(0, size));
        TDatasetPtr dataset = Make();
        ASSERT_NO_THROW(dataset->Load()) << size;
        EXPECT_EQ(dataset->CompanyName(), company) << size;
        EXPECT_EQ(dataset->VatNumber(), vat) << size;
        EXPECT_EQ(dataset->UuidString(), u"") << size;
    }
}

TEST_F(DatasetTest, UpdatesAreWrittenOnlyWhenAllowed) {
    const fs::path setup = builder.WriteSetup({}, 27);
    const std::string before = ReadBytes(setup);
    TDatasetPtr dataset = Make();
    dataset->SetCompanyName(u"NEW NAME");
    dataset->SetUuidString(u"11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(ReadBytes(setup), before);
    EXPECT_EQ(dataset->CompanyName(), u"ACME LTD");
    EXPECT_EQ(dataset->UuidString(), u"0f8fad5b-d9cb-469f-a165-70867728950e");

    dataset->SetAllowUpdates(true);
    dataset->SetUuidString(u"11111111-2222-3333-4444-55555555555"); // 35 characters
    EXPECT_EQ(ReadBytes(setup), before);
    dataset->SetCompanyName(u"NEW NAME");
    dataset->SetUuidString(u"11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(dataset->CompanyName(), u"NEW NAME");
    EXPECT_EQ(dataset->UuidString(), u"11111111-2222-3333-4444-555555555555");

    std::string expected = before;
    expected.replace(3, 61, "NEW NAME" + std::string(52, ' ') + std::string(1, '\0'));
    expected.replace(6378, 36, "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(ReadBytes(setup), expected);
    TDatasetPtr reread = Make();
    EXPECT_EQ(reread->CompanyName(), u"NEW NAME");
}

TEST_F(DatasetTest, VersionsWithoutUuidIgnoreUuidWrites) {
    TSetupFields fields;
    fields.VersionByte = 9;
    const fs::path setup = builder.WriteSetup(fields, 9);
    const std::string before = ReadBytes(setup);
    TDatasetPtr dataset = Make(9);
    dataset->SetAllowUpdates(true);
    dataset->SetUuidString(u"11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(dataset->UuidString(), u"");
    EXPECT_EQ(ReadBytes(setup), before);
}

// --- The VATRTNS folder ---------------------------------------------------------------------------

TEST_F(DatasetTest, ReturnsComeFromFourCharacterYearFoldersOnly) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2020", "VAT Return 01-01-2020 - 31-03-2020.xml",
                        SimpleReturnXml("01/01/2020", "31/03/2020"));
    builder.WriteReturn("2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
                        SimpleReturnXml("01/01/2021", "31/03/2021"));
    builder.WriteReturn("Temp", "VAT Return 01-01-2022 - 31-03-2022.xml",
                        SimpleReturnXml("01/01/2022", "31/03/2022"));
    builder.WriteReturn("20210", "VAT Return 01-04-2022 - 30-06-2022.xml",
                        SimpleReturnXml("01/04/2022", "30/06/2022"));
    builder.WriteReturn("_Dat", "VAT Return 01-07-2022 - 30-09-2022.xml",
                        SimpleReturnXml("01/07/2022", "30/09/2022"));
    TDatasetPtr dataset = Make();
    const rtl::TStringList& returns = dataset->VatReturns();
    ASSERT_EQ(returns.Count(), 2);
    EXPECT_EQ(returns.Strings(0), u"2021/01/01");
    EXPECT_EQ(returns.Strings(1), u"2020/01/01");
}

TEST_F(DatasetTest, ReturnsAreListedNewestFirstWhateverTheFolderOrder) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    builder.WriteReturn("2020", "VAT Return 01-01-2021 - 31-03-2021.xml",
                        SimpleReturnXml("01/01/2021", "31/03/2021"));
    builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml",
                        SimpleReturnXml("01/07/2021", "30/09/2021"));
    builder.WriteReturn("2021", "notes.txt", "not xml");
    TDatasetPtr dataset = Make();
    const rtl::TStringList& returns = dataset->VatReturns();
    ASSERT_EQ(returns.Count(), 3);
    EXPECT_EQ(returns.Strings(0), u"2021/07/01");
    EXPECT_EQ(returns.Strings(1), u"2021/04/01");
    EXPECT_EQ(returns.Strings(2), u"2021/01/01");
    EXPECT_EQ(dataset->LatestVatReturn(), returns.Objects(0));
    EXPECT_EQ(dataset->LatestVatReturn()->DateFrom(), rtl::EncodeDate(2021, 7, 1));
}

// A return left out must not pass unseen: the newest one unreadable leaves an older one as the latest.
TEST_F(DatasetTest, ReturnFilesLeftOutAreRecordedWithTheFileThatFailed) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
                        SimpleReturnXml("01/01/2021", "31/03/2021"));
    const fs::path withAdjustments = builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                                                         SimpleReturnXml("01/04/2021", "30/06/2021"));
    const fs::path adjustments =
        builder.WriteAdjustments("2021", "VAT Return 01-04-2021 - 30-06-2021.xml", "<VatReturn><Box type=");
    const fs::path malformed =
        builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml", "<VATRETURN><COMPANY>Ac");
    const fs::path foreign = builder.WriteReturn("2021", "Settings.xml", "<SETTINGS/>");
    builder.WriteReturn("2021", "notes.txt", "not a return, not missed");
    TDatasetPtr dataset = Make();
    ASSERT_EQ(dataset->VatReturns().Count(), 1);
    EXPECT_EQ(dataset->LatestVatReturn()->DateFrom(), rtl::EncodeDate(2021, 1, 1));

    const sage::TSageLeftOutList& leftOut = dataset->LeftOut();
    ASSERT_EQ(leftOut.size(), 3u);
    auto find = [&](const fs::path& path) -> const sage::TSageLeftOut* {
        for (const sage::TSageLeftOut& item : leftOut) {
            if (item.Path == ToText(path)) {
                return &item;
            }
        }
        ADD_FAILURE() << "not recorded: " << path;
        return nullptr;
    };
    if (const sage::TSageLeftOut* item = find(withAdjustments)) {
        EXPECT_EQ(item->File, ToText(adjustments)) << "the Adjustments.xml is named";
        EXPECT_EQ(item->Reason.find(u"Malformed XML: "), 0u) << rtl::StringToUtf8(item->Reason);
    }
    if (const sage::TSageLeftOut* item = find(malformed)) {
        EXPECT_EQ(item->File, ToText(malformed));
        EXPECT_EQ(item->Reason.find(u"Malformed XML: "), 0u) << rtl::StringToUtf8(item->Reason);
    }
    if (const sage::TSageLeftOut* item = find(foreign)) {
        EXPECT_EQ(item->Reason, u"Not a VAT return file");
    }
    // A repeated load reads the returns again and records afresh, not twice.
    dataset->Load();
    EXPECT_EQ(dataset->LeftOut().size(), 3u);
}

TEST_F(DatasetTest, ListEntryTextsUseTheRegionalDateSeparator) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    const rtl::TFormatSettings saved = rtl::FormatSettings();
    rtl::FormatSettings().DateSeparator = u'.';
    TDatasetPtr dataset = Make();
    const rtl::UnicodeString text = dataset->VatReturns().Strings(0);
    rtl::FormatSettings() = saved;
    EXPECT_EQ(text, u"2021.04.01");
}

TEST_F(DatasetTest, MissingVatReturnsFolderIsLookedForAgainOnTheNextAccess) {
    builder.WriteSetup({}, 27);
    TDatasetPtr dataset = Make();
    EXPECT_EQ(dataset->LatestVatReturn(), nullptr);
    EXPECT_EQ(dataset->VatReturns().Count(), 0);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    ASSERT_NE(dataset->LatestVatReturn(), nullptr);
    EXPECT_EQ(dataset->VatReturns().Count(), 1);
}

TEST_F(DatasetTest, ReturnsAreReadOnceThenKept) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    TDatasetPtr dataset = Make();
    EXPECT_EQ(dataset->VatReturns().Count(), 1);
    builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml",
                        SimpleReturnXml("01/07/2021", "30/09/2021"));
    EXPECT_EQ(dataset->VatReturns().Count(), 1);
}

TEST_F(DatasetTest, RepeatedLoadReadsTheReturnsAgain) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    TDatasetPtr dataset = Make();
    dataset->Load();
    ASSERT_EQ(dataset->VatReturns().Count(), 1);
    builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml",
                        SimpleReturnXml("01/07/2021", "30/09/2021"));
    dataset->Load();
    const rtl::TStringList& returns = dataset->VatReturns();
    ASSERT_EQ(returns.Count(), 2);
    for (int i = 0; i < returns.Count(); ++i) {
        EXPECT_NE(returns.Objects(i), nullptr);
    }
    EXPECT_EQ(dataset->LatestVatReturn()->DateFrom(), rtl::EncodeDate(2021, 7, 1));
}

TEST_F(DatasetTest, MixedCaseFixedNamesAreFound) {
    builder.WriteSetup({}, 27, "AccData", "Setup.Dta");
    const std::string name = "VAT Return 01-04-2021 - 30-06-2021.xml";
    builder.WriteReturn("2021", name, SimpleReturnXml("01/04/2021", "30/06/2021"), "VatRtns");
    builder.WriteAdjustments("2021", name, AdjustmentsXml({{"0", {{"10.00", "0"}}}}), "VatRtns", "_DATA",
                             "adjustments.XML");
    TDatasetPtr dataset = Make();
    sage::TSageDatasetVatReturn* latest = dataset->LatestVatReturn();
    ASSERT_NE(latest, nullptr);
    EXPECT_EQ(latest->GetBox(1), rtl::Currency::FromPounds(110));
}

// Where the exact name of the adjustments folder is taken by something that is no folder, no other
// spelling stands in for it; where nothing has that name, the other spelling does.
TEST_F(DatasetTest, AdjustmentsFolderOfTheExactNameWins) {
    builder.WriteSetup({}, 27);
    const std::string name = "VAT Return 01-04-2021 - 30-06-2021.xml";
    builder.WriteReturn("2021", name, SimpleReturnXml("01/04/2021", "30/06/2021"));
    builder.WriteAdjustments("2021", name, AdjustmentsXml({{"0", {{"10.00", "0"}}}}), "VATRTNS", "_DATA");
    EXPECT_EQ(Make()->LatestVatReturn()->GetBox(1), rtl::Currency::FromPounds(110));

    std::ofstream(builder.Folder() / "VATRTNS" / "_Data") << "not a folder";
    if (std::filesystem::is_directory(builder.Folder() / "VATRTNS" / "_Data")) {
        GTEST_SKIP() << "the file system ignores letter case";
    }
    TDatasetPtr dataset = Make();
    ASSERT_NE(dataset->LatestVatReturn(), nullptr);
    EXPECT_EQ(dataset->LatestVatReturn()->GetBox(1), rtl::Currency::FromPounds(100));
    EXPECT_TRUE(dataset->LeftOut().empty());
}

TEST_F(DatasetTest, ReturnListsItsReturnsWithTheirVatNumber) {
    builder.WriteSetup({}, 27);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021.xml",
                        SimpleReturnXml("01/04/2021", "30/06/2021"));
    TDatasetPtr dataset = Make();
    const auto* vatReturn = static_cast<sage::TSageDatasetVatReturn*>(dataset->VatReturns().Objects(0));
    EXPECT_EQ(vatReturn->VatNumber(), u"123456789");
    EXPECT_EQ(vatReturn->Description(), u"2021-06-30 2021-04-01 123456789");
}

} // namespace

namespace {

const char* const kQ2 = "VAT Return 01-04-2021 - 30-06-2021.xml";

// The boxes of each listed return of the Q2 period.
std::vector<rtl::Currency> Q2Box1s(sage::TSageDataset& dataset) {
    std::vector<rtl::Currency> boxes;
    const rtl::TStringList& returns = dataset.VatReturns();
    for (int i = 0; i < returns.Count(); ++i) {
        auto* r = static_cast<sage::TSageDatasetVatReturn*>(returns.Objects(i));
        if (r->Period() == u"01/04/2021 - 30/06/2021") {
            boxes.push_back(r->GetBox(1));
        }
    }
    return boxes;
}

} // namespace

TEST_F(DatasetTest, CopiesOfOneReturnFileCountOnce) {
    builder.WriteSetup(TSetupFields{}, 27);
    const std::string q2 = SimpleReturnXml("01/04/2021", "30/06/2021");
    builder.WriteReturn("2021", kQ2, q2);
    builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021 (copy).xml", q2);
    builder.WriteReturn("2022", kQ2, q2); // the period filed under another year folder too
    builder.WriteReturn("2021", "VAT Return 01-01-2021 - 31-03-2021.xml", SimpleReturnXml("01/01/2021", "31/03/2021"));
    TDatasetPtr dataset = Make();
    EXPECT_EQ(dataset->VatReturns().Count(), 2);
    EXPECT_EQ(Q2Box1s(*dataset), std::vector<rtl::Currency>{rtl::Currency::FromRaw(1000000)});
    EXPECT_FALSE(dataset->LatestVatReturn()->Conflicting());
    EXPECT_TRUE(dataset->LeftOut().empty());
}

TEST_F(DatasetTest, CopiesWhoseFiguresDifferAreAllMarkedAndNoted) {
    builder.WriteSetup(TSetupFields{}, 27);
    const fs::path original = builder.WriteReturn("2021", kQ2, SimpleReturnXml("01/04/2021", "30/06/2021"));
    const fs::path copy = builder.WriteReturn("2021", "VAT Return 01-04-2021 - 30-06-2021 (copy).xml",
                                              SimpleReturnXml("01/04/2021", "30/06/2021"));
    // The copy's own adjustments make its figures differ.
    builder.WriteAdjustments("2021", "VAT Return 01-04-2021 - 30-06-2021 (copy).xml",
                             AdjustmentsXml({{"0", {{"5.00", "0"}}}}));
    const fs::path renamed = builder.WriteReturn("2022", "other name.xml",
                                                 SimpleReturnXml("01/04/2021", "30/06/2021", "ACME TRADING"));
    TDatasetPtr dataset = Make();
    const rtl::TStringList& returns = dataset->VatReturns();
    ASSERT_EQ(returns.Count(), 3) << "every version stays in view";
    for (int i = 0; i < returns.Count(); ++i) {
        auto* r = static_cast<sage::TSageDatasetVatReturn*>(returns.Objects(i));
        EXPECT_TRUE(r->Conflicting()) << i;
        EXPECT_NE(r->ConflictingFile(), u"");
    }
    const sage::TSageLeftOutList& leftOut = dataset->LeftOut();
    ASSERT_EQ(leftOut.size(), 2u) << "one entry for each version beyond the first";
    std::set<rtl::UnicodeString> named;
    for (const sage::TSageLeftOut& item : leftOut) {
        EXPECT_NE(item.Path, item.File);
        named.insert(item.Path);
        named.insert(item.File);
        EXPECT_NE(item.Reason.find(u"different figures"), rtl::UnicodeString::npos);
    }
    EXPECT_EQ(named, (std::set<rtl::UnicodeString>{ToText(original), ToText(copy), ToText(renamed)}));
}
