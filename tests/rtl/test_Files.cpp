#include "TempFolder.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Shell.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
    UnicodeString Root() const { return Utf8ToString(_root.string()); }
    void Touch(const std::string& name, const std::string& content = "x") {
        std::ofstream(_root / name, std::ios::binary) << content;
    }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
};

std::vector<UnicodeString> Sorted(std::vector<UnicodeString> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST_F(FilesTest, FindChildIgnoreCaseMatchesAnyLetterCase) {
    fs::create_directory(_root / "AccData");
    Touch("SETUP.dta");
    EXPECT_EQ(FindChildIgnoreCase(Root(), u"ACCDATA"), Root() + u"/AccData");
    EXPECT_EQ(FindChildIgnoreCase(Root(), u"setup.DTA"), Root() + u"/SETUP.dta");
    // Nothing there: the name as asked, so the caller's existence test fails cleanly.
    EXPECT_EQ(FindChildIgnoreCase(Root(), u"VATRTNS"), Root() + u"/VATRTNS");
    EXPECT_EQ(FindChildIgnoreCase(Root() + u"/missing", u"COMPANY"), Root() + u"/missing/COMPANY");
}

TEST_F(FilesTest, FindChildIgnoreCasePrefersTheExactName) {
    Touch("watermark.xml");
    Touch("Watermark.xml");
    Touch("WATERMARK.XML");
    EXPECT_EQ(FindChildIgnoreCase(Root() + u"/", u"Watermark.xml"), Root() + u"/Watermark.xml");
}

TEST_F(FilesTest, ListingSeparatesFilesAndFolders) {
    Touch("a.xml");
    Touch("B.XML");
    fs::create_directory(_root / "2021");
    fs::create_directory(_root / "_Data");
    fs::create_symlink(_root / "a.xml", _root / "link.xml");
    EXPECT_EQ(Sorted(ListFiles(Root())), (std::vector<UnicodeString>{u"B.XML", u"a.xml", u"link.xml"}));
    EXPECT_EQ(Sorted(ListDirectories(Root())), (std::vector<UnicodeString>{u"2021", u"_Data"}));
    EXPECT_TRUE(ListFiles(Root() + u"/nowhere").empty());
    EXPECT_TRUE(ListDirectories(Root() + u"/a.xml").empty());
}

TEST_F(FilesTest, ExistenceTellsFilesFromFolders) {
    Touch("f");
    EXPECT_TRUE(FileExists(Root() + u"/f"));
    EXPECT_FALSE(DirectoryExists(Root() + u"/f"));
    EXPECT_TRUE(DirectoryExists(Root()));
    EXPECT_FALSE(FileExists(Root()));
    EXPECT_FALSE(FileExists(u""));
    EXPECT_FALSE(DirectoryExists(u""));
}

TEST_F(FilesTest, ReadAllBytesNamesTheFileOnFailure) {
    Touch("data.bin", std::string("\0\1\xFF", 3));
    EXPECT_EQ(ReadAllBytes(Root() + u"/data.bin"), (TBytes{0, 1, 0xFF}));
    try {
        ReadAllBytes(Root() + u"/absent.bin");
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), u"Cannot open file \"" + Root() + u"/absent.bin\". No such file or directory");
    }
    EXPECT_THROW(ReadAllBytes(Root()), EFOpenError);
}

TEST_F(FilesTest, FindChildIgnoreCaseTellsWhatItFound) {
    fs::create_directory(_root / "VatRtns");
    Touch("Watermark.XML");
    fs::create_symlink(_root / "VatRtns", _root / "linked");
    fs::create_symlink(_root / "absent", _root / "dangling");
    struct TCase {
        const char16_t* name;
        const char16_t* found;
        TPathKind kind;
    };
    for (const TCase& c : {TCase{u"VATRTNS", u"VatRtns", TPathKind::pkDirectory},
                           TCase{u"VatRtns", u"VatRtns", TPathKind::pkDirectory},
                           TCase{u"Watermark.xml", u"Watermark.XML", TPathKind::pkFile},
                           TCase{u"linked", u"linked", TPathKind::pkDirectory},
                           TCase{u"dangling", u"dangling", TPathKind::pkNone},
                           TCase{u"absent", u"absent", TPathKind::pkNone}}) {
        TPathKind kind = TPathKind::pkFile;
        const UnicodeString path = FindChildIgnoreCase(Root(), c.name, kind);
        EXPECT_EQ(path, Root() + u"/" + c.found);
        EXPECT_EQ(path, FindChildIgnoreCase(Root(), c.name));
        EXPECT_EQ(kind, c.kind) << StringToUtf8(c.name);
        EXPECT_EQ(kind == TPathKind::pkDirectory, DirectoryExists(path));
        EXPECT_EQ(kind == TPathKind::pkFile, FileExists(path));
    }
}

TEST_F(FilesTest, ReadFileUpToReadsWholeFilesWithinTheLimitOnly) {
    Touch("data.bin", std::string("\0\1\xFF", 3));
    std::string bytes = "stale";
    EXPECT_TRUE(ReadFileUpTo(Root() + u"/data.bin", 3, bytes));
    EXPECT_EQ(bytes, std::string("\0\1\xFF", 3));
    EXPECT_FALSE(ReadFileUpTo(Root() + u"/data.bin", 2, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_THROW(ReadFileUpTo(Root() + u"/absent.bin", 10, bytes), EFOpenError);
    EXPECT_THROW(ReadFileUpTo(Root(), 10, bytes), EFOpenError);
}

TEST_F(FilesTest, OpenFolderListsAndReadsLikeThePathFunctions) {
    fs::create_directory(_root / "sub");
    Touch("a.xml", "<a/>");
    Touch("b \xC3\xA9.xml", "<b/>");
    fs::create_symlink(_root / "a.xml", _root / "link.xml");
    const TOpenFolder folder(Root());
    ASSERT_TRUE(folder.IsOpen());
    EXPECT_EQ(folder.Path(), Root());
    EXPECT_EQ(Sorted(folder.ListFiles()), Sorted(ListFiles(Root())));
    EXPECT_EQ(folder.ListFiles().size(), 3u) << "listed again from the start";
    std::string bytes;
    EXPECT_TRUE(folder.ReadFileUpTo(U("b \xC3\xA9.xml"), 100, bytes));
    EXPECT_EQ(bytes, "<b/>");
    EXPECT_FALSE(folder.ReadFileUpTo(u"a.xml", 3, bytes));
    try {
        folder.ReadFileUpTo(u"absent.xml", 100, bytes);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), u"Cannot open file \"" + Root() + u"/absent.xml\". No such file or directory");
    }
    EXPECT_THROW(folder.ReadFileUpTo(u"sub", 100, bytes), EFOpenError);
    bool complete = false;
    EXPECT_TRUE(folder.ReadFileIfExists(u"a.xml", 100, bytes, complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(bytes, "<a/>");
    EXPECT_TRUE(folder.ReadFileIfExists(u"a.xml", 3, bytes, complete));
    EXPECT_FALSE(complete) << "too large";
    for (const UnicodeString name : {u"absent.xml", u"sub", u"a.xml/inside"}) {
        EXPECT_FALSE(folder.ReadFileIfExists(name, 100, bytes, complete)) << StringToUtf8(name);
        EXPECT_TRUE(bytes.empty());
    }

    const TOpenFolder sub(folder, u"sub");
    ASSERT_TRUE(sub.IsOpen());
    EXPECT_EQ(sub.Path(), Root() + u"/sub");
    EXPECT_TRUE(sub.ListFiles().empty());
    EXPECT_FALSE(TOpenFolder(folder, u"a.xml").IsOpen());
    EXPECT_TRUE(folder.FileExists(u"a.xml"));
    EXPECT_TRUE(folder.FileExists(u"link.xml"));
    EXPECT_FALSE(folder.FileExists(u"sub"));
    EXPECT_FALSE(folder.FileExists(u"absent.xml"));
    EXPECT_EQ(Sorted(folder.ListDirectories()), std::vector<UnicodeString>{u"sub"});

    const TOpenFolder missing(Root() + u"/absent");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(missing.ListFiles().empty());
    EXPECT_THROW(missing.ReadFileUpTo(u"a.xml", 100, bytes), EFOpenError);
    EXPECT_FALSE(TOpenFolder(Root() + u"/a.xml").IsOpen());
    EXPECT_FALSE(TOpenFolder(missing, u"sub").IsOpen());
    EXPECT_FALSE(missing.FileExists(u"a.xml"));
}

TEST_F(FilesTest, ListingsLongerThanOneReadAreWhole) {
    // About 900 entries of 60-byte names: several reads of the folder, however the system batches them.
    std::vector<UnicodeString> expected;
    for (int i = 0; i < 900; ++i) {
        const std::string name = "VAT Return " + std::to_string(100000 + i) + std::string(36, 'x') + ".xml";
        Touch(name);
        expected.push_back(Utf8ToString(name));
    }
    fs::create_directory(_root / "sub");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Sorted(ListFiles(Root())), expected);
    const TOpenFolder folder(Root());
    EXPECT_EQ(Sorted(folder.ListFiles()), expected);
    EXPECT_EQ(folder.ListDirectories(), std::vector<UnicodeString>{u"sub"}) << "a second listing restarts";
    EXPECT_EQ(FindChildIgnoreCase(Root(), u"vat return 100899" + UnicodeString(36, u'X') + u".XML"),
              Root() + u"/" + expected.back());
}

TEST_F(FilesTest, NamesThatAreNotUtf8AreListedOpenedAndKept) {
    // A Latin-1 folder name and a file name with cut-off UTF-8, as copied from older systems.
    const std::string folderBytes = "D\xE9p\xF4t";
    const std::string fileBytes = "caf\xC3 \xE9\xFF.txt";
    fs::create_directory(_root / folderBytes);
    std::ofstream(_root / folderBytes / fileBytes, std::ios::binary) << "data";

    const std::vector<UnicodeString> folders = ListDirectories(Root());
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(StringToNative(folders[0]), folderBytes);
    const UnicodeString folder = CombinePath(Root(), folders[0]);
    EXPECT_TRUE(DirectoryExists(folder));
    const std::vector<UnicodeString> files = ListFiles(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(StringToNative(files[0]), fileBytes);
    const UnicodeString file = CombinePath(folder, files[0]);
    EXPECT_TRUE(FileExists(file));
    const TBytes data = ReadAllBytes(file);
    EXPECT_EQ(std::string(data.begin(), data.end()), "data");
    EXPECT_EQ(FindChildIgnoreCase(folder, UpperCase(files[0])), file);

    const TOpenFolder parent(Root());
    const TOpenFolder opened(parent, folders[0]);
    ASSERT_TRUE(opened.IsOpen());
    EXPECT_EQ(opened.ListFiles(), files);
    std::string bytes;
    EXPECT_TRUE(opened.ReadFileUpTo(files[0], 100, bytes));
    EXPECT_EQ(bytes, "data");

    // Names made here reach the system with the same bytes.
    const UnicodeString written = CombinePath(folder, NativeToString("new\xA0.txt"));
    WriteFileAtomic(written, "w");
    EXPECT_TRUE(fs::exists(_root / folderBytes / "new\xA0.txt"));
    EXPECT_TRUE(RenameFile(written, written + u"2"));
    EXPECT_TRUE(DeleteFile(written + u"2"));
    EXPECT_FALSE(fs::exists(_root / folderBytes / "new\xA0.txt2"));

    ::setenv("ORVI_TEST_NATIVE", "/x/\xE9", 1);
    EXPECT_EQ(StringToNative(GetEnvironmentVariable(u"ORVI_TEST_NATIVE")), "/x/\xE9");
    ::unsetenv("ORVI_TEST_NATIVE");
    const UnicodeString before = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(folder));
    EXPECT_EQ(StringToNative(GetCurrentDir()), fs::current_path().string());
    EXPECT_TRUE(EndsText(folders[0], GetCurrentDir()));
    EXPECT_TRUE(SetCurrentDir(before));
}

TEST_F(FilesTest, WriteFileAtomicReplacesWholeFileAndLeavesNoTemporary) {
    Touch("store.ini", "old content that is longer");
    ::chmod((_root / "store.ini").c_str(), 0600);
    WriteFileAtomic(Root() + u"/store.ini", "new");
    EXPECT_EQ(ReadAllBytes(Root() + u"/store.ini"), (TBytes{'n', 'e', 'w'}));
    EXPECT_EQ(ListFiles(Root()), std::vector<UnicodeString>{u"store.ini"});
    EXPECT_EQ(fs::status(_root / "store.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FilesTest, WriteFileAtomicFailureLeavesNothing) {
    EXPECT_THROW(WriteFileAtomic(Root() + u"/no/such/dir/f", "x"), EFCreateError);
    // A folder in the way of the rename: the temporary file must be removed again.
    fs::create_directory(_root / "taken");
    Touch("taken/inside");
    EXPECT_THROW(WriteFileAtomic(Root() + u"/taken", "x"), EFCreateError);
    EXPECT_TRUE(ListFiles(Root()).empty());
}

TEST_F(FilesTest, ForceDeleteAndRename) {
    EXPECT_TRUE(ForceDirectories(Root() + u"/a/b/c/"));
    EXPECT_TRUE(DirectoryExists(Root() + u"/a/b/c"));
    EXPECT_TRUE(ForceDirectories(Root() + u"/a/b"));
    Touch("f");
    EXPECT_FALSE(ForceDirectories(Root() + u"/f/g"));
    EXPECT_TRUE(RenameFile(Root() + u"/f", Root() + u"/a/g"));
    EXPECT_TRUE(FileExists(Root() + u"/a/g"));
    EXPECT_TRUE(DeleteFile(Root() + u"/a/g"));
    EXPECT_FALSE(DeleteFile(Root() + u"/a/g"));
    EXPECT_FALSE(DeleteFile(Root() + u"/a")); // never a folder
}

// What an update does with a program file that may be running: set aside, then replaced by a rename.
TEST_F(FilesTest, AFileSetAsideKeepsItsBytesWhileANewOneTakesItsName) {
    Touch("program", "old");
    Touch("program.new", "new");
    ASSERT_TRUE(ForceDirectories(Root() + u"/aside"));
    EXPECT_TRUE(SetFileAside(Root() + u"/program", Root() + u"/aside/program"));
    EXPECT_TRUE(RenameFile(Root() + u"/program.new", Root() + u"/program"));
    EXPECT_EQ(ReadAllBytes(Root() + u"/program"), TBytes({'n', 'e', 'w'}));
    EXPECT_EQ(ReadAllBytes(Root() + u"/aside/program"), TBytes({'o', 'l', 'd'}));
    // Never over another file, nor from nothing.
    EXPECT_FALSE(SetFileAside(Root() + u"/program", Root() + u"/aside/program"));
    EXPECT_FALSE(SetFileAside(Root() + u"/missing", Root() + u"/aside/missing"));
    EXPECT_EQ(ReadAllBytes(Root() + u"/program"), TBytes({'n', 'e', 'w'}));
}

TEST_F(FilesTest, TheWriteProbeLeavesNothingAndFailsWhereNoFileCanBeMade) {
    EXPECT_TRUE(CanCreateFilesIn(Root()));
    EXPECT_TRUE(CanCreateFilesIn(Root()));
    EXPECT_TRUE(fs::is_empty(_root));
    EXPECT_FALSE(CanCreateFilesIn(Root() + u"/missing"));
    Touch("file");
    EXPECT_FALSE(CanCreateFilesIn(Root() + u"/file"));
}

TEST(FilePaths, SplitAndJoin) {
    EXPECT_EQ(ExtractFileName(u"/d/VATRTNS/2021/VAT Return.xml"), u"VAT Return.xml");
    EXPECT_EQ(ExtractFilePath(u"/d/VATRTNS/x.xml"), u"/d/VATRTNS/");
    EXPECT_EQ(ExtractFileDir(u"/d/VATRTNS/x.xml"), u"/d/VATRTNS");
    EXPECT_EQ(ExtractFileDir(u"/x"), u"/");
    EXPECT_EQ(ExtractFileDir(u"x"), u"");
    EXPECT_EQ(ExtractFileExt(u"/a.b/c"), u"");
    EXPECT_EQ(ExtractFileExt(u"/a/c.tar.gz"), u".gz");
    EXPECT_EQ(ChangeFileExt(u"/a/c.xml", u".bak"), u"/a/c.bak");
    EXPECT_EQ(ChangeFileExt(u"/a.d/c", u".bak"), u"/a.d/c.bak");
    EXPECT_EQ(IncludeTrailingPathDelimiter(u"/a"), u"/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(u"/a/"), u"/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/a/"), u"/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/"), u"/");
    EXPECT_EQ(CombinePath(u"/a/", u"/b"), u"/a/b");
    EXPECT_EQ(CombinePath(u"/", u"b"), u"/b");
    EXPECT_EQ(CombinePath(u"", u"b"), u"b");
    EXPECT_EQ(CombinePath(u"a", u""), u"a");
}

TEST(FilePaths, ExpandAgainstCurrentDirectory) {
    UnicodeString cwd = GetCurrentDir();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(ExpandFileName(u"x/./y/../z"), CombinePath(cwd, u"x/z"));
    EXPECT_EQ(ExpandFileName(u"/a/../../b/"), u"/b");
    UnicodeString exe = ApplicationExeName();
    EXPECT_TRUE(EndsText(u"/rtl_test_Files", exe)) << StringToUtf8(exe);
    ::setenv("RTL_FILES_TEST_VAR",
             "\xC2\xA3"
             "5",
             1);
    EXPECT_EQ(GetEnvironmentVariable(u"RTL_FILES_TEST_VAR"), u"£5");
    EXPECT_EQ(GetEnvironmentVariable(u"RTL_FILES_TEST_UNSET"), u"");
}

// Run as a copy of this program: renames its own file, as an update does, and records the name it
// still reports. Does nothing in an ordinary run.
TEST(FilePaths, ProgramNameOfACopyThatRenamesItself) {
    const char* record = std::getenv("RTL_FILES_TEST_RENAME_SELF");
    if (!record) {
        GTEST_SKIP() << "only run by ProgramNameSurvivesARenameOfItsFile";
    }
    UnicodeString exe = ApplicationExeName();
    ASSERT_TRUE(RenameFile(exe, exe + u".old"));
    std::ofstream(record, std::ios::binary) << StringToUtf8(ApplicationExeName());
}

TEST_F(FilesTest, ProgramNameSurvivesARenameOfItsFile) {
    // A copy of this very program, so the system's own record of the running file is what is read.
    const fs::path original(StringToUtf8(ApplicationExeName()));
    const fs::path copy = _root / "copy of test";
    fs::copy_file(original, copy);
    fs::permissions(copy, fs::perms::owner_all);
    const std::string libraries = original.parent_path().string();
    const char* found = std::getenv("LD_LIBRARY_PATH");
    const std::string old = found ? found : "";
    ::setenv("LD_LIBRARY_PATH", (old.empty() ? libraries : libraries + ":" + old).c_str(), 1);
    ::setenv("RTL_FILES_TEST_RENAME_SELF", (_root / "record").c_str(), 1);
    TProcessStart started = CreateProcess(Utf8ToString(copy.string()),
                                          {u"--gtest_filter=FilePaths.ProgramNameOfACopyThatRenamesItself"},
                                          Root(), TShowWindow::swNormal);
    ::unsetenv("RTL_FILES_TEST_RENAME_SELF");
    old.empty() ? ::unsetenv("LD_LIBRARY_PATH") : ::setenv("LD_LIBRARY_PATH", old.c_str(), 1);
    ASSERT_TRUE(started) << StringToUtf8(started.ErrorText);
    ASSERT_TRUE(started.Process->WaitFor(60000));
    EXPECT_EQ(started.Process->ExitCode(), 0);
    EXPECT_FALSE(fs::exists(copy)); // it did rename itself
    std::ifstream in(_root / "record", std::ios::binary);
    std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(recorded, copy.string());
}

// A FIFO named like a data file would stall the open for ever, and a device never ends: both are
// refused before anything is read.
TEST_F(FilesTest, OnlyRegularFilesAreReadAndNeverWaitedFor) {
    ASSERT_EQ(::mkfifo((_root / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", _root / "zero");
    for (const char16_t* name : {u"/fifo", u"/zero"}) {
        const UnicodeString path = Root() + name;
        std::string bytes;
        bool complete = false;
        EXPECT_THROW(ReadAllBytes(path), EFOpenError);
        EXPECT_THROW(ReadFileUpTo(path, 100, bytes), EFOpenError);
        const TOpenFolder folder(Root());
        EXPECT_THROW(folder.ReadFileUpTo(name + 1, 100, bytes), EFOpenError);
        EXPECT_THROW(folder.ReadFileIfExists(name + 1, 100, bytes, complete), EFOpenError)
            << "something is there, so it is no missing file";
        try {
            ReadAllBytes(path);
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(), u"Cannot open file \"" + path + u"\". It is not a regular file.");
        }
    }
}

TEST_F(FilesTest, ReadAllBytesStopsAtItsCap) {
    Touch("ten", "0123456789");
    EXPECT_EQ(ReadAllBytes(Root() + u"/ten", 10).size(), 10u);
    try {
        ReadAllBytes(Root() + u"/ten", 9);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(),
                  u"Cannot read file \"" + Root() + u"/ten\". It is too large (more than 9 bytes).");
    }
}

// A dataset is known by what its folder is, not by how its path is spelled.
TEST_F(FilesTest, FileIdentityFollowsTheFolderNotItsSpelling) {
    fs::create_directory(_root / "Acme");
    fs::create_directory(_root / "ACME");
    fs::create_directory_symlink(_root / "Acme", _root / "link");
    const TFileIdentity acme = FileIdentity(Root() + u"/Acme");
    EXPECT_TRUE(acme.Known);
    EXPECT_EQ(FileIdentity(Root() + u"/./Acme/"), acme);
    EXPECT_EQ(FileIdentity(Root() + u"/link"), acme);
    EXPECT_EQ(FileIdentity(Root() + u"/ACME/../Acme"), acme);
    EXPECT_FALSE(FileIdentity(Root() + u"/ACME") == acme) << "another folder whose name differs in case";
    const TFileIdentity missing = FileIdentity(Root() + u"/missing");
    EXPECT_FALSE(missing.Known);
    EXPECT_FALSE(missing == missing) << "two unknown identities never match";
}
