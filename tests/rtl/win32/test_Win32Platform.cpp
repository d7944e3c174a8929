// The runtime on the Windows API itself: registry, known folders, file identity through a junction,
// long and UNC-form paths, command lines and watched starts through a real child process, the ANSI
// code page, the names Windows gives special meaning to, and removal and appending that never follow
// a junction.
#include "TempFolder.h"
#include "rtl/Encoding.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/KnownFolders.h"
#include "rtl/NoFollowFiles.h"
#include "rtl/Registry.h"
#include "rtl/Shell.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include "win32/WindowsForTests.h"
#include <shlobj.h>
#include <winioctl.h>

using namespace rtl;

namespace {

const wchar_t* W(const UnicodeString& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// A key of its own under HKCU for each test, removed afterwards.
class Win32RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, W(_key)); }
    UnicodeString _key = u"Software\\VenturoMtdTests\\" + IntToStr(::GetCurrentProcessId());
};

TEST_F(Win32RegistryTest, ValuesGoThroughTheSystemRegistryBothWays) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(_key, true));
    reg.WriteString(u"Path", u"C:\\Sage\\Accounts \u00a3");
    reg.WriteInteger(u"Width", -120);
    reg.WriteValues({{u"A", u"1"}, {u"B", u""}});

    wchar_t text[64] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, W(_key), L"Path", RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(UnicodeString(reinterpret_cast<const char16_t*>(text)), u"C:\\Sage\\Accounts \u00a3");
    DWORD number = 0;
    size = sizeof number;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, W(_key), L"Width", RRF_RT_REG_DWORD, nullptr, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(static_cast<int>(number), -120);

    const wchar_t written[] = L"by the system";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, W(_key), L"Other", REG_SZ, written, sizeof written), ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadString(u"Other"), u"by the system");
    EXPECT_EQ(reg.ReadInteger(u"Width"), -120);
    EXPECT_EQ(reg.ReadString(u"B"), u"");
    EXPECT_TRUE(reg.ValueExists(u"A"));
    EXPECT_FALSE(reg.ValueExists(u"Missing"));
    EXPECT_THROW(reg.ReadString(u"Missing"), ERegistryError);
    EXPECT_THROW(reg.ReadInteger(u"Path"), ERegistryError);
    const DWORD binary = 7;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, W(_key), L"Binary", REG_BINARY, &binary, sizeof binary);
    EXPECT_THROW(reg.ReadString(u"Binary"), ERegistryError);
}

TEST_F(Win32RegistryTest, KeysOpenRelativelyAndReadOnlyKeysRefuseWrites) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(_key + u"\\Sub", false));
    ASSERT_TRUE(reg.OpenKey(_key + u"\\Sub\\", true));
    ASSERT_TRUE(reg.OpenKey(u"Deeper", true));
    EXPECT_EQ(reg.CurrentPath(), _key + u"\\Sub\\Deeper");
    EXPECT_TRUE(reg.KeyExists(u"\\" + _key + u"\\Sub"));

    TRegistry readOnly(true);
    EXPECT_FALSE(readOnly.OpenKey(_key + u"\\New", true));
    ASSERT_TRUE(readOnly.OpenKeyReadOnly(_key + u"\\Sub"));
    EXPECT_THROW(readOnly.WriteString(u"X", u"1"), ERegistryError);
    HKEY created = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, W(_key + u"\\New"), 0, KEY_READ, &created), ERROR_SUCCESS);
}

TEST(Win32KnownFolders, AreTheShellsFolders) {
    wchar_t shell[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, shell)));
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Public), UnicodeString(reinterpret_cast<const char16_t*>(shell)));
    for (TKnownFolder folder : {TKnownFolder::Public, TKnownFolder::Temp, TKnownFolder::ProgramFiles,
                                TKnownFolder::Windows, TKnownFolder::Profile, TKnownFolder::System})
        EXPECT_TRUE(DirectoryExists(GetKnownFolder(folder))) << static_cast<int>(folder);
    EXPECT_TRUE(WinePrefix().empty());
    EXPECT_TRUE(EndsText(u".exe", ApplicationExeName()));
    EXPECT_TRUE(FileExists(ApplicationExeName()));
}

// A junction (mount point) to target, made as the system's mklink /J makes one.
bool MakeJunction(const UnicodeString& link, const UnicodeString& target) {
    if (!::CreateDirectoryW(W(link), nullptr))
        return false;
    HANDLE h = ::CreateFileW(W(link), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const std::u16string substitute = u"\\??\\" + target;
    const USHORT bytes = static_cast<USHORT>(substitute.size() * 2);
    std::vector<BYTE> buffer(8 + 8 + bytes + 4 + 256, 0);
    auto* header = reinterpret_cast<DWORD*>(buffer.data());
    header[0] = IO_REPARSE_TAG_MOUNT_POINT;
    auto* words = reinterpret_cast<USHORT*>(buffer.data() + 4);
    words[0] = static_cast<USHORT>(8 + bytes + 4); // data length
    auto* offsets = reinterpret_cast<USHORT*>(buffer.data() + 8);
    offsets[0] = 0;             // substitute name offset
    offsets[1] = bytes;         // its length
    offsets[2] = bytes + 2;     // print name offset
    offsets[3] = 0;             // its length
    std::memcpy(buffer.data() + 16, substitute.data(), bytes);
    DWORD returned = 0;
    const BOOL ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), 8 + 8 + bytes + 4, nullptr, 0,
                                      &returned, nullptr);
    ::CloseHandle(h);
    return ok;
}

TEST(Win32Files, AJunctionReachesTheSameFolderAndALoopIsRefused) {
    orvitest::TTempFolder tmp;
    const UnicodeString target = tmp.Text(u"Company.001");
    ASSERT_TRUE(ForceDirectories(target + u"\\ACCDATA"));
    WriteFileAtomic(target + u"\\ACCDATA\\SETUP.DTA", "x");
    if (!MakeJunction(tmp.Text(u"Alias"), target))
        GTEST_SKIP() << "junctions cannot be made here (Wine before 9 has no mount-point reparse points)";
    EXPECT_TRUE(FileIdentity(tmp.Text(u"Alias")) == FileIdentity(target));
    EXPECT_TRUE(FileIdentity(tmp.Text(u"alias\\.\\ACCDATA\\SETUP.DTA")) == FileIdentity(target + u"\\ACCDATA\\SETUP.DTA"));
    EXPECT_EQ(ListDirectories(tmp.Text()).size(), 2u);

    ASSERT_TRUE(MakeJunction(target + u"\\Loop", tmp.Text(u"Alias\\Loop")));
    EXPECT_FALSE(FileIdentity(target + u"\\Loop").Known);
    EXPECT_FALSE(DirectoryExists(target + u"\\Loop"));
}

TEST(Win32Files, LongAndUncFormPathsWork) {
    orvitest::TTempFolder tmp;
    UnicodeString folder = tmp.Text();
    while (folder.size() < 300)
        folder += u"\\A folder name of some forty characters .x";
    ASSERT_TRUE(ForceDirectories(folder));
    const UnicodeString file = folder + u"\\SETUP.DTA";
    WriteFileAtomic(file, "long");
    EXPECT_GT(file.size(), 260u);
    EXPECT_EQ(ReadAllBytes(file).size(), 4u);
    EXPECT_EQ(ListFiles(folder), std::vector<UnicodeString>{u"SETUP.DTA"});
    // Read through the open folder, whole, and a folder of a data file's name is no file.
    const TOpenFolder open(folder);
    std::string bytes;
    EXPECT_TRUE(open.ReadFileUpTo(u"SETUP.DTA", 100, bytes));
    EXPECT_EQ(bytes, "long");
    ASSERT_TRUE(ForceDirectories(folder + u"\\ACCDATA"));
    bool complete = true;
    EXPECT_FALSE(open.ReadFileIfExists(u"ACCDATA", 100, bytes, complete));
    EXPECT_THROW(open.ReadFileUpTo(u"ACCDATA", 100, bytes), EFOpenError);
    EXPECT_TRUE(FileIdentity(u"\\\\?\\" + file) == FileIdentity(file));
    EXPECT_TRUE(RenameFile(file, folder + u"\\SETUP.OLD"));
    EXPECT_TRUE(DeleteFile(folder + u"\\SETUP.OLD"));

    // The parts of a share path: the share's root keeps its separator.
    const UnicodeString unc = u"\\\\server\\share\\Company.001\\ACCDATA";
    EXPECT_EQ(ExtractFileName(unc), u"ACCDATA");
    EXPECT_EQ(ExtractFileDir(u"\\\\server\\share\\Company.001"), u"\\\\server\\share\\");
    EXPECT_EQ(ExcludeTrailingPathDelimiter(u"\\\\server\\share\\"), u"\\\\server\\share\\");
    EXPECT_EQ(CombinePath(u"\\\\server\\share", u"Company.001"), u"\\\\server\\share\\Company.001");
    EXPECT_EQ(ExtractFileDir(u"C:\\SETUP.DTA"), u"C:\\");
    EXPECT_EQ(ExpandFileName(u"C:\\Sage\\..\\Data\\.\\x"), u"C:\\Data\\x");
    EXPECT_FALSE(FileIdentity(u"\\\\no-such-server-here\\share\\Company.001").Known);
}

// What an update meets: a loaded library, like the running program, is replaced by setting it aside
// and renaming the new file into its place; the one set aside goes once it is no longer loaded.
TEST(Win32Files, ALoadedLibraryIsSetAsideAndReplaced) {
    orvitest::TTempFolder tmp;
    wchar_t runtime[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(::GetModuleHandleW(L"libgcc_s_seh-1.dll"), runtime, MAX_PATH), 0u);
    const UnicodeString library = tmp.Text(u"plugin.dll"), aside = tmp.Text(u"plugin.old");
    ASSERT_TRUE(::CopyFileW(runtime, W(library), TRUE));
    WriteFileAtomic(tmp.Text(u"plugin.new"), "new");
    HMODULE loaded = ::LoadLibraryW(W(library));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(SetFileAside(library, aside));
    EXPECT_FALSE(FileExists(library));
    EXPECT_TRUE(RenameFile(tmp.Text(u"plugin.new"), library));
    EXPECT_EQ(ReadAllBytes(library).size(), 3u);
    ::FreeLibrary(loaded);
    EXPECT_TRUE(DeleteFile(aside));
}

TEST(Win32Files, TheWriteProbeLeavesNothing) {
    orvitest::TTempFolder tmp;
    EXPECT_TRUE(CanCreateFilesIn(tmp.Text()));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
    EXPECT_FALSE(CanCreateFilesIn(tmp.Text(u"missing")));
}

TEST(Win32Shell, ArgumentsReachAChildProcessExactly) {
    orvitest::TTempFolder tmp;
    const std::vector<UnicodeString> arguments = {
        tmp.Text(u"args.txt"), u"", u"two words", u"quote\"inside", u"trailing\\", u"back\\\\\"slash",
        u"tab\there", u"\u00e9\u20ac", u"%PATH%", u"^&|<>"};
    const UnicodeString echo = ExtractFilePath(ApplicationExeName()) + u"rtl_win32_argv_echo.exe";
    TProcessStart start = CreateProcess(echo, arguments, UnicodeString(), TShowWindow::swMinimized);
    ASSERT_TRUE(start) << StringToUtf8(start.ErrorText);
    ASSERT_TRUE(start.Process->WaitFor(30000));
    EXPECT_EQ(start.Process->ExitCode(), 0);
    const TBytes bytes = ReadAllBytes(arguments[0]);
    const UnicodeString text(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    std::vector<UnicodeString> received;
    for (size_t at = 0;;) {
        const size_t end = text.find(u'\n', at);
        received.push_back(text.substr(at, end == UnicodeString::npos ? end : end - at));
        if (end == UnicodeString::npos)
            break;
        at = end + 1;
    }
    EXPECT_EQ(received, arguments);

    TProcessStart missing = CreateProcess(tmp.Text(u"missing.exe"), {}, UnicodeString(), TShowWindow::swNormal);
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.ErrorText.find(u"missing.exe"), UnicodeString::npos);
}

TEST(Win32Encoding, AnsiIsTheSystemCodePageAndStrict) {
    const std::string bytes = "Caf\xe9 \x80";
    wchar_t expected[16] = {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), expected, 16);
    UnicodeString decoded;
    ASSERT_TRUE(TEncoding::ANSI()->TryGetString(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                                decoded));
    EXPECT_EQ(decoded, UnicodeString(reinterpret_cast<const char16_t*>(expected), static_cast<size_t>(n)));
    const TBytes back = TEncoding::ANSI()->GetBytes(decoded);
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);
    EXPECT_EQ(TEncoding::ANSI()->EncodingName(), u"ANSI (code page " + IntToStr(::GetACP()) + u")");
    const TBytes utf7 = TEncoding::UTF7()->GetBytes(u"A\u00a3B");
    EXPECT_EQ(TEncoding::UTF7()->GetString(utf7), u"A\u00a3B");
}

// Names Windows reads as devices or pipes, and names it trims, are refused with a reason at once.
TEST(Win32Files, DevicePipeAndStreamNamesAreRefusedWithoutWaiting) {
    orvitest::TTempFolder tmp;
    HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\venturo-test-pipe", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0,
                                     0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const auto started = std::chrono::steady_clock::now();
    for (const UnicodeString name : {u"CON", u"NUL", u"COM1", u"AUX", u"CONIN$", u"nul.txt", u"SETUP.DTA:x",
                                     u"SETUP.DTA.", u"SETUP.DTA ", u"\\\\.\\pipe\\venturo-test-pipe",
                                     u"\\\\.\\pipe\\x"}) {
        const UnicodeString path = name.starts_with(u"\\\\") ? name : tmp.Text() + u"\\" + name;
        std::string bytes;
        try {
            ReadFileUpTo(path, 16 << 20, bytes);
            ADD_FAILURE() << "read " << StringToUtf8(path);
        } catch (const EFOpenError& e) {
            EXPECT_NE(e.Message().find(name), UnicodeString::npos) << StringToUtf8(e.Message());
        }
        EXPECT_TRUE(bytes.empty());
        EXPECT_FALSE(TOpenFolder(tmp.Text()).FileExists(name.starts_with(u"\\\\") ? u"x" : name));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    ::CloseHandle(pipe);
}

TEST(Win32Shell, AWatchedProgramThatFailsAtOnceSaysSoAndOneThatSucceedsDoesNot) {
    orvitest::TTempFolder tmp;
    const UnicodeString echo = ExtractFilePath(ApplicationExeName()) + u"rtl_win32_argv_echo.exe";
    int events = 0;
    // Without the file to write it ends at once with status 2.
    TProcessStart failed = CreateProcessAndWatch(echo, {}, UnicodeString(), TShowWindow::swMinimized,
                                                 {.WaitMs = 30000, .ProcessEvents = [&] { ++events; }});
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.ExitCode, 2);
    EXPECT_NE(failed.ErrorText.find(u"ended with exit status 2."), UnicodeString::npos) << StringToUtf8(failed.ErrorText);
    EXPECT_EQ(failed.Process, nullptr);

    TProcessStart done = CreateProcessAndWatch(echo, {tmp.Text(u"args.txt")}, UnicodeString(),
                                               TShowWindow::swMinimized, {.WaitMs = 30000});
    EXPECT_TRUE(done) << StringToUtf8(done.ErrorText);
    EXPECT_TRUE(FileExists(tmp.Text(u"args.txt")));

    TProcessStart missing = CreateProcessAndWatch(tmp.Text(u"missing.exe"), {}, UnicodeString(),
                                                  TShowWindow::swNormal, {});
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.ErrorText.find(u"missing.exe"), UnicodeString::npos);
    TProcessStart unopened = ShellOpen(tmp.Text(u"missing.txt"), {.WaitMs = 100});
    EXPECT_FALSE(unopened);
    EXPECT_NE(unopened.ErrorCode, 0);
    EXPECT_NE(unopened.ErrorText.find(u"missing.txt"), UnicodeString::npos) << StringToUtf8(unopened.ErrorText);
}

// A junction where a folder or file should be is never followed: not emptied, not written through.
TEST(Win32NoFollowFiles, ATreeGoesWithItsJunctionsButNothingTheyLeadTo) {
    orvitest::TTempFolder tmp;
    ASSERT_TRUE(ForceDirectories(tmp.Text(u"tree\\a\\b")));
    ASSERT_TRUE(ForceDirectories(tmp.Text(u"outside")));
    WriteFileAtomic(tmp.Text(u"outside\\keep.txt"), "keep");
    WriteFileAtomic(tmp.Text(u"tree\\a\\b\\file.txt"), "x");
    WriteFileAtomic(tmp.Text(u"tree\\a\\read-only.txt"), "x");
    ASSERT_TRUE(::SetFileAttributesW(W(tmp.Text(u"tree\\a\\read-only.txt")), FILE_ATTRIBUTE_READONLY));
    const bool junctions = MakeJunction(tmp.Text(u"tree\\folder link"), tmp.Text(u"outside"));
    EXPECT_EQ(RemoveFolderTree(tmp.Text(u"tree")), TRemoveTreeResult::rtRemoved);
    EXPECT_EQ(EntryKindNoFollow(tmp.Text(u"tree")), TEntryKind::ekNone);
    EXPECT_EQ(RemoveFolderTree(tmp.Text(u"tree")), TRemoveTreeResult::rtAbsent);
    EXPECT_EQ(ReadAllBytes(tmp.Text(u"outside\\keep.txt")).size(), 4u);

    EXPECT_EQ(EntryKindNoFollow(tmp.Text(u"outside")), TEntryKind::ekDirectory);
    EXPECT_EQ(EntryKindNoFollow(tmp.Text(u"outside\\keep.txt")), TEntryKind::ekFile);
    EXPECT_EQ(EntryKindNoFollow(tmp.Text(u"NUL")), TEntryKind::ekOther);
    EXPECT_EQ(RemoveFolderTree(tmp.Text(u"outside\\keep.txt")), TRemoveTreeResult::rtForeign);
    EXPECT_FALSE(RemoveEmptyFolder(tmp.Text(u"outside")));
    ASSERT_TRUE(ForceDirectories(tmp.Text(u"empty")));
    EXPECT_TRUE(RemoveEmptyFolder(tmp.Text(u"empty")));
    EXPECT_FALSE(DirectoryExists(tmp.Text(u"empty")));

    if (!junctions || !MakeJunction(tmp.Text(u"linked"), tmp.Text(u"outside")))
        GTEST_SKIP() << "junctions cannot be made here (Wine before 9 has no mount-point reparse points)";
    EXPECT_EQ(EntryKindNoFollow(tmp.Text(u"linked")), TEntryKind::ekLink);
    EXPECT_EQ(RemoveFolderTree(tmp.Text(u"linked")), TRemoveTreeResult::rtForeign);
    EXPECT_FALSE(RemoveEmptyFolder(tmp.Text(u"linked")));
    EXPECT_FALSE(AppendToFileNoFollow(tmp.Text(u"linked"), "planted\n"));
    EXPECT_EQ(ListFiles(tmp.Text(u"outside")), std::vector<UnicodeString>{u"keep.txt"});
}

TEST(Win32NoFollowFiles, AppendingAddsAtTheEndAndRefusesFoldersAndDevices) {
    orvitest::TTempFolder tmp;
    EXPECT_TRUE(AppendToFileNoFollow(tmp.Text(u"log"), "one\n"));
    EXPECT_TRUE(AppendToFileNoFollow(tmp.Text(u"log"), "two\n"));
    const TBytes bytes = ReadAllBytes(tmp.Text(u"log"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "one\ntwo\n");
    EXPECT_FALSE(AppendToFileNoFollow(tmp.Text(), "folder\n"));
    EXPECT_FALSE(AppendToFileNoFollow(u"NUL", "device\n"));
    EXPECT_FALSE(AppendToFileNoFollow(tmp.Text(u"missing\\log"), "no folder\n"));
}

} // namespace
