#include "TempFolder.h"
#include "rtl/Files.h"
#include "rtl/Shell.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

using Args = std::vector<UnicodeString>;

// PATH set to one folder for the life of the object.
class TPathOverride {
public:
    explicit TPathOverride(const fs::path& folder) : _old(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", folder.c_str(), 1);
    }
    ~TPathOverride() { ::setenv("PATH", _old.c_str(), 1); }

private:
    std::string _old;
};

class ShellTest : public ::testing::Test {
protected:
    UnicodeString Root() const { return _folder.Text(); }
    // A shell script at name in the folder, with the given permissions.
    fs::path Script(const std::string& name, const std::string& body,
                    fs::perms perms = fs::perms::owner_all) {
        fs::path file = _root / name;
        WriteFileAtomic(orvitest::ToText(file), "#!/bin/sh\n" + body + "\n");
        fs::permissions(file, perms);
        return file;
    }
    std::string Read(const char16_t* name) const {
        TBytes bytes = ReadAllBytes(CombinePath(Root(), name));
        return std::string(bytes.begin(), bytes.end());
    }
    // Waits until a detached child has written the file.
    std::string ReadWhenWritten(const char16_t* name) const {
        for (int i = 0; i < 500 && !FileExists(CombinePath(Root(), name)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return Read(name);
    }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
};

// Each argument on its own line of "args" in the working folder, then exit 3.
const char* const kRecordArgs = "printf '%s\\n' \"$@\" > args; exit 3";

} // namespace

TEST(SplitCommandLine, FollowsWindowsQuotingRules) {
    EXPECT_EQ(SplitCommandLine(u""), Args{});
    EXPECT_EQ(SplitCommandLine(u"  a  b\tc "), (Args{u"a", u"b", u"c"}));
    EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\x.exe\" --validate"),
              (Args{u"C:\\Program Files\\x.exe", u"--validate"}));
    EXPECT_EQ(SplitCommandLine(u"a\"b c\"d"), (Args{u"ab cd"}));
    EXPECT_EQ(SplitCommandLine(u"\"\" x"), (Args{u"", u"x"}));
    EXPECT_EQ(SplitCommandLine(u"a\\\"b"), (Args{u"a\"b"}));         // \" is a quote mark
    EXPECT_EQ(SplitCommandLine(u"a\\\\\"b c\""), (Args{u"a\\b c"})); // \\" is a backslash, then quoting
    EXPECT_EQ(SplitCommandLine(u"C:\\dir\\ \\\\srv\\"), (Args{u"C:\\dir\\", u"\\\\srv\\"}));
    EXPECT_EQ(SplitCommandLine(u"\"say \"\"hi\"\"\""), (Args{u"say \"hi\""}));
    EXPECT_EQ(SplitCommandLine(u"\"unterminated arg"), (Args{u"unterminated arg"}));
}

TEST(BuildCommandLine, EscapesQuotesAndTheBackslashesBeforeThem) {
    EXPECT_EQ(QuoteCommandLineArgument(u"C:\\Program Files\\x.exe"), u"\"C:\\Program Files\\x.exe\"");
    EXPECT_EQ(QuoteCommandLineArgument(u"app\"x"), u"\"app\\\"x\"");
    EXPECT_EQ(QuoteCommandLineArgument(u"a\\\"b"), u"\"a\\\\\\\"b\"");     // a\"b: three backslashes
    EXPECT_EQ(QuoteCommandLineArgument(u"C:\\dir\\"), u"\"C:\\dir\\\\\""); // doubled before the close
    EXPECT_EQ(QuoteCommandLineArgument(u""), u"\"\"");
    EXPECT_EQ(BuildCommandLine({u"x.exe", u"", u"a b", u"--startfile", u"C:\\d\\"}),
              u"x.exe \"\" \"a b\" --startfile C:\\d\\");
    EXPECT_EQ(BuildCommandLine({}), u"");
}

TEST(BuildCommandLine, SplitCommandLineReadsBackEveryArgument) {
    const std::vector<Args> cases = {
        {u"C:\\Program Files\\app\"x\\venturo_mtd.exe", u"--startfile", u"https://x/?a=1&b=2"},
        {u"", u"", u"a"},
        {u"tab\there", u"new\nline", u" lead", u"trail "},
        {u"\\", u"\\\\", u"\\\"", u"\"\\", u"\\\\\"\\\\", u"\"\"", u"\""},
        {u"a\\\\b", u"\\\\server\\share\\", u"end\\\\"},
        {U("caf\xC3\xA9 \xE5\xB9\xB4"), u"x\"y z\\"},
    };
    for (const Args& args : cases) {
        EXPECT_EQ(SplitCommandLine(BuildCommandLine(args)), args) << StringToUtf8(BuildCommandLine(args));
        for (const UnicodeString& arg : args) {
            EXPECT_EQ(SplitCommandLine(QuoteCommandLineArgument(arg)), Args{arg});
        }
    }
}

TEST_F(ShellTest, CreateProcessPassesEachArgumentAsItIs) {
    // Quotes, backslashes, blanks and bytes that are not UTF-8 reach the program unchanged.
    const Args args = {
        u"-c", U(kRecordArgs), u"sh", u"app\"x", u"a \\\" b\\", u"", u"\t", NativeToString("\xE9t\xE9")};
    auto started = CreateProcess(u"/bin/sh", args, Root(), TShowWindow::swNormal);
    ASSERT_TRUE(started) << StringToUtf8(started.ErrorText);
    ASSERT_NE(started.Process, nullptr);
    EXPECT_GT(started.Process->Pid(), 0);
    ASSERT_TRUE(started.Process->WaitFor(10000));
    EXPECT_EQ(started.Process->ExitCode(), 3);
    EXPECT_FALSE(started.Process->Running());
    EXPECT_EQ(Read(u"args"), "app\"x\na \\\" b\\\n\n\t\n\xE9t\xE9\n");
    // Reaped: the pid is no longer our child.
    EXPECT_EQ(::waitpid(static_cast<pid_t>(started.Process->Pid()), nullptr, WNOHANG), -1);
}

TEST_F(ShellTest, WaitForTimesOutOnARunningProcess) {
    auto started = ShellExecuteProcess(u"sleep", {u"5"});
    ASSERT_TRUE(started);
    TProcess& p = *started.Process;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p.WaitFor(50));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(ms.count(), 45);
    EXPECT_LT(ms.count(), 2000);
    EXPECT_TRUE(p.Running());
    EXPECT_EQ(p.ExitCode(), -1);
    ::kill(static_cast<pid_t>(p.Pid()), SIGKILL);
    EXPECT_TRUE(p.WaitFor(5000));
    EXPECT_EQ(p.ExitCode(), -1); // killed by a signal
}

TEST_F(ShellTest, AFailedStartTellsWhy) {
    auto missing = CreateProcess(Root() + u"/no such program", {u"x"}, u"", TShowWindow::swNormal);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Process, nullptr);
    EXPECT_EQ(missing.ErrorCode, ENOENT);
    EXPECT_EQ(missing.ErrorText,
              u"Cannot start \"" + Root() + u"/no such program\". " + Utf8ToString(std::strerror(ENOENT)));
    EXPECT_EQ(ShellExecuteProcess(u"", {}).ErrorCode, ENOENT);
    // A file that exists but cannot be executed.
    WriteFileAtomic(Root() + u"/plain.txt", "not a program");
    EXPECT_EQ(CreateProcess(Root() + u"/plain.txt", {}, u"", TShowWindow::swNormal).ErrorCode, EACCES);
    // A working folder that does not exist.
    EXPECT_EQ(
        CreateProcess(u"/bin/sh", {u"-c", u"true"}, Root() + u"/nowhere", TShowWindow::swNormal).ErrorCode,
        ENOENT);
    // One argument beyond the system's limit for a single argument (128 KiB on Linux).
    auto tooLong =
        CreateProcess(u"/bin/sh", {u"-c", u"true", UnicodeString(200000, u'x')}, u"", TShowWindow::swNormal);
    EXPECT_EQ(tooLong.ErrorCode, E2BIG);
    EXPECT_NE(tooLong.ErrorText.find(u"/bin/sh"), UnicodeString::npos);
}

TEST_F(ShellTest, AWindowsProgramTheSystemCannotRunGoesThroughWine) {
    fs::create_directory(_root / "bin");
    Script("bin/wine", kRecordArgs);
    // Copied from Windows: no execute permission.
    WriteFileAtomic(Root() + u"/Selector.exe", "MZ");
    TPathOverride path(_root / "bin");
    auto started =
        CreateProcess(Root() + u"/Selector.exe", {u"--validate", u"a b"}, Root(), TShowWindow::swNormal);
    ASSERT_TRUE(started) << StringToUtf8(started.ErrorText);
    ASSERT_TRUE(started.Process->WaitFor(10000));
    EXPECT_EQ(started.Process->ExitCode(), 3);
    EXPECT_EQ(Read(u"args"), StringToNative(Root()) + "/Selector.exe\n--validate\na b\n");
    // Executable, but in a format the system does not run.
    WriteFileAtomic(Root() + u"/Browser.EXE", std::string("MZ\x90\0\3\0", 6));
    fs::permissions(_root / "Browser.EXE", fs::perms::owner_all);
    auto browser = CreateProcess(Root() + u"/Browser.EXE", {}, Root(), TShowWindow::swNormal);
    ASSERT_TRUE(browser) << StringToUtf8(browser.ErrorText);
    ASSERT_TRUE(browser.Process->WaitFor(10000));
    EXPECT_EQ(Read(u"args"), StringToNative(Root()) + "/Browser.EXE\n");

    // A program of another name is not handed to wine.
    WriteFileAtomic(Root() + u"/Selector.txt", "MZ");
    EXPECT_EQ(CreateProcess(Root() + u"/Selector.txt", {}, Root(), TShowWindow::swNormal).ErrorCode, EACCES);
    // A ".exe" the system runs itself is started directly.
    Script("native.exe", "echo direct > \"$1\"");
    auto direct = ShellExecuteProcess(Root() + u"/native.exe", {Root() + u"/args"});
    ASSERT_TRUE(direct);
    ASSERT_TRUE(direct.Process->WaitFor(10000));
    EXPECT_EQ(Read(u"args"), "direct\n");
}

TEST_F(ShellTest, WithoutWineTheFirstFailureIsReported) {
    WriteFileAtomic(Root() + u"/Selector.exe", "MZ");
    TPathOverride path(_root / "no-such-folder");
    auto started = CreateProcess(Root() + u"/Selector.exe", {}, u"", TShowWindow::swNormal);
    EXPECT_FALSE(started);
    EXPECT_EQ(started.ErrorCode, EACCES);
    EXPECT_EQ(started.ErrorText, u"Cannot start \"" + Root() + u"/Selector.exe\". " +
                                     Utf8ToString(std::strerror(EACCES)) + u" Through wine: " +
                                     Utf8ToString(std::strerror(ENOENT)));
}

TEST_F(ShellTest, WaitForProcessKeepsTheEventLoopRunning) {
    auto started = ShellExecuteProcess(u"/bin/sh", {u"-c", u"sleep 0.2"});
    ASSERT_TRUE(started);
    int events = 0;
    WaitForProcess(*started.Process, [&] { ++events; });
    EXPECT_FALSE(started.Process->Running());
    EXPECT_EQ(started.Process->ExitCode(), 0);
    EXPECT_GE(events, 3);
}

TEST_F(ShellTest, ShellOpenStartsTheHandlerDetached) {
    // A stand-in xdg-open on PATH records its argument.
    fs::create_directory(_root / "bin");
    Script("bin/xdg-open", "printf '%s' \"$1\" > '" + (_root / "opened").string() + "'");
    TProcessStart started;
    TProcessStart missing;
    {
        TPathOverride path(_root / "bin");
        started = ShellOpen(u"https://portal.example/submit?a=1&b=\"2\"");
    }
    {
        TPathOverride path(_root / "nonexistent");
        missing = ShellOpen(u"https://portal.example/");
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(started.Process, nullptr); // nothing waits for it
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.ErrorCode, ENOENT);
    EXPECT_EQ(ReadWhenWritten(u"opened"), "https://portal.example/submit?a=1&b=\"2\"");
}

// A program that hands over and ends: its failure status, with what it said, is the result's.
TEST_F(ShellTest, AnOpenerOrWineThatEndsWithAFailureMakesTheStartFail) {
    fs::create_directory(_root / "bin");
    Script("bin/xdg-open", "echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3");
    Script("bin/wine", "echo 'wine: could not load Browser.exe' >&2; exit 53");
    WriteFileAtomic(Root() + u"/Browser.exe", "MZ");
    TPathOverride path(_root / "bin");

    int events = 0;
    TProcessStart opened = ShellOpen(u"https://portal.example/", {.ProcessEvents = [&] { ++events; }});
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.ErrorCode, 0); // it did start
    EXPECT_EQ(opened.ExitCode, 3);
    EXPECT_EQ(opened.ErrorText, u"\"xdg-open\" ended with exit status 3. xdg-open: no method available for "
                                u"opening 'https://portal.example/'");

    TProcessStart browser = CreateProcessAndWatch(Root() + u"/Browser.exe", {u"--startfile", u"x"}, Root(),
                                                  TShowWindow::swMaximized, {});
    EXPECT_FALSE(browser);
    EXPECT_EQ(browser.ExitCode, 53);
    EXPECT_EQ(browser.ErrorText, u"\"wine\" ended with exit status 53. wine: could not load Browser.exe");
    EXPECT_EQ(browser.Process, nullptr);
}

// One still running when the wait ends has handed over (a browser the opener runs in the foreground).
TEST_F(ShellTest, AnOpenerStillRunningAfterTheWaitHasHandedOver) {
    fs::create_directory(_root / "bin");
    Script("bin/xdg-open", "echo starting >&2; /bin/sleep 2; exit 4");
    TPathOverride path(_root / "bin");
    TProcessStart opened = ShellOpen(u"https://portal.example/", {.WaitMs = 100});
    EXPECT_TRUE(opened) << StringToUtf8(opened.ErrorText);
}
