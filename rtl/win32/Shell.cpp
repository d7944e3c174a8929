// Shell and processes on Windows: ShellExecuteExW for documents and URLs, CreateProcessW for programs,
// with the command line that CommandLineToArgvW splits back into the same arguments.
#include "rtl/Shell.h"
#include "rtl/Files.h"
#include "rtl/win32/Win32Support.h"
#include <algorithm>
#include <objbase.h>
#include <shellapi.h>

namespace rtl {

using win32::Wide;

struct TProcessLauncher {
    static HANDLE Handle(const TProcess& process) { return reinterpret_cast<HANDLE>(process._hProcess); }
    static std::unique_ptr<TProcess> Make(HANDLE process) {
        std::unique_ptr<TProcess> result(new TProcess);
        result->_hProcess = reinterpret_cast<std::intptr_t>(process);
        result->_nPid = ::GetProcessId(process);
        return result;
    }
};

namespace {

int ShowCommand(TShowWindow show) {
    switch (show) {
    case TShowWindow::swMinimized:
        return SW_SHOWMINNOACTIVE;
    case TShowWindow::swMaximized:
        return SW_SHOWMAXIMIZED;
    case TShowWindow::swShowDefault:
        return SW_SHOWDEFAULT;
    case TShowWindow::swNormal:
        break;
    }
    return SW_SHOWNORMAL;
}

// ShellExecuteExW's own codes (hInstApp) as the system's, for when it leaves no last error.
DWORD ShellError(const SHELLEXECUTEINFOW& info) {
    switch (static_cast<int>(reinterpret_cast<std::intptr_t>(info.hInstApp))) {
    case SE_ERR_FNF:
        return ERROR_FILE_NOT_FOUND;
    case SE_ERR_PNF:
        return ERROR_PATH_NOT_FOUND;
    case SE_ERR_ACCESSDENIED:
        return ERROR_ACCESS_DENIED;
    case SE_ERR_OOM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE:
        return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
    case SE_ERR_DDETIMEOUT:
        return ERROR_DDE_FAIL;
    case SE_ERR_SHARE:
        return ERROR_SHARING_VIOLATION;
    case SE_ERR_DLLNOTFOUND:
        return ERROR_DLL_NOT_FOUND;
    default:
        return ERROR_GEN_FAILURE;
    }
}

TProcessStart Failure(const UnicodeString& program, DWORD error) {
    TProcessStart start;
    start.ErrorCode = static_cast<int>(error == 0 ? ERROR_GEN_FAILURE : error);
    start.ErrorText = u"Cannot start \"" + program + u"\". " + win32::SystemMessage(error);
    return start;
}

// ShellExecuteEx may hand the work to shell extensions that expect COM on the calling thread.
class TComScope {
public:
    TComScope() : _blInitialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~TComScope() {
        if (_blInitialised)
            ::CoUninitialize();
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;

private:
    bool _blInitialised;
};

TProcessStart Execute(const UnicodeString& file, const UnicodeString& parameters, TShowWindow show,
                      bool keepProcess) {
    TComScope com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | (keepProcess ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.lpVerb = L"open";
    info.lpFile = Wide(file);
    info.lpParameters = parameters.empty() ? nullptr : Wide(parameters);
    info.nShow = ShowCommand(show);
    if (!::ShellExecuteExW(&info)) {
        const DWORD error = ::GetLastError();
        return Failure(file, error != 0 ? error : ShellError(info));
    }
    TProcessStart start;
    if (keepProcess && info.hProcess)
        start.Process = TProcessLauncher::Make(info.hProcess);
    return start;
}

// An exit status as Windows programs report them: small ones in decimal, status codes (0xC0000135,
// a missing DLL) in hexadecimal.
UnicodeString ExitStatusText(DWORD code) {
    if (code < 0x10000)
        return IntToStr(code);
    static const char16_t digits[] = u"0123456789ABCDEF";
    UnicodeString text = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += digits[(code >> shift) & 0xF];
    return text;
}

// The name of the program a process runs, for messages; fallback when it cannot be read.
UnicodeString ImageName(HANDLE process, const UnicodeString& fallback) {
    wchar_t path[MAX_PATH * 4];
    DWORD size = static_cast<DWORD>(std::size(path));
    if (!::QueryFullProcessImageNameW(process, 0, path, &size) || size == 0)
        return fallback;
    return ExtractFileName(win32::FromWide(path, size));
}

// Watches a started program that hands something over: a failure status within the wait makes a
// failure; still running then, it is left to run (the handle closes, the process goes on).
TProcessStart WatchHandOver(const UnicodeString& program, TProcess& process, const TLaunchWatch& watch) {
    const HANDLE h = TProcessLauncher::Handle(process);
    const ULONGLONG deadline = ::GetTickCount64() + watch.WaitMs;
    while (!process.WaitFor(0)) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return {};
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(20, deadline - now));
        if (watch.ProcessEvents) {
            ::MsgWaitForMultipleObjects(1, &h, FALSE, slice, QS_ALLINPUT);
            watch.ProcessEvents();
        } else {
            ::WaitForSingleObject(h, slice);
        }
    }
    TProcessStart result;
    if (process.ExitCode() != 0) {
        result.ExitCode = process.ExitCode();
        result.ErrorText = u"\"" + program + u"\" ended with exit status " +
                           ExitStatusText(static_cast<DWORD>(process.ExitCode())) + u".";
    }
    return result;
}

} // namespace

TProcess::~TProcess() {
    if (_hProcess)
        ::CloseHandle(reinterpret_cast<HANDLE>(_hProcess));
}

bool TProcess::WaitFor(std::uint32_t timeoutMs) {
    if (_blEnded || !_hProcess)
        return true;
    const HANDLE h = reinterpret_cast<HANDLE>(_hProcess);
    if (::WaitForSingleObject(h, timeoutMs == 0xFFFFFFFFu ? INFINITE : timeoutMs) == WAIT_TIMEOUT)
        return false;
    DWORD code = 0;
    _blEnded = true;
    _nExitCode = ::GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
    return true;
}

// A URL handed to a browser that is already running (through DDE or COM) leaves no process to watch:
// the hand-off is then done.
TProcessStart ShellOpen(const UnicodeString& urlOrFile, const TLaunchWatch& watch) {
    TProcessStart start = Execute(urlOrFile, UnicodeString(), TShowWindow::swNormal, true);
    if (!start || !start.Process)
        return start;
    const std::unique_ptr<TProcess> opener = std::move(start.Process);
    return WatchHandOver(ImageName(TProcessLauncher::Handle(*opener), urlOrFile), *opener, watch);
}

TProcessStart ShellExecuteProcess(const UnicodeString& file, const std::vector<UnicodeString>& arguments,
                                  TShowWindow show) {
    return Execute(file, BuildCommandLine(arguments), show, true);
}

TProcessStart CreateProcess(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                            const UnicodeString& workingDir, TShowWindow show) {
    if (program.empty())
        return Failure(program, ERROR_FILE_NOT_FOUND);
    std::vector<UnicodeString> args;
    args.reserve(arguments.size() + 1);
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    UnicodeString commandLine = BuildCommandLine(args); // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(ShowCommand(show));
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, nullptr, workingDir.empty() ? nullptr : Wide(workingDir),
                          &startup, &info))
        return Failure(program, ::GetLastError());
    ::CloseHandle(info.hThread);
    TProcessStart start;
    start.Process = TProcessLauncher::Make(info.hProcess);
    return start;
}

TProcessStart CreateProcessAndWatch(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                                    const UnicodeString& workingDir, TShowWindow show,
                                    const TLaunchWatch& watch) {
    TProcessStart start = CreateProcess(program, arguments, workingDir, show);
    if (!start)
        return start;
    const std::unique_ptr<TProcess> process = std::move(start.Process);
    return WatchHandOver(program, *process, watch);
}

// The caller's messages keep flowing while it waits: MsgWaitForMultipleObjects wakes for them too.
void WaitForProcess(TProcess& process, const std::function<void()>& processEvents) {
    const HANDLE h = TProcessLauncher::Handle(process);
    while (!process.WaitFor(0)) {
        ::MsgWaitForMultipleObjects(1, &h, FALSE, 20, QS_ALLINPUT);
        if (processEvents)
            processEvents();
    }
}

} // namespace rtl
