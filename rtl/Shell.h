#pragma once
// Shell and processes: open a URL with the user's default handler, start programs from their
// arguments, wait for them, and Windows command lines.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace rtl {

enum class TShowWindow { swNormal, swMinimized, swMaximized, swShowDefault };

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

/// The outcome of starting a program: the process when it started, else the system's reason.
struct TProcessStart {
    std::unique_ptr<TProcess> Process; // null when it did not start, or when nothing keeps it (ShellOpen)
    int ErrorCode = 0;                 // the system's error number (errno) when it did not start, else 0
    int ExitCode = 0;                  // a watched program's failure status (128 + signal), else 0
    UnicodeString ErrorText;           // "Cannot start \"<program>\". <reason>", or how a watched
                                       // program failed and what it said; empty on success
    explicit operator bool() const noexcept { return ErrorCode == 0 && ExitCode == 0; }
};

/// How a program that only hands something over (an opener, a Windows program through wine) is
/// watched after it starts: it ends by itself once it has handed over, and ends with a failure
/// status, having said why on its error output, when it could not.
struct TLaunchWatch {
    /// How long to wait for it to end; one still running then is taken to have handed over.
    std::uint32_t WaitMs = 5000;
    /// Called about every 20 ms while waiting, when given (the caller's event loop).
    std::function<void()> ProcessEvents = {};
};

/// Opens a URL or file with the user's default handler (ShellExecuteW "open"; xdg-open elsewhere)
/// and watches the opener: one that ends with a failure status within the wait makes the result a
/// failure, with its status and message. Nothing keeps the handler.
RTL_API TProcessStart ShellOpen(const UnicodeString& urlOrFile, const TLaunchWatch& watch = {});
/// Starts file (searched in PATH when it names no folder) with its arguments, verb "open", in the
/// current folder; a Windows program as CreateProcess starts one.
RTL_API TProcessStart ShellExecuteProcess(const UnicodeString& file,
                                          const std::vector<UnicodeString>& arguments,
                                          TShowWindow show = TShowWindow::swNormal);
/// Starts program with its arguments (not counting the program itself) in workingDir (empty: the
/// current one). Off Windows, a Windows program (a name ending ".exe") that the system cannot
/// execute is started through "wine" from PATH; when that fails too, ErrorCode is the first failure
/// and ErrorText adds wine's.
RTL_API TProcessStart CreateProcess(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                                    const UnicodeString& workingDir, TShowWindow show);
/// CreateProcess for a program that runs on by itself (nothing keeps it); when it has to go
/// through wine, wine is watched as ShellOpen watches the opener, since wine ends at once with a
/// failure status when it cannot run the program.
RTL_API TProcessStart CreateProcessAndWatch(const UnicodeString& program,
                                            const std::vector<UnicodeString>& arguments,
                                            const UnicodeString& workingDir, TShowWindow show,
                                            const TLaunchWatch& watch);
/// Waits for the process to end while calling processEvents about every 20 ms, so that the
/// caller's event loop keeps running.
RTL_API void WaitForProcess(TProcess& process, const std::function<void()>& processEvents);
/// Splits a Windows-style command line into arguments (double quotes group, \" escapes a quote).
RTL_API std::vector<UnicodeString> SplitCommandLine(UnicodeStringView commandLine);
/// One argument of a Windows command line in double quotes, with each quote and the backslashes
/// before a quote (or the closing one) escaped, so that CommandLineToArgvW and SplitCommandLine
/// read back exactly arg.
RTL_API UnicodeString QuoteCommandLineArgument(UnicodeStringView arg);
/// The Windows command line of the arguments, separated by spaces: each as it is when it holds no
/// blank or quote and is not empty, else QuoteCommandLineArgument of it. SplitCommandLine inverts it.
RTL_API UnicodeString BuildCommandLine(const std::vector<UnicodeString>& args);

} // namespace rtl
