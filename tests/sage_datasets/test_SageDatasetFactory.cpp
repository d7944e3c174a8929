#include "sage_datasets/DatasetBuilder.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageDatasetVersions.h"
#include "sage_datasets/SageLeftOut.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include "SampleDatasetGenerator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sagetest;
using sage::TSageDataset;
using sage::TSageDatasetFactory;

namespace {

struct TDatasetDeleter {
    void operator()(TSageDataset* p) const { rtl::Free(p); }
};
using TDatasetPtr = std::unique_ptr<TSageDataset, TDatasetDeleter>;

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const rtl::Exception& e) {
        return rtl::StringToUtf8(e.Message());
    }
    return "(no error)";
}

class FactoryTest : public ::testing::Test {
protected:
    // A dataset folder name/ with a version-27 SETUP.DTA of the given version byte.
    // Names are UTF-8; a narrow std::filesystem path would read them in the ANSI code page on Windows.
    static std::filesystem::path Utf8(const std::string& name) {
        return std::filesystem::path(std::u8string(name.begin(), name.end()));
    }
    TDatasetBuilder Dataset(const std::string& name, int versionByte = 27) {
        TDatasetBuilder builder(temp.Path() / Utf8(name));
        TSetupFields fields;
        fields.VersionByte = versionByte;
        fields.CompanyName = name;
        builder.WriteSetup(fields, versionByte >= 8 && versionByte <= 30 ? versionByte : 27);
        return builder;
    }
    rtl::UnicodeString Path(const std::string& relative) const {
        return ToText(temp.Path() / Utf8(relative));
    }
    void WriteCompany(const std::string& lines) { WriteBytes(temp.Path() / "COMPANY", lines); }

    TTempFolder temp;
    TSageDatasetFactory factory;
    rtl::TStringList datasets{true};
};

TEST_F(FactoryTest, VersionByteChoosesTheClass) {
    for (int version = 8; version <= 30; ++version) {
        const TDatasetBuilder builder = Dataset("v" + std::to_string(version), version);
        TDatasetPtr dataset(factory.MakeDataset(builder.Text()));
        EXPECT_EQ(dataset->MajorVersion(), version);
        EXPECT_EQ(dataset->CompanyName(), rtl::U("v" + std::to_string(version)));
    }
    TDatasetPtr v30(factory.MakeDataset(Dataset("last", 30).Text()));
    EXPECT_NE(dynamic_cast<sage::TSageDatasetv30*>(v30.get()), nullptr);
    TDatasetPtr v20(factory.MakeDataset(Dataset("twenty", 20).Text()));
    EXPECT_EQ(dynamic_cast<sage::TSageDatasetV21*>(v20.get()), nullptr);
    EXPECT_NE(dynamic_cast<sage::TSageDatasetV19*>(v20.get()), nullptr)
        << "each version derives from the one before";
}

TEST_F(FactoryTest, UnreadableOrUnknownVersionsFail) {
    Dataset("v31", 31);
    Dataset("v7", 7);
    Dataset("v0", 0);
    Dataset("v32", 32);
    TDatasetBuilder empty(temp.Path() / "empty");
    empty.WriteSetupBytes("");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("v31")); }),
              "Sage dataset factory: Unknown major version: 31");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("v7")); }),
              "Sage dataset factory: Unknown major version: 7");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("v0")); }),
              "Sage dataset factory: Unable to read version from SETUP.DTA");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("v32")); }),
              "Sage dataset factory: Unable to read version from SETUP.DTA");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("empty")); }),
              "Sage dataset factory: Unable to read version from SETUP.DTA");
    EXPECT_EQ(MessageOf([&] { factory.MakeDataset(Path("missing")); }),
              "Sage dataset factory: Unable to read version from SETUP.DTA");
    for (const char* name : {"v31", "v7", "v0", "empty", "missing"}) {
        EXPECT_EQ(factory.MakeDatasetAndLoad(Path(name)), nullptr) << name;
    }
}

// A folder that gives no dataset says why, naming the file behind it.
TEST_F(FactoryTest, AFolderLeftOutIsRecordedWithItsReason) {
    Dataset("v31", 31);
    TDatasetBuilder noVersion(temp.Path() / "empty");
    noVersion.WriteSetupBytes("");
    fs::create_directories(temp.Path() / "bare/ACCDATA");
    fs::create_directories(temp.Path() / "folderSetup/ACCDATA/SETUP.DTA");
    fs::create_directories(temp.Path() / "fifo/ACCDATA");
    ASSERT_EQ(::mkfifo((temp.Path() / "fifo/ACCDATA/SETUP.DTA").c_str(), 0600), 0);
    const rtl::UnicodeString setup =
        rtl::UnicodeString(1, rtl::PathDelim) + u"ACCDATA" + rtl::PathDelim + u"SETUP.DTA";
    struct TCase {
        const char* Folder;
        const char16_t* Reason;
        bool NamesSetup;
    };
    for (const TCase& c : {TCase{"v31", u"Unknown version byte 31 in SETUP.DTA", true},
                           TCase{"empty", u"Not a dataset: SETUP.DTA holds no version", true},
                           TCase{"bare", u"Not a dataset: there is no ACCDATA", true},
                           TCase{"folderSetup", u"Not a dataset: SETUP.DTA is not a file", true},
                           TCase{"fifo", u"", true}, TCase{"missing", u"The folder does not exist", false}}) {
        sage::TSageLeftOut whyNot;
        EXPECT_EQ(factory.MakeDatasetAndLoad(Path(c.Folder), &whyNot), nullptr) << c.Folder;
        EXPECT_EQ(whyNot.Path, Path(c.Folder));
        EXPECT_FALSE(whyNot.Reason.empty()) << c.Folder;
        EXPECT_EQ(whyNot.Reason.find(c.Reason), 0u) << c.Folder << ": " << rtl::StringToUtf8(whyNot.Reason);
        EXPECT_EQ(whyNot.File, c.NamesSetup ? Path(c.Folder) + setup : Path(c.Folder)) << c.Folder;
    }
}

TEST_F(FactoryTest, ASetupFileThatMayNotBeReadSaysSo) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the system lets root read any file";
    }
    const TDatasetBuilder locked = Dataset("Locked");
    const fs::path setup = locked.Folder() / "ACCDATA" / "SETUP.DTA";
    fs::permissions(setup, fs::perms::none);
    sage::TSageLeftOut whyNot;
    EXPECT_EQ(factory.MakeDatasetAndLoad(locked.Text(), &whyNot), nullptr);
    fs::permissions(setup, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(whyNot.File, ToText(setup));
    EXPECT_EQ(whyNot.Reason, rtl::Utf8ToString(std::strerror(EACCES)));
}

TEST_F(FactoryTest, AddOperationsTellWhatDidNotLoad) {
    const TDatasetBuilder good = Dataset("Good");
    const TDatasetBuilder bad = Dataset("Bad", 31);
    WriteCompany(rtl::StringToUtf8(good.Text()) + "\r\n" + rtl::StringToUtf8(bad.Text()) + "\r\n");
    sage::TSageLeftOutList leftOut;
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY"), &leftOut), 1);
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_EQ(leftOut[0].Path, bad.Text());
    EXPECT_EQ(leftOut[0].Reason, u"Unknown version byte 31 in SETUP.DTA");

    sage::TSageLeftOut whyNot;
    const rtl::UnicodeString badSetup = ToText(bad.Folder() / "ACCDATA" / "SETUP.DTA");
    EXPECT_EQ(factory.AddDatasetFromSetupFile(datasets, badSetup, &whyNot), -1);
    EXPECT_EQ(whyNot.Reason, u"Unknown version byte 31 in SETUP.DTA");
    // A dataset already listed is no failure: nothing is said of it.
    sage::TSageLeftOut listed;
    EXPECT_EQ(
        factory.AddDatasetFromSetupFile(datasets, ToText(good.Folder() / "ACCDATA" / "SETUP.DTA"), &listed),
        -1);
    EXPECT_TRUE(listed.Reason.empty());
}

// The runtime's errors name the file they failed on; the record keeps it apart from the reason.
TEST(LeftOutOf, FileAndReasonComeApart) {
    const rtl::UnicodeString file = u"/data/Acme/ACCDATA/SETUP.DTA";
    sage::TSageLeftOut denied =
        sage::LeftOutOf(rtl::EFOpenError(u"Cannot open file \"" + file + u"\". Permission denied"),
                        u"/data/Acme", u"/data/Acme");
    EXPECT_EQ(denied.File, file);
    EXPECT_EQ(denied.Reason, u"Permission denied");
    sage::TSageLeftOut notRegular = sage::LeftOutOf(
        rtl::EFOpenError(u"Cannot open file \"" + file + u"\". It is not a regular file."), u"/a", u"/a");
    EXPECT_EQ(notRegular.Reason, u"It is not a regular file");

    const rtl::UnicodeString xml = u"/data/Acme/VATRTNS/2021/VAT Return.xml";
    sage::TSageLeftOut malformed =
        sage::LeftOutOf(rtl::EXmlError(xml + u": Start-end tags mismatch at offset 40"), xml, xml);
    EXPECT_EQ(malformed.File, xml);
    EXPECT_EQ(malformed.Reason, u"Malformed XML: Start-end tags mismatch at offset 40");
    sage::TSageLeftOut nested =
        sage::LeftOutOf(rtl::EXmlError(u"Element \"BOX1\" holds child elements instead of text"), xml, xml);
    EXPECT_EQ(nested.Reason, u"Invalid content: Element \"BOX1\" holds child elements instead of text");
    sage::TSageLeftOut amount =
        sage::LeftOutOf(rtl::EConvertError(u"'1,2.3' is not a valid floating point value"), xml, xml);
    EXPECT_EQ(amount.File, xml);
    EXPECT_EQ(amount.Reason, u"Invalid content: '1,2.3' is not a valid floating point value");
}

TEST_F(FactoryTest, AccDataFolderGivesTheDatasetFolder) {
    Dataset("Acme");
    TDatasetPtr dataset(
        factory.MakeDatasetAndLoad(Path("Acme") + rtl::PathDelim + u"ACCDATA" + rtl::PathDelim));
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(dataset->DatasetFolder(), Path("Acme"));
    EXPECT_EQ(dataset->CompanyName(), u"Acme");
}

TEST_F(FactoryTest, RandomAndTruncatedSetupFilesNeverCrash) {
    TDatasetBuilder builder(temp.Path() / "junk");
    std::mt19937 random(42);
    const std::string valid = MakeSetupDta({}, 29);
    for (int round = 0; round < 200; ++round) {
        std::string bytes = valid.substr(0, random() % (valid.size() + 1));
        if (round % 2 == 0) {
            for (char& c : bytes) {
                c = static_cast<char>(random());
            }
        }
        builder.WriteSetupBytes(bytes);
        TDatasetPtr dataset(factory.MakeDatasetAndLoad(builder.Text()));
        if (dataset) {
            EXPECT_GE(dataset->MajorVersion(), 8);
            EXPECT_LE(dataset->VatNumber().size(), 30u);
            EXPECT_LE(dataset->UuidString().size(), 36u);
        }
    }
}

// --- COMPANY files ---------------------------------------------------------------------------------

TEST_F(FactoryTest, CompanyFileListsExistingDatasetFoldersOnce) {
    Dataset("Acme");
    Dataset("Beta");
    fs::create_directories(temp.Path() / "NoAccData");
    const std::string acme = rtl::StringToUtf8(Path("Acme"));
    WriteCompany(acme + "/\r\n\r\n" + rtl::StringToUtf8(Path("NoAccData")) + "\r\n" + acme + "\n" +
                 rtl::StringToUtf8(Path("Missing")) + "\r" + rtl::StringToUtf8(Path("Beta")) + "//");
    rtl::TStringList locations;
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    ASSERT_EQ(locations.Count(), 2);
    EXPECT_EQ(locations.Strings(0), Path("Acme"));
    EXPECT_EQ(locations.Strings(1), Path("Beta"));
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    EXPECT_EQ(locations.Count(), 2) << "folders already listed are not added again";
    factory.GetCompanyDatasetLocations(locations, Path("Missing"));
    EXPECT_EQ(locations.Count(), 2);
}

TEST_F(FactoryTest, CompanyFileNameAndAccDataAreFoundWhateverTheirCase) {
    TDatasetBuilder acme(temp.Path() / "Acme");
    acme.WriteSetup({}, 27, "AccData", "setup.DTA");
    WriteBytes(temp.Path() / "Company", rtl::StringToUtf8(Path("Acme")));
    rtl::TStringList locations;
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    ASSERT_EQ(locations.Count(), 1);
    TDatasetPtr dataset(factory.MakeDatasetAndLoad(locations.Strings(0)));
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(dataset->CompanyName(), u"ACME LTD");
}

TEST_F(FactoryTest, CompanyFileEncodings) {
    Dataset("Caf\xC3\xA9");
    rtl::TStringList locations;
    // Windows-1252 bytes name the same folder as its UTF-8 name.
    WriteCompany(rtl::StringToWin1252(Path("Caf\xC3\xA9")) + "\r\n");
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    ASSERT_EQ(locations.Count(), 1);
    EXPECT_EQ(locations.Strings(0), Path("Caf\xC3\xA9"));
    locations.Clear();
    WriteCompany("\xEF\xBB\xBF" + rtl::StringToUtf8(Path("Caf\xC3\xA9")));
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    EXPECT_EQ(locations.Count(), 1);
}

TEST_F(FactoryTest, JunkCompanyFilesAddNothing) {
    Dataset("Acme");
    std::mt19937 random(7);
    std::string junk(20000, '\0');
    for (char& c : junk) {
        c = static_cast<char>(random());
    }
    junk += "\n" + std::string(100000, 'x') + "\n" + rtl::StringToUtf8(Path("Acme")) + std::string(1, '\0') +
            "x\n";
    WriteCompany(junk);
    rtl::TStringList locations;
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    EXPECT_EQ(locations.Count(), 0) << "a line with a NUL never names the shorter folder";
}

TEST_F(FactoryTest, AddFromCompanyFileLoadsOnlyNewDatasets) {
    Dataset("Acme");
    Dataset("Beta");
    Dataset("Bad", 31);
    WriteCompany(rtl::StringToUtf8(Path("Beta")) + "\n" + rtl::StringToUtf8(Path("Acme")) + "\n" +
                 rtl::StringToUtf8(Path("Bad")) + "\n");
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 2);
    ASSERT_EQ(datasets.Count(), 2);
    EXPECT_EQ(datasets.Strings(0), Path("Acme")) << "taken in sorted order";
    EXPECT_EQ(static_cast<TSageDataset*>(datasets.Objects(1))->CompanyName(), u"Beta");
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 0);
    EXPECT_EQ(datasets.Count(), 2);
    EXPECT_THROW(factory.AddDatasetFromCompanyFile(datasets, Path("NOFILE")), rtl::EFOpenError);
}

TEST_F(FactoryTest, AddFromSetupFile) {
    Dataset("Acme");
    const rtl::UnicodeString accData = Path("Acme") + rtl::PathDelim + u"ACCDATA";
    EXPECT_EQ(MessageOf([&] {
                  factory.AddDatasetFromSetupFile(datasets, accData + rtl::PathDelim + u"SETUP.BAK");
              }),
              "Sage dataset factory: Not a SETUP.DTA file");
    EXPECT_EQ(factory.AddDatasetFromSetupFile(datasets, accData + rtl::PathDelim + u"setup.dta"), 0);
    ASSERT_EQ(datasets.Count(), 1);
    EXPECT_EQ(datasets.Strings(0), accData);
    EXPECT_EQ(static_cast<TSageDataset*>(datasets.Objects(0))->DatasetFolder(), Path("Acme"));
    EXPECT_EQ(factory.AddDatasetFromSetupFile(datasets, accData + rtl::PathDelim + u"SETUP.DTA"), -1);
    EXPECT_EQ(datasets.Count(), 1);
    Dataset("Bad", 40);
    EXPECT_EQ(factory.AddDatasetFromSetupFile(datasets, Path("Bad/ACCDATA/SETUP.DTA")), -1);

    // A dataset added from its SETUP.DTA is not added a second time from a COMPANY file.
    WriteCompany(rtl::StringToUtf8(Path("Acme")) + "\n");
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 0);
    EXPECT_EQ(datasets.Count(), 1);
}

TEST(FactorySingleton, SharedInstanceLifecycle) {
    EXPECT_EQ(TSageDatasetFactory::PeekSingleton(), nullptr);
    TSageDatasetFactory* shared = TSageDatasetFactory::GetSingleton();
    EXPECT_EQ(TSageDatasetFactory::GetSingleton(), shared);
    EXPECT_EQ(TSageDatasetFactory::PeekSingleton(), shared);
    TSageDatasetFactory::FreeSingleton();
    EXPECT_EQ(TSageDatasetFactory::PeekSingleton(), nullptr);
    TSageDatasetFactory::FreeSingleton();
    rtl::Free(TSageDatasetFactory::GetSingleton());
    EXPECT_EQ(TSageDatasetFactory::PeekSingleton(), nullptr) << "destroying the shared instance clears it";
}

// --- Whole datasets --------------------------------------------------------------------------------

TEST_F(FactoryTest, FullLoadLeavesEveryByteUnchanged) {
    TDatasetBuilder acme = Dataset("Acme", 29);
    acme.WriteWatermark("29.0.1\r\n");
    const std::string name = "VAT Return 01-04-2021 - 30-06-2021.xml";
    acme.WriteReturn("2021", name, SimpleReturnXml("01/04/2021", "30/06/2021"));
    acme.WriteReturn("2021", "broken.xml", "<VATRETURN>");
    acme.WriteAdjustments("2021", name, AdjustmentsXml({{"0", {{"1.00", "0"}}}}));
    const auto before = SnapshotFiles(acme.Folder());
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a write would show in the times too

    TDatasetPtr dataset(factory.MakeDatasetAndLoad(acme.Text()));
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(dataset->VatReturns().Count(), 1);
    EXPECT_EQ(dataset->Version(), u"29.0.1");
    dataset->SetCompanyName(u"CHANGED");
    dataset->SetUuidString(u"11111111-2222-3333-4444-555555555555");
    dataset.reset();
    EXPECT_EQ(SnapshotFiles(acme.Folder()), before);
}

TEST(FactoryGenerated, GeneratedDatasetsLoadAsDescribed) {
    TTempFolder temp;
    venturo::sample::TSampleOptions options;
    options.OutputFolder = temp.Path();
    options.Datasets = 6;
    options.ReturnsPerDataset = 5;
    options.Seed = 11;
    options.MixedCaseNames = true;
    options.Faults.UnreadableReturn = true;
    options.Faults.ImpossibleDate = true;
    options.Faults.UnknownVersion = true;
    const venturo::sample::TSampleSet set = venturo::sample::GenerateSampleDatasets(options);
    const auto before = SnapshotFiles(temp.Path());

    TSageDatasetFactory factory;
    rtl::TStringList datasets(true);
    factory.AddDatasetFromCompanyFile(datasets, ToText(set.CompanyFile));
    int loadable = 0;
    for (const venturo::sample::TSampleDataset& sample : set.Datasets) {
        const int index = datasets.IndexOf(ToText(sample.Folder));
        if (!sample.Loadable()) {
            EXPECT_LT(index, 0);
            continue;
        }
        ++loadable;
        ASSERT_GE(index, 0) << sample.Folder;
        auto* dataset = static_cast<TSageDataset*>(datasets.Objects(index));
        EXPECT_EQ(dataset->MajorVersion(), sample.MajorVersion);
        EXPECT_EQ(dataset->Version(), rtl::U(sample.ExpectedVersion()));
        EXPECT_EQ(dataset->VatNumberForUrl(), rtl::U(sample.VatNumberDigits()));
        const rtl::TStringList& returns = dataset->VatReturns();
        int good = 0;
        for (const auto& sampleReturn : sample.Returns) {
            if (sampleReturn.Fault != venturo::sample::TReturnFault::None) {
                continue;
            }
            ++good;
            const rtl::TDateTime from = rtl::EncodeDate(
                sampleReturn.DateFrom.Year, sampleReturn.DateFrom.Month, sampleReturn.DateFrom.Day);
            const int at = returns.IndexOf(rtl::FormatDateTime(u"yyyy/mm/dd", from));
            ASSERT_GE(at, 0);
            const auto* vatReturn = static_cast<sage::TSageDatasetVatReturn*>(returns.Objects(at));
            const auto expected = sampleReturn.ExpectedBoxesPence();
            for (int box = 1; box <= 13; ++box) {
                EXPECT_EQ(vatReturn->GetBox(box).Raw(), expected[static_cast<std::size_t>(box - 1)] * 100)
                    << box;
            }
        }
        EXPECT_EQ(returns.Count(), good) << sample.Folder;
    }
    EXPECT_EQ(datasets.Count(), loadable);
    EXPECT_EQ(SnapshotFiles(temp.Path()), before);
}

} // namespace

// One dataset reached under two spellings of its path would be loaded twice and, sharing a VAT
// number, become a group that doubles every box.
TEST_F(FactoryTest, OneDatasetUnderTwoSpellingsIsKnownOnce) {
    Dataset("Acme");
    fs::create_directory_symlink(temp.Path() / "Acme", temp.Path() / "Link");
    const std::string acme = rtl::StringToUtf8(Path("Acme"));
    const std::string dotted = rtl::StringToUtf8(temp.Text()) + "/./Acme";
    WriteCompany(acme + "\n" + dotted + "\n" + rtl::StringToUtf8(Path("Link")) + "\n");

    rtl::TStringList locations;
    factory.GetCompanyDatasetLocations(locations, temp.Text());
    ASSERT_EQ(locations.Count(), 1) << "a COMPANY file listing one dataset three ways lists it once";

    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 1);
    EXPECT_EQ(factory.AddDatasetFromSetupFile(datasets, Path("Link/ACCDATA/SETUP.DTA")), -1);
    WriteCompany(dotted + "\n");
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 0);
    EXPECT_EQ(datasets.Count(), 1);
    EXPECT_EQ(TSageDatasetFactory::IndexOfDataset(datasets, Path("Link/ACCDATA")), 0);
    EXPECT_EQ(TSageDatasetFactory::IndexOfDataset(datasets, Path("Missing")), -1);
}

// The identities a listing took are what loading goes by; a folder named through its ACCDATA level
// is the dataset folder above it, whose identity is another.
TEST_F(FactoryTest, IdentitiesTakenWhileListingServeTheLoad) {
    Dataset("Acme");
    Dataset("Beta");
    fs::create_directory_symlink(temp.Path() / "Acme", temp.Path() / "Link");
    WriteCompany(rtl::StringToUtf8(Path("Acme")) + "\n" + rtl::StringToUtf8(Path("Beta")) + "\n");
    rtl::TStringList locations;
    sage::TSageFolderIdentities identities;
    factory.GetCompanyDatasetLocations(locations, temp.Text(), nullptr, &identities);
    ASSERT_EQ(identities.size(), 2u);
    EXPECT_TRUE(identities.at(Path("Acme")) == rtl::FileIdentity(Path("Link")));

    // A second COMPANY file naming the same folder through a link adds nothing.
    fs::create_directory(temp.Path() / "Other");
    WriteBytes(temp.Path() / "Other" / "COMPANY", rtl::StringToUtf8(Path("Link")) + "\n");
    factory.GetCompanyDatasetLocations(locations, Path("Other"), nullptr, &identities);
    EXPECT_EQ(locations.Count(), 2);

    TDatasetPtr acme(factory.MakeDatasetAndLoad(Path("Acme"), nullptr, &identities.at(Path("Acme"))));
    ASSERT_TRUE(acme);
    datasets.AddObject(Path("Acme"), acme.release());
    const rtl::TFileIdentity accData = rtl::FileIdentity(Path("Link/ACCDATA"));
    EXPECT_EQ(TSageDatasetFactory::IndexOfDataset(datasets, Path("Link/ACCDATA"), &accData), 0);
    TDatasetPtr beta(factory.MakeDatasetAndLoad(Path("Beta/ACCDATA"), nullptr, &accData));
    ASSERT_TRUE(beta);
    EXPECT_TRUE(beta->FolderIdentity() == rtl::FileIdentity(Path("Beta")));
}

TEST_F(FactoryTest, FoldersWhoseNamesDifferOnlyInCaseAreTwoDatasets) {
    Dataset("acme");
    Dataset("ACME");
    WriteCompany(rtl::StringToUtf8(Path("acme")) + "\n" + rtl::StringToUtf8(Path("ACME")) + "\n");
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 2);
    ASSERT_EQ(datasets.Count(), 2);
    EXPECT_NE(static_cast<TSageDataset*>(datasets.Objects(0))->CompanyName(),
              static_cast<TSageDataset*>(datasets.Objects(1))->CompanyName());
}

TEST_F(FactoryTest, HostileCompanyFilesFailInsteadOfHanging) {
    ASSERT_EQ(::mkfifo((temp.Path() / "COMPANY").c_str(), 0600), 0);
    rtl::TStringList locations;
    EXPECT_THROW(factory.GetCompanyDatasetLocations(locations, temp.Text()), rtl::EFOpenError);
    fs::remove(temp.Path() / "COMPANY");
    fs::create_symlink("/dev/zero", temp.Path() / "COMPANY");
    EXPECT_THROW(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), rtl::EFOpenError);
    fs::remove(temp.Path() / "COMPANY");
    WriteCompany(std::string(sage::kMaxCompanyFileSize + 1, '\n'));
    EXPECT_NE(
        MessageOf([&] { factory.GetCompanyDatasetLocations(locations, temp.Text()); }).find("too large"),
        std::string::npos);
}
