#include "TempFolder.h"
#include "rtl/Files.h"
#include "rtl/Shell.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

class ShellTest : public ::testing::Test {
protected:
    UnicodeString Root() const { return Utf8ToString(_root.string()); }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
};

using Args = std::vector<UnicodeString>;

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

TEST_F(ShellTest, CreateProcessRunsAQuotedCommandLineInTheWorkingFolder) {
    auto p = CreateProcess(u"", u"/bin/sh -c \"printf '%s' \\\"two words\\\" > 'out file.txt'; exit 3\"",
                           Root(), TShowWindow::swNormal);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(p->Pid(), 0);
    ASSERT_TRUE(p->WaitFor(10000));
    EXPECT_EQ(p->ExitCode(), 3);
    EXPECT_FALSE(p->Running());
    TBytes out = ReadAllBytes(Root() + u"/out file.txt");
    EXPECT_EQ(std::string(out.begin(), out.end()), "two words");
    // Reaped: the pid is no longer our child.
    EXPECT_EQ(::waitpid(static_cast<pid_t>(p->Pid()), nullptr, WNOHANG), -1);
}

TEST_F(ShellTest, ProgramGivenApartFromTheCommandLine) {
    auto p = CreateProcess(u"/bin/sh", u"ignored-name -c \"exit 5\"", u"", TShowWindow::swMinimized);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->WaitFor(10000));
    EXPECT_EQ(p->ExitCode(), 5);
}

TEST_F(ShellTest, WaitForTimesOutOnARunningProcess) {
    auto p = ShellExecuteProcess(u"sleep", u"5");
    ASSERT_NE(p, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p->WaitFor(50));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(ms.count(), 45);
    EXPECT_LT(ms.count(), 2000);
    EXPECT_TRUE(p->Running());
    EXPECT_EQ(p->ExitCode(), -1);
    ::kill(static_cast<pid_t>(p->Pid()), SIGKILL);
    EXPECT_TRUE(p->WaitFor(5000));
    EXPECT_EQ(p->ExitCode(), -1); // killed by a signal
}

TEST_F(ShellTest, MissingProgramIsNotStarted) {
    EXPECT_EQ(CreateProcess(u"", u"\"" + Root() + u"/no such program\" x", u"", TShowWindow::swNormal),
              nullptr);
    EXPECT_EQ(ShellExecuteProcess(u".\\Venturo_MTD_CvnDSSelector.exe", u"--validate"), nullptr);
    EXPECT_EQ(CreateProcess(u"", u"", u"", TShowWindow::swNormal), nullptr);
    // A file that exists but cannot be executed.
    WriteFileAtomic(Root() + u"/plain.txt", "not a program");
    EXPECT_EQ(CreateProcess(Root() + u"/plain.txt", u"plain.txt", u"", TShowWindow::swNormal), nullptr);
    // A working folder that does not exist.
    EXPECT_EQ(CreateProcess(u"/bin/sh", u"sh -c true", Root() + u"/nowhere", TShowWindow::swNormal), nullptr);
}

TEST_F(ShellTest, WaitForProcessKeepsTheEventLoopRunning) {
    auto p = ShellExecuteProcess(u"/bin/sh", u"-c \"sleep 0.2\"");
    ASSERT_NE(p, nullptr);
    int events = 0;
    WaitForProcess(*p, [&] { ++events; });
    EXPECT_FALSE(p->Running());
    EXPECT_EQ(p->ExitCode(), 0);
    EXPECT_GE(events, 3);
}

TEST_F(ShellTest, ShellOpenStartsTheHandlerDetached) {
    // A stand-in xdg-open on PATH records its argument.
    fs::path bin = _root / "bin";
    fs::create_directory(bin);
    std::string script = "#!/bin/sh\nprintf '%s' \"$1\" > '" + (_root / "opened").string() + "'\n";
    WriteFileAtomic(Utf8ToString((bin / "xdg-open").string()), script);
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);
    bool started = ShellOpen(u"https://portal.example/submit?a=1&b=2");
    ::setenv("PATH", "/nonexistent", 1);
    bool missing = ShellOpen(u"https://portal.example/");
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(started);
    EXPECT_FALSE(missing);
    for (int i = 0; i < 500 && !fs::exists(_root / "opened"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    TBytes opened = ReadAllBytes(Root() + u"/opened");
    EXPECT_EQ(std::string(opened.begin(), opened.end()), "https://portal.example/submit?a=1&b=2");
}
