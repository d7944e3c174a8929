// The start-up loaders, driven without windows through a recording view.
#include "app/core/DatasetLoader.h"

#include "app/core/DatasetBrowse.h"

#include "app/core/CoreTestSupport.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"
#include "rtl/Files.h"
#include "rtl/Thread.h"
#include "sage_datasets/SageDataset.h"
#include "utils/values/ORVI.FolderNameEncoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using namespace ven::testing;
using venturo::sample::WriteCompanyFile;

class TRecordingView : public ven::ILoaderView {
public:
    std::vector<UnicodeString> Progress;
    std::vector<bool> OnTop;
    std::vector<UnicodeString> Messages;
    bool Finished = false;
    bool OffMainThread = false;

    void ShowProgress(const UnicodeString& text) override {
        Note();
        Progress.push_back(text);
    }
    void SetSplashOnTop(bool onTop) override {
        Note();
        OnTop.push_back(onTop);
    }
    void ShowMessage(const UnicodeString& text) override {
        Note();
        Messages.push_back(text);
    }
    void FinishLoading() override {
        Note();
        Finished = true;
    }

private:
    void Note() { OffMainThread |= !rtl::IsMainThread(); }
};

// Points the two search macros at folders of the test, for the life of the object.
class TSearchRoots {
public:
    explicit TSearchRoots(const fs::path& root)
        : ProgramFiles(ToText(root / "pf86")), Public(ToText(root / "public")) {
        fs::create_directories(root / "pf86");
        fs::create_directories(root / "public");
        _oldPf = orvi::ExpandFolderName(UnicodeString(u"{:ProgramFilesx86:}"));
        _oldPublic = orvi::ExpandFolderName(UnicodeString(u"{:Public:}"));
        orvi::RegisterFolderNameEncoding(ProgramFiles, u"{:ProgramFilesx86:}");
        orvi::RegisterFolderNameEncoding(Public, u"{:Public:}");
    }
    ~TSearchRoots() {
        orvi::UnregisterFolderNameEncoding(ProgramFiles, u"{:ProgramFilesx86:}");
        orvi::UnregisterFolderNameEncoding(Public, u"{:Public:}");
        if (_oldPf != u"{:ProgramFilesx86:}") {
            orvi::RegisterFolderNameEncoding(_oldPf, u"{:ProgramFilesx86:}");
        }
        if (_oldPublic != u"{:Public:}") {
            orvi::RegisterFolderNameEncoding(_oldPublic, u"{:Public:}");
        }
    }
    UnicodeString ProgramFiles, Public;

private:
    UnicodeString _oldPf, _oldPublic;
};

class LoaderTest : public ::testing::Test {
protected:
    LoaderTest()
        : _mode(u"/nonexistent/a", u"/nonexistent/b", u"/nonexistent/c"), _dm(_mode), _roots(_tmp.Path()) {
        rtl::SetMainThread();
    }

    fs::path Data(const std::string& relative) const { return _tmp.Path() / "public" / relative; }

    void LoadStandard() {
        ven::TStandardLoader loader(&_dm, &_view, ven::TLoaderPacing::None());
        loader.Load();
    }

    std::vector<UnicodeString> Companies() {
        std::vector<UnicodeString> names;
        for (int i = 0; i < _dm.DataSets()->Count(); ++i) {
            names.push_back(dynamic_cast<sage::TSageDataset*>(_dm.DataSets()->Objects(i))->CompanyName());
        }
        return names;
    }

    TTempFolder _tmp;
    TRegistryScope _registry;
    ven::TVenSystemMode _mode;
    ven::TdmVenMTD _dm;
    TSearchRoots _roots;
    TRecordingView _view;
};

TEST_F(LoaderTest, NoDatasetAnywhereStillCountsAndFinishes) {
    LoadStandard();
    ASSERT_FALSE(_view.Progress.empty());
    EXPECT_EQ(_view.Progress.back(), u"Found: 0 Sage companies");
    EXPECT_TRUE(_view.Finished);
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 0);
}

TEST_F(LoaderTest, SameFolderFromTwoLocationsLoadsOnceAndAmpersandsAreDoubled) {
    fs::path acme = Data("Sage/Accounts/2021/Smith & Sons");
    WriteDataset(MakeDataset(acme, "Smith & Sons", "GB 123 4567 89", 1));
    WriteCompanyFile(Data("Sage/Accounts/2021/COMPANY"), {acme, acme.string() + "/"});
    WriteCompanyFile(_tmp.Path() / "pf86/Sage/Accounts/COMPANY", {acme});
    LoadStandard();

    ASSERT_EQ(_dm.DataSets()->Count(), 1);
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 1);
    ASSERT_EQ(_view.Progress.size(), 2u);
    UnicodeString shownFolder = ToText(Data("Sage/Accounts/2021/Smith && Sons"));
    EXPECT_EQ(_view.Progress[0], u"Found: Smith && Sons version: 27.2.0.225\r" + shownFolder);
    EXPECT_EQ(_view.Progress[1], u"Found: 1 Sage companies");
}

// Loaded twice, one dataset would become a VAT group with itself and double every box.
TEST_F(LoaderTest, OneDatasetUnderSeveralSpellingsOfItsPathLoadsOnce) {
    fs::path acme = Data("Sage/Accounts/2021/Company.000");
    WriteDataset(MakeDataset(acme, "Acme Ltd", "GB 123 4567 89", 1));
    fs::create_directory_symlink(acme, _tmp.Path() / "linked");
    WriteCompanyFile(Data("Sage/Accounts/2021/COMPANY"), {acme});
    WriteCompanyFile(Data("Sage/Accounts/2022/COMPANY"), {acme.parent_path() / "." / "Company.000"});
    WriteCompanyFile(_tmp.Path() / "pf86/Sage/Accounts/COMPANY", {_tmp.Path() / "linked"});
    LoadStandard();
    EXPECT_EQ(Companies(), std::vector<UnicodeString>{u"Acme Ltd"});
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 1);
}

TEST_F(LoaderTest, DatasetsAreSortedWithoutReturnsFirstThenByLatestReturn) {
    std::vector<fs::path> folders;
    auto add = [&](const std::string& name, const std::string& vat, int returns, int firstYear) {
        folders.push_back(Data("Sage/Accounts/2020/" + name));
        WriteDataset(MakeDataset(folders.back(), name, vat, returns, firstYear));
    };
    add("Newest", "GB 100 000 001", 2, 2022);
    add("NoReturnsB", "GB 900 000 000", 0, 2020);
    add("Oldest", "GB 100 000 002", 1, 2019);
    add("NoReturnsA", "GB 800 000 000", 0, 2020);
    // Equal descriptions (same period, same VAT number): by company name.
    add("Twin Beta", "GB 555 555 555", 1, 2020);
    add("Twin Alpha", "GB 555 555 555", 1, 2020);
    WriteCompanyFile(Data("Sage/Accounts/2020/COMPANY"), folders);
    LoadStandard();

    std::vector<UnicodeString> expected = {u"NoReturnsA", u"NoReturnsB", u"Oldest",
                                           u"Twin Alpha", u"Twin Beta",  u"Newest"};
    EXPECT_EQ(Companies(), expected);
    ASSERT_EQ(_dm.mtDataSets.RecordCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(_dm.mtDataSets.AsString(i, u"CoName"), expected[i]) << "row order follows the list";
    }
}

TEST_F(LoaderTest, RegistryApplicationPathLosesTrailingSeparators) {
    fs::path program = _tmp.Path() / "sage-program";
    fs::path acme = _tmp.Path() / "elsewhere/acme";
    WriteDataset(MakeDataset(acme, "Registry Found Ltd", "GB 123 4567 89", 0));
    fs::create_directories(program);
    WriteCompanyFile(program / "COMPANY", {acme});
    _registry.WriteRootFile("HKEY_LOCAL_MACHINE",
                            "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SAGE.EXE]\r\n"
                            "Path=" +
                                program.string() + "\\/\r\n");
    LoadStandard();
    EXPECT_EQ(Companies(), std::vector<UnicodeString>{u"Registry Found Ltd"});
}

TEST_F(LoaderTest, PlatformListWithRepeatedLinesAndMissingSelector) {
    fs::path acme = _tmp.Path() / "platform/Acme";
    WriteDataset(MakeDataset(acme, "Acme Hosted", "GB 123 4567 89", 1));
    fs::path list = _tmp.Path() / "Venturo_MTD.COMPANY";
    std::string upper = acme.string();
    upper.replace(upper.size() - 4, 4, "ACME");
    std::ofstream(list, std::ios::binary) << acme.string() << "\r\n\r\n"
                                          << upper << "\r\n"
                                          << acme.string() << "\n";

    ven::TPlatformLoader loader(&_dm, &_view, ven::TLoaderPacing::None(),
                                ToText(_tmp.Path() / "no-selector.exe"), ToText(list));
    loader.Load();
    EXPECT_EQ(Companies(), std::vector<UnicodeString>{u"Acme Hosted"});
    ASSERT_FALSE(_view.Progress.empty());
    EXPECT_EQ(_view.Progress.front(), u"Getting Opted In Companies...");
    EXPECT_EQ(_view.OnTop, (std::vector<bool>{false, true}));
    EXPECT_TRUE(_view.Messages.empty());
}

// What could not be read is kept per folder: the folders that gave no dataset, and the returns a
// dataset left out, each with the file that failed and why.
TEST_F(LoaderTest, WhatCouldNotBeReadIsRecordedPerFolder) {
    const TDamagedData data = WriteDamagedData(_tmp.Path() / "platform");
    const fs::path missing = _tmp.Path() / "platform/Gone";
    fs::path list = _tmp.Path() / "Venturo_MTD.COMPANY";
    std::ofstream(list, std::ios::binary) << data.Incomplete.string() << "\r\n\r\n"
                                          << data.UnknownVersion.string() << "\r\n"
                                          << missing.string() << "\r\n";
    ven::TPlatformLoader loader(&_dm, &_view, ven::TLoaderPacing::None(),
                                ToText(_tmp.Path() / "no-selector.exe"), ToText(list));
    loader.Load();
    ASSERT_EQ(Companies(), std::vector<UnicodeString>{u"Harrogate Tea Rooms Ltd"});

    const ven::TReadProblems problems = _dm.Problems();
    ASSERT_EQ(problems.size(), 4u) << "the empty line names nothing";
    auto find = [&](const fs::path& path) -> const ven::TReadProblem* {
        for (const ven::TReadProblem& p : problems) {
            if (p.Path == ToText(path)) {
                return &p;
            }
        }
        ADD_FAILURE() << "not recorded: " << path;
        return nullptr;
    };
    if (const ven::TReadProblem* p = find(data.UnknownVersion)) {
        EXPECT_EQ(p->Folder, ToText(data.UnknownVersion));
        EXPECT_EQ(p->Reason, u"Unknown version byte 31 in SETUP.DTA");
        EXPECT_EQ(ven::ProblemReasonText(*p), u"ACCDATA" + UnicodeString(1, rtl::PathDelim) +
                                                  u"SETUP.DTA: Unknown version byte 31 in SETUP.DTA");
    }
    if (const ven::TReadProblem* p = find(missing)) {
        EXPECT_EQ(p->Reason, u"The folder does not exist");
    }
    if (const ven::TReadProblem* p = find(data.NewestReturn)) {
        EXPECT_EQ(p->Folder, ToText(data.Incomplete));
        EXPECT_EQ(p->File, p->Path);
        EXPECT_EQ(p->Reason.find(u"Malformed XML: "), 0u);
    }
    if (const ven::TReadProblem* p = find(data.SecondReturn)) {
        EXPECT_EQ(p->File, ToText(data.BadAdjustments));
        EXPECT_EQ(ven::ProblemReasonText(*p).find(ToText(data.BadAdjustments) + u": Malformed XML: "), 0u);
    }
    // The row does not pass for complete: its latest return is only the newest that could be read.
    EXPECT_EQ(_dm.mtDataSets.Value(0, u"LatestReturn"),
              ven::TFieldValue(UnicodeString(u"01/01/2020 - 31/03/2020")));
    EXPECT_EQ(_dm.mtDataSets.Value(0, u"Problems"),
              ven::TFieldValue(
                  UnicodeString(u"2 items could not be read; returns may be missing from this dataset")));
    EXPECT_EQ(ven::ProblemsSummaryText(problems.size()), u"4 items could not be read");
    EXPECT_EQ(ven::ProblemsSummaryText(1), u"1 item could not be read");

    // Read again (a Browse of the same list), a folder that still fails is one item, not two.
    ven::AddPlatformDatasets(_dm, ToText(list));
    EXPECT_EQ(_dm.Problems().size(), 4u);
}

TEST_F(LoaderTest, PlatformSelectorRunsBeforeTheListIsRead) {
    fs::path acme = _tmp.Path() / "platform/Acme";
    WriteDataset(MakeDataset(acme, "Written By Selector", "GB 123 4567 89", 1));
    fs::path list = _tmp.Path() / "list.COMPANY";
    fs::path selector = _tmp.Path() / "selector.sh";
    std::ofstream(selector) << "#!/bin/sh\n[ \"$1\" = \"--validate\" ] && printf '%s\\r\\n' '"
                            << acme.string() << "' > '" << list.string() << "'\n";
    fs::permissions(selector, fs::perms::owner_all);

    ven::TPlatformLoader loader(&_dm, &_view, ven::TLoaderPacing::None(), ToText(selector), ToText(list));
    loader.Load();
    EXPECT_EQ(Companies(), std::vector<UnicodeString>{u"Written By Selector"});
}

TEST_F(LoaderTest, AWindowsSelectorThatCannotRunHereGoesThroughWine) {
    fs::path acme = _tmp.Path() / "platform/Acme";
    WriteDataset(MakeDataset(acme, "Selected Through Wine", "GB 123 4567 89", 1));
    fs::path list = _tmp.Path() / "list.COMPANY";
    // Copied from the platform: no execute permission. The stand-in wine runs it as a script.
    fs::path selector = _tmp.Path() / "Venturo_MTD_CvnDSSelector.exe";
    std::ofstream(selector) << "[ \"$1\" = \"--validate\" ] && printf '%s\\r\\n' '" << acme.string()
                            << "' > '" << list.string() << "'\n";
    fs::create_directory(_tmp.Path() / "bin");
    std::ofstream(_tmp.Path() / "bin/wine") << "#!/bin/sh\nexec /bin/sh \"$@\"\n";
    fs::permissions(_tmp.Path() / "bin/wine", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (_tmp.Path() / "bin").c_str(), 1);

    ven::TPlatformLoader loader(&_dm, &_view, ven::TLoaderPacing::None(), ToText(selector), ToText(list));
    loader.Load();
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(Companies(), std::vector<UnicodeString>{u"Selected Through Wine"});
}

TEST_F(LoaderTest, MissingPlatformListIsReportedAndLoadingStillFinishes) {
    ven::TPlatformLoader loader(&_dm, &_view, ven::TLoaderPacing::None(), u"/nonexistent/selector.exe",
                                ToText(_tmp.Path() / "missing.COMPANY"));
    loader.Load();
    ASSERT_EQ(_view.Messages.size(), 1u);
    EXPECT_NE(_view.Messages[0].find(ToText(_tmp.Path() / "missing.COMPANY")), UnicodeString::npos);
    EXPECT_TRUE(_view.Finished);
    EXPECT_EQ(_view.OnTop, (std::vector<bool>{false, true}));
}

TEST_F(LoaderTest, ThreadedLoadRunsViewCallsOnTheMainThreadAndKeepsTheMinimumTime) {
    fs::path acme = Data("Sage/Accounts/2021/Acme");
    WriteDataset(MakeDataset(acme, "Acme", "GB 123 4567 89", 1));
    WriteCompanyFile(Data("Sage/Accounts/2021/COMPANY"), {acme});

    ven::TLoaderPacing pacing{1, 1, 300};
    std::uint64_t start = rtl::GetTickCount64();
    auto* loader = new ven::TStandardLoader(&_dm, &_view, pacing);
    loader->FreeOnTerminate = true;
    loader->Start();
    while (!_view.Finished) {
        rtl::CheckSynchronize(50);
    }
    EXPECT_GE(rtl::GetTickCount64() - start, 300u);
    EXPECT_FALSE(_view.OffMainThread);
    EXPECT_EQ(_dm.mtDataSets.RecordCount(), 1);
    rtl::Sleep(50); // let the thread free itself before the data module goes
}

TEST(StandardLoaderSearch, FoldersInOrder) {
    std::vector<UnicodeString> folders = ven::TStandardLoader::SearchFolders();
    ASSERT_GE(folders.size(), 23u);
    UnicodeString base = orvi::ExpandFolderName(UnicodeString(u"{:ProgramFilesx86:}"));
    UnicodeString pub = orvi::ExpandFolderName(UnicodeString(u"{:Public:}"));
    UnicodeString d(1, rtl::PathDelim);
    EXPECT_EQ(folders[0], base + d + u"Sage" + d + u"Line 50");
    EXPECT_EQ(folders[6], base + d + u"Sage Instant Accounts");
    EXPECT_EQ(folders[7], pub);
    EXPECT_EQ(folders[8], pub + d + u"Sage" + d + u"Accounts" + d + u"2008");
    EXPECT_EQ(folders[22], pub + d + u"Sage" + d + u"Accounts" + d + u"2022");
}

} // namespace
