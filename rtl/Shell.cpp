#include "rtl/Shell.h"

#include "rtl/Files.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace rtl {

struct TProcessLauncher {
    static std::unique_ptr<TProcess> Make(pid_t pid) {
        std::unique_ptr<TProcess> process(new TProcess);
        process->_nPid = pid;
        return process;
    }
};

namespace {

// Reaps a child nobody waits for any more, so that it leaves no zombie.
void ReapInBackground(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// Starts args[0] (searched in PATH when it has no '/') in workingDir, setting pid; 0, or the
// system's error number when it could not start.
int Spawn(const std::vector<UnicodeString>& args, const UnicodeString& workingDir, bool newSession,
          pid_t& pid) {
    if (args.empty() || args[0].empty()) {
        return ENOENT;
    }
    std::vector<std::string> native;
    native.reserve(args.size());
    for (const UnicodeString& arg : args) {
        native.push_back(StringToNative(arg));
    }
    std::vector<char*> argv;
    for (std::string& arg : native) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    std::string dir = StringToNative(workingDir);
    if (!dir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    }
    // The child starts with no blocked signals and default SIGPIPE, whatever this process set.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    posix_spawnattr_setflags(&attr, flags);

    // glibc's posix_spawn reports a failed exec (missing program, no permission, arguments too long)
    // as its result.
    int error = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

UnicodeString SystemMessage(int error) {
    return Utf8ToString(std::strerror(error));
}

// The failure to start program; wineError, when not 0, is why wine could not start it either.
TProcessStart Failure(const UnicodeString& program, int error, int wineError) {
    TProcessStart start;
    start.ErrorCode = error;
    start.ErrorText = u"Cannot start \"" + program + u"\". " + SystemMessage(error);
    if (wineError != 0) {
        start.ErrorText += u" Through wine: " + SystemMessage(wineError);
    }
    return start;
}

// A Windows program copied here usually has no execute permission (EACCES) or a format the system
// does not run (ENOEXEC); wine runs it when installed.
bool NeedsWine(const UnicodeString& program, int error) {
    return (error == EACCES || error == ENOEXEC) && EndsText(u".exe", program);
}

// Starts program with arguments, through wine when the system cannot run it; pid on success, else
// the first failure, with wine's in wineError when it was tried.
int Launch(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
           const UnicodeString& workingDir, bool newSession, pid_t& pid, int& wineError) {
    wineError = 0;
    std::vector<UnicodeString> args;
    args.reserve(arguments.size() + 2);
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    const int error = Spawn(args, workingDir, newSession, pid);
    if (!NeedsWine(program, error)) {
        return error;
    }
    args.insert(args.begin(), u"wine");
    wineError = Spawn(args, workingDir, newSession, pid);
    return wineError == 0 ? 0 : error;
}

TProcessStart Start(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                    const UnicodeString& workingDir) {
    pid_t pid = -1;
    int wineError = 0;
    const int error = Launch(program, arguments, workingDir, false, pid, wineError);
    if (error != 0) {
        return Failure(program, error, wineError);
    }
    TProcessStart start;
    start.Process = TProcessLauncher::Make(pid);
    return start;
}

} // namespace

TProcess::~TProcess() {
    if (!_blEnded && _nPid > 0) {
        ReapInBackground(static_cast<pid_t>(_nPid));
    }
}

bool TProcess::WaitFor(std::uint32_t timeoutMs) {
    if (_blEnded || _nPid <= 0) {
        return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        int options = timeoutMs == 0xFFFFFFFFu ? 0 : WNOHANG;
        pid_t r = ::waitpid(static_cast<pid_t>(_nPid), &status, options);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r != 0) {
            // r < 0 (ECHILD): already reaped elsewhere; it has ended either way.
            _blEnded = true;
            _nExitCode = (r > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
            return true;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
}

TProcessStart ShellOpen(const UnicodeString& urlOrFile) {
    // Detached: the opener may run as long as the browser it starts.
    pid_t pid = -1;
    int wineError = 0;
    const int error = Launch(u"xdg-open", {urlOrFile}, UnicodeString(), true, pid, wineError);
    if (error != 0) {
        return Failure(u"xdg-open", error, wineError);
    }
    ReapInBackground(pid);
    return {};
}

TProcessStart ShellExecuteProcess(const UnicodeString& file, const std::vector<UnicodeString>& arguments,
                                  TShowWindow /*show*/) {
    return Start(file, arguments, UnicodeString());
}

TProcessStart CreateProcess(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                            const UnicodeString& workingDir, TShowWindow /*show*/) {
    return Start(program, arguments, workingDir);
}

void WaitForProcess(TProcess& process, const std::function<void()>& processEvents) {
    while (!process.WaitFor(20)) {
        if (processEvents) {
            processEvents();
        }
    }
}

} // namespace rtl
