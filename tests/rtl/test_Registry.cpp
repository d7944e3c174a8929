#include "TempFolder.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Registry.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

const UnicodeString AppKey = u"SOFTWARE\\Corvane\\Venturo MTD\\";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        _store = _root / "store";
        ::setenv("VENTURO_MTD_REGISTRY", _store.c_str(), 1);
    }
    UnicodeString StoreFile(const char* name) const { return Utf8ToString((_store / name).string()); }
    std::string Contents(const char* name) const {
        TBytes b = ReadAllBytes(StoreFile(name));
        return std::string(b.begin(), b.end());
    }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
    fs::path _store;
};

} // namespace

TEST_F(RegistryTest, StoreFolderFollowsTheEnvironment) {
    EXPECT_EQ(TRegistry::StoreFolder(), Utf8ToString(_store.string()));
    ::setenv("VENTURO_MTD_REGISTRY", "", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg/conf", 1);
    EXPECT_EQ(TRegistry::StoreFolder(), u"/xdg/conf/venturo-mtd/registry");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(TRegistry::StoreFolder(), u"/home/u/.config/venturo-mtd/registry");
}

TEST_F(RegistryTest, RoundTripWithoutRegardToCase) {
    {
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey(AppKey, false));
        ASSERT_TRUE(reg.OpenKey(AppKey, true));
        EXPECT_EQ(reg.CurrentPath(), u"SOFTWARE\\Corvane\\Venturo MTD");
        reg.WriteString(u"Beta Programme", u"a=b=c £");
        reg.WriteInteger(u"Skip upgrade check", -7);
        reg.WriteString(u"beta programme", u"second"); // same value, other case
    }
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"),
              "[SOFTWARE\\Corvane\\Venturo MTD]\nBeta Programme=second\nSkip upgrade check=-7\n");
    TRegistry reg(true);
    ASSERT_TRUE(reg.OpenKey(u"\\software\\CORVANE\\venturo mtd", false));
    EXPECT_TRUE(reg.ValueExists(u"BETA PROGRAMME"));
    EXPECT_EQ(reg.ReadString(u"Beta Programme"), u"second");
    EXPECT_EQ(reg.ReadInteger(u"skip upgrade CHECK"), -7);
    EXPECT_THROW(reg.ReadInteger(u"Beta Programme"), ERegistryError);
    EXPECT_FALSE(reg.ValueExists(u"Missing"));
    EXPECT_THROW(reg.ReadString(u"Missing"), ERegistryError);
    // The two roots are separate files.
    reg.RootKey = TRootKey::LocalMachine;
    EXPECT_FALSE(reg.KeyExists(u"\\SOFTWARE\\Corvane"));
}

TEST_F(RegistryTest, ReadsHandWrittenFilesWithCrLf) {
    fs::create_directories(_store);
    WriteFileAtomic(StoreFile("HKEY_LOCAL_MACHINE.ini"),
                    "\xEF\xBB\xBF[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SAGE.EXE]\r\n"
                    "Path=C:\\Program Files (x86)\\Sage\\Accounts\\/\r\n\r\n"
                    "[Other]\r\nPath=elsewhere\r\nnot a value line\r\n");
    TRegistry reg(true);
    reg.RootKey = TRootKey::LocalMachine;
    EXPECT_TRUE(reg.KeyExists(u"SOFTWARE\\Microsoft"));
    EXPECT_TRUE(reg.KeyExists(u"software\\microsoft\\windows\\currentversion\\app paths\\sage.exe\\"));
    EXPECT_FALSE(reg.KeyExists(u"SOFTWARE\\Micro"));
    EXPECT_FALSE(
        reg.OpenKeyReadOnly(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\LINE50.EXE\\"));
    ASSERT_TRUE(reg.OpenKeyReadOnly(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SAGE.EXE\\"));
    EXPECT_EQ(reg.ReadString(u"Path"), u"C:\\Program Files (x86)\\Sage\\Accounts\\/");
    // A relative key opens below the open one.
    EXPECT_TRUE(reg.OpenKeyReadOnly(u"\\SOFTWARE"));
    EXPECT_TRUE(reg.OpenKeyReadOnly(u"Microsoft"));
    EXPECT_EQ(reg.CurrentPath(), u"SOFTWARE\\Microsoft");
    EXPECT_FALSE(reg.ValueExists(u"Path"));
}

TEST_F(RegistryTest, ReadOnlyNeverCreatesOrWrites) {
    TRegistry reg(true);
    EXPECT_FALSE(reg.OpenKey(AppKey, true));
    EXPECT_FALSE(fs::exists(_store));
    EXPECT_THROW(reg.WriteString(u"x", u"y"), ERegistryError);
    {
        TRegistry writer;
        ASSERT_TRUE(writer.OpenKey(AppKey, true));
    }
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    EXPECT_THROW(reg.WriteString(u"x", u"y"), ERegistryError);
    TRegistry writable;
    ASSERT_TRUE(writable.OpenKeyReadOnly(AppKey));
    EXPECT_THROW(writable.WriteInteger(u"x", 1), ERegistryError);
    writable.CloseKey();
    EXPECT_THROW(writable.WriteInteger(u"x", 1), ERegistryError); // no key open
}

TEST_F(RegistryTest, RefusesNamesAndValuesThatWouldBreakTheFile) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    EXPECT_THROW(reg.WriteString(u"a=b", u"v"), ERegistryError);
    EXPECT_THROW(reg.WriteString(u"a\nb", u"v"), ERegistryError);
    EXPECT_THROW(reg.WriteString(u"[Section]", u"v"), ERegistryError);
    EXPECT_THROW(reg.WriteString(u"a", u"line\r\nbreak"), ERegistryError);
    EXPECT_FALSE(reg.OpenKey(u"\\bad\nkey", true));
    reg.OpenKey(u"\\" + AppKey, true);
    reg.WriteString(u"", u"default value");
    EXPECT_EQ(reg.ReadString(u""), u"default value");
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"), "[SOFTWARE\\Corvane\\Venturo MTD]\n=default value\n");
}

TEST_F(RegistryTest, WriteValuesWritesAllInOneReplaceOrNothing) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    reg.WriteString(u"Col1", u"10");
    reg.WriteValues({{u"Col0", u"5"}, {u"col1", u"20"}, {u"Col2", u"7"}});
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"),
              "[SOFTWARE\\Corvane\\Venturo MTD]\nCol1=20\nCol0=5\nCol2=7\n");
    // One bad pair refuses the whole batch before anything is written.
    EXPECT_THROW(reg.WriteValues({{u"Col0", u"6"}, {u"bad=name", u"1"}}), ERegistryError);
    EXPECT_EQ(reg.ReadString(u"Col0"), u"5");
    reg.WriteValues({});
    TRegistry readOnly(true);
    ASSERT_TRUE(readOnly.OpenKeyReadOnly(AppKey));
    EXPECT_THROW(readOnly.WriteValues({{u"Col0", u"1"}}), ERegistryError);
}

TEST_F(RegistryTest, WritesKeepOtherProcessesChangesAndUnknownLines) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    reg.WriteString(u"A", u"1");
    // Another process changes the file meanwhile: the next write starts from its content.
    WriteFileAtomic(StoreFile("HKEY_CURRENT_USER.ini"),
                    "; kept comment\n[SOFTWARE\\Corvane\\Venturo MTD]\nA=1\nB=from elsewhere\n");
    EXPECT_EQ(reg.ReadString(u"B"), u"from elsewhere");
    reg.WriteString(u"C", u"3");
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"),
              "; kept comment\n[SOFTWARE\\Corvane\\Venturo MTD]\nA=1\nB=from elsewhere\nC=3\n");
}

TEST_F(RegistryTest, AWriteKeepsTheBytesOfEveryOtherLine) {
    // Bytes that are not UTF-8, CRLF line ends, blank lines, a byte-order mark and a last line without
    // a line end, as other programs write them.
    fs::create_directories(_store);
    const std::string others = "\xEF\xBB\xBF; caf\xE9\r\n[Other\xFF]\r\nName\xE9=D\xE9p\xF4t \xC3\r\n\r\n"
                               "[SOFTWARE\\Corvane\\Venturo MTD]\r\nA=1\r\nB=2";
    WriteFileAtomic(StoreFile("HKEY_CURRENT_USER.ini"), others);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, false));
    reg.WriteString(u"A", u"£1");
    reg.WriteString(u"C", u"3");
    std::string expected = others;
    expected.replace(expected.find("A=1"), 3,
                     "A=\xC2\xA3"
                     "1");
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"), expected + "\nC=3\n");

    // A value read and written back keeps its bytes, as a file name read from the store would.
    ASSERT_TRUE(reg.OpenKey(NativeToString("\\Other\xFF"), false));
    const UnicodeString value = reg.ReadString(NativeToString("Name\xE9"));
    EXPECT_EQ(StringToNative(value), "D\xE9p\xF4t \xC3");
    reg.WriteString(NativeToString("name\xE9"), value);
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"), expected + "\nC=3\n");

    // A file of nothing but a byte-order mark gets its first section right after it.
    WriteFileAtomic(StoreFile("HKEY_CURRENT_USER.ini"), "\xEF\xBB\xBF");
    ASSERT_TRUE(reg.OpenKey(u"\\Key", true));
    reg.WriteString(u"A", u"1");
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"), "\xEF\xBB\xBF[Key]\nA=1\n");
}

TEST_F(RegistryTest, AWriteRemovesTheTemporariesOfWritesThatDied) {
    fs::create_directories(_store);
    const std::string self = std::to_string(::getpid());
    const std::vector<std::string> stale = {
        "HKEY_CURRENT_USER.ini.tmp-2147483647-1", // no such process
        "HKEY_LOCAL_MACHINE.ini.tmp-4194399-12",  // beyond any process number
        "HKEY_CURRENT_USER.ini.tmp-1-5",          // a running process, but a day old
    };
    const std::vector<std::string> kept = {
        "HKEY_CURRENT_USER.ini.tmp-" + self + "-77", // a running process, just written
        "HKEY_CURRENT_USER.ini.tmp-x-1",
        "HKEY_CURRENT_USER.ini.tmp-2147483647-1.txt",
        "notes.tmp-2147483647-1",
    };
    for (const std::string& name : stale) {
        WriteFileAtomic(StoreFile(name.c_str()), "partial");
    }
    for (const std::string& name : kept) {
        WriteFileAtomic(StoreFile(name.c_str()), "other");
    }
    fs::last_write_time(_store / stale[2], fs::file_time_type::clock::now() - std::chrono::hours(24));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    for (const std::string& name : stale) {
        EXPECT_FALSE(fs::exists(_store / name)) << name;
    }
    for (const std::string& name : kept) {
        EXPECT_TRUE(fs::exists(_store / name)) << name;
    }
}

TEST_F(RegistryTest, AWriteWaitsForTheLockAtMostTenSeconds) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    // Another program holds the lock for a moment: the write waits for it.
    const int held = ::open((_store / ".lock").c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::flock(held, LOCK_UN);
    });
    reg.WriteString(u"A", u"1");
    release.join();
    EXPECT_EQ(reg.ReadString(u"A"), u"1");

    // Held for good: the write fails after ten seconds instead of hanging.
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(reg.WriteString(u"A", u"2"), ERegistryError);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(9900));
    EXPECT_LT(waited, std::chrono::seconds(30));
    ::close(held);
    EXPECT_EQ(reg.ReadString(u"A"), u"1");
}

TEST_F(RegistryTest, ALockThatCannotBeTakenFailsTheWrite) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    fs::remove(_store / ".lock");
    fs::create_directory(_store / ".lock");
    try {
        reg.WriteString(u"A", u"1");
        ADD_FAILURE() << "written without the lock";
    } catch (const ERegistryError& e) {
        EXPECT_EQ(e.Message().find(u"Cannot lock the registry \"" + StoreFile(".lock") + u"\". "), 0u);
    }
    EXPECT_FALSE(reg.ValueExists(u"A"));
}

TEST_F(RegistryTest, InterruptedWriteLeavesTheOldFile) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(AppKey, true));
    reg.WriteString(u"A", u"1");
    std::string before = Contents("HKEY_CURRENT_USER.ini");
    // A crash after writing the temporary file but before the rename leaves a stale temporary.
    WriteFileAtomic(StoreFile("HKEY_CURRENT_USER.ini.tmp-1-1"), "[SOFTWARE\\Corvane\\Venturo MTD]\nA=hal");
    EXPECT_EQ(reg.ReadString(u"A"), u"1");
    EXPECT_EQ(Contents("HKEY_CURRENT_USER.ini"), before);
    // The file is replaced by a rename, never rewritten in place: a second link keeps the old bytes.
    fs::create_hard_link(_store / "HKEY_CURRENT_USER.ini", _root / "old-link.ini");
    reg.WriteString(u"A", u"2");
    EXPECT_EQ(reg.ReadString(u"A"), u"2");
    TBytes old = ReadAllBytes(Utf8ToString((_root / "old-link.ini").string()));
    EXPECT_EQ(std::string(old.begin(), old.end()), before);

    // A store that cannot be replaced fails the write and keeps the old file whole.
    fs::permissions(_store, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(_store.c_str(), W_OK) != 0) { // root ignores permissions
        EXPECT_THROW(reg.WriteString(u"A", u"3"), ERegistryError);
        EXPECT_EQ(reg.ReadString(u"A"), u"2");
    }
    fs::permissions(_store, fs::perms::owner_all);
}
