// The shell and console on the Windows API: documents and URLs opened through their registered
// programs, console events and a thread's WM_CLOSE reaching a termination watch, and the system's
// key state.
#include "TempFolder.h"
#include "rtl/Files.h"
#include "rtl/KeyState.h"
#include "rtl/Shell.h"
#include "rtl/TerminationWatch.h"
#include "rtl/Thread.h"

#include <gtest/gtest.h>
#include "win32/WindowsForTests.h"

using namespace rtl;

namespace {

const wchar_t* W(const UnicodeString& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

UnicodeString BesideUs(const UnicodeString& name) {
    return ExtractFilePath(ApplicationExeName()) + name;
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// A document type and a URL scheme of the tests' own, each opened by the given command; removed
// afterwards. The user's classes take precedence on Windows; Wine's classes root reads the machine's.
class TAssociations {
public:
    TAssociations(const UnicodeString& command, const UnicodeString& urlCommand) {
        Set(_type, u"", u"VenturoMtdTest.Document");
        Set(_document + u"\\shell\\open\\command", u"", command);
        Set(_scheme, u"", u"URL:VenturoMtdTest");
        Set(_scheme, u"URL Protocol", u"");
        Set(_scheme + u"\\shell\\open\\command", u"", urlCommand);
    }
    ~TAssociations() {
        for (const UnicodeString& key : {_type, _document, _scheme})
            ::RegDeleteTreeW(Root(), W(key));
    }
    TAssociations(const TAssociations&) = delete;
    TAssociations& operator=(const TAssociations&) = delete;

private:
    static HKEY Root() { return UnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
    static void Set(const UnicodeString& key, const UnicodeString& name, const UnicodeString& value) {
        HKEY h = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(Root(), W(key), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), 0);
        ::RegSetValueExW(h, W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
        ::RegCloseKey(h);
    }
    UnicodeString _type = u"Software\\Classes\\.venturomtdtest";
    UnicodeString _document = u"Software\\Classes\\VenturoMtdTest.Document";
    UnicodeString _scheme = u"Software\\Classes\\venturomtdtest";
};

UnicodeString ReadText(const UnicodeString& file) {
    const TBytes bytes = ReadAllBytes(file);
    return UnicodeString(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

// The registered program runs with the document's name (the echo child writes it into the marker that
// "%1.ran" names); one that ends with a failure status makes the hand-off a failure.
TEST(Win32Shell, DocumentsAndUrlsOpenThroughTheirRegisteredProgram) {
    orvitest::TTempFolder tmp;
    const UnicodeString document = tmp.Text(u"letter.venturomtdtest");
    WriteFileAtomic(document, "text");
    {
        const UnicodeString echo = u"\"" + BesideUs(u"rtl_win32_argv_echo.exe") + u"\" ";
        const TAssociations opens(echo + u"\"%1.ran\" \"%1\"", echo + u"\"" + tmp.Text(u"url.ran") + u"\" \"%1\"");
        const TProcessStart opened = ShellOpen(document, {.WaitMs = 30000});
        ASSERT_TRUE(opened) << StringToUtf8(opened.ErrorText);
        ASSERT_TRUE(FileExists(document + u".ran"));
        EXPECT_TRUE(ReadText(document + u".ran").ends_with(u"\\letter.venturomtdtest"));

        const UnicodeString url = u"venturomtdtest:" + tmp.Text(u"url");
        const TProcessStart browsed = ShellOpen(url, {.WaitMs = 30000});
        EXPECT_TRUE(browsed) << StringToUtf8(browsed.ErrorText);
        ASSERT_TRUE(FileExists(tmp.Text(u"url.ran")));
        EXPECT_NE(ReadText(tmp.Text(u"url.ran")).find(url), UnicodeString::npos);
    }
    const UnicodeString alone = u"\"" + BesideUs(u"rtl_win32_argv_echo.exe") + u"\"";
    const TAssociations fails(alone, alone);
    const TProcessStart failed = ShellOpen(document, {.WaitMs = 30000});
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.ExitCode, 2);
    EXPECT_NE(failed.ErrorText.find(u"rtl_win32_argv_echo.exe\" ended with exit status 2."), UnicodeString::npos)
        << StringToUtf8(failed.ErrorText);
}

// Ctrl+Break to a child's own process group runs its watch's callback; the child then ends normally.
TEST(Win32Console, ABreakReachesTheTerminationWatchInsteadOfEndingTheProcess) {
    orvitest::TTempFolder tmp;
    const UnicodeString marker = tmp.Text(u"requested");
    UnicodeString commandLine = u"\"" + BesideUs(u"rtl_win32_console_child.exe") + u"\" \"" + marker + u"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool ownConsole = ::GetConsoleWindow() == nullptr && ::AllocConsole(); // the child shares it
    ASSERT_TRUE(::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr, FALSE,
                                 CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &child));
    ::CloseHandle(child.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + 20000;
    while (!FileExists(marker + u".ready") && ::GetTickCount64() < deadline)
        ::Sleep(10);
    const bool sent = ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child.dwProcessId);
    const DWORD error = ::GetLastError();
    DWORD code = 0;
    if (!sent)
        ::TerminateProcess(child.hProcess, 1);
    ::WaitForSingleObject(child.hProcess, 30000);
    ::GetExitCodeProcess(child.hProcess, &code);
    ::CloseHandle(child.hProcess);
    if (ownConsole)
        ::FreeConsole();
    if (!sent && UnderWine())
        GTEST_SKIP() << "Wine delivers no console events to a program without a console (error " << error << ")";
    ASSERT_TRUE(sent) << error;
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(FileExists(marker));
}

// A WM_CLOSE posted to the thread that made the watch (how a program without windows of the system's
// is asked to end) runs the callback once, on the main thread, and is no message of anyone else's.
TEST(Win32Close, AThreadCloseMessageReachesTheTerminationWatch) {
    int requested = 0;
    {
        const TTerminationWatch watch([&] { ++requested; });
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue
        ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_CLOSE, 0, 0));
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            EXPECT_NE(msg.message, static_cast<UINT>(WM_CLOSE));
        const ULONGLONG deadline = ::GetTickCount64() + 10000;
        while (requested == 0 && ::GetTickCount64() < deadline)
            CheckSynchronize(20);
        CheckSynchronize(50);
    }
    EXPECT_EQ(requested, 1);
}

// Nobody presses keys in a test run; the system answers, not the hook kept for other platforms.
TEST(Win32KeyState, TheSystemReportsNoKeyDown) {
    SetKeyStateProvider([](int) { return static_cast<std::int16_t>(-32768); });
    for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU})
        EXPECT_EQ(rtl::GetAsyncKeyState(key) & 0x8000, 0) << key;
    SetKeyStateProvider(nullptr);
}

} // namespace
