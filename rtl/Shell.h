#pragma once
// Shell and processes: open a URL with the user's default handler, start programs, wait for them.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace rtl {

enum class TShowWindow { swNormal, swMinimized, swMaximized, swShowDefault };

/// Opens a URL or file with the user's default handler (ShellExecuteW "open"; xdg-open elsewhere).
/// True when the handler was started.
RTL_API bool ShellOpen(const UnicodeString& urlOrFile);

/// A started program.
class RTL_API TProcess {
public:
    ~TProcess();
    /// True once the process has ended; waits at most timeoutMs milliseconds.
    bool WaitFor(std::uint32_t timeoutMs);
    bool Running() { return !WaitFor(0); }
    std::int64_t Pid() const noexcept { return _nPid; }
    /// The exit code once ended, -1 before or when killed by a signal.
    int ExitCode() const noexcept { return _nExitCode; }

private:
    friend struct TProcessLauncher;
    TProcess() = default;
    std::int64_t _nPid = -1;
    int _nExitCode = -1;
    bool _blEnded = false;
    std::intptr_t _hProcess = 0;
};

/// Starts file with parameters (split as a Windows command line), verb "open". Null when it could
/// not be started.
RTL_API std::unique_ptr<TProcess> ShellExecuteProcess(const UnicodeString& file,
                                                      const UnicodeString& parameters,
                                                      TShowWindow show = TShowWindow::swNormal);
/// Starts a program from a Windows-style command line (the first token, quoted or not, is the
/// program unless program is given) in workingDir (empty: the current one).
RTL_API std::unique_ptr<TProcess> CreateProcess(const UnicodeString& program,
                                                const UnicodeString& commandLine,
                                                const UnicodeString& workingDir, TShowWindow show);
/// Waits for the process to end while calling processEvents about every 20 ms, so that the
/// caller's event loop keeps running.
RTL_API void WaitForProcess(TProcess& process, const std::function<void()>& processEvents);
/// Splits a Windows-style command line into arguments (double quotes group, \" escapes a quote).
RTL_API std::vector<UnicodeString> SplitCommandLine(UnicodeStringView commandLine);

} // namespace rtl
