// Shell and processes on Windows: ShellExecuteExW for documents and URLs, CreateProcessW for programs,
// with the command line that CommandLineToArgvW splits back into the same arguments.
#include "rtl/Shell.h"
#include "rtl/win32/Win32Support.h"
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
    if (!::ShellExecuteExW(&info))
        return Failure(file, ::GetLastError());
    TProcessStart start;
    if (keepProcess && info.hProcess)
        start.Process = TProcessLauncher::Make(info.hProcess);
    return start;
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

TProcessStart ShellOpen(const UnicodeString& urlOrFile) {
    return Execute(urlOrFile, UnicodeString(), TShowWindow::swNormal, false);
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
