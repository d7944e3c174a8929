#include "rtl/Shell.h"

#include "rtl/Files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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

// Reads a pipe nobody listens to any more until its last writer closes it: a program that
// inherited it (a browser an opener started) must not be stopped by a broken pipe.
void DiscardInBackground(int fd) {
    std::thread([fd] {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR)) {
                break;
            }
        }
        ::close(fd);
    }).detach();
}

// Starts args[0] (searched in PATH when it has no '/') in workingDir, setting pid; 0, or the
// system's error number when it could not start. errFd, when not -1, becomes the child's error
// output.
int Spawn(const std::vector<UnicodeString>& args, const UnicodeString& workingDir, bool newSession,
          pid_t& pid, int errFd = -1) {
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
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
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

// Where a launched program's error output goes: inherited (Fd -1), or a pipe for the program, or
// only for wine when the program goes through it.
struct TErrorOutput {
    int Fd = -1;
    bool OnlyThroughWine = false;
};

// Starts program with arguments, through wine when the system cannot run it; pid on success, else
// the first failure, with wine's in wineError when it was tried; throughWine tells which started.
int Launch(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
           const UnicodeString& workingDir, bool newSession, pid_t& pid, int& wineError,
           TErrorOutput errors = {}, bool* throughWine = nullptr) {
    wineError = 0;
    if (throughWine) {
        *throughWine = false;
    }
    std::vector<UnicodeString> args;
    args.reserve(arguments.size() + 2);
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    const int error = Spawn(args, workingDir, newSession, pid, errors.OnlyThroughWine ? -1 : errors.Fd);
    if (!NeedsWine(program, error)) {
        return error;
    }
    args.insert(args.begin(), u"wine");
    wineError = Spawn(args, workingDir, newSession, pid, errors.Fd);
    if (throughWine) {
        *throughWine = wineError == 0;
    }
    return wineError == 0 ? 0 : error;
}

// A pipe for a child's error output: the read end stays here (non-blocking), the write end goes
// to the child; both close on exec, so no other child inherits them.
struct TErrorPipe {
    int Read = -1;
    int Write = -1;
    TErrorPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            Read = fds[0];
            Write = fds[1];
        }
    }
    ~TErrorPipe() {
        CloseWrite();
        if (Read >= 0) {
            DiscardInBackground(Read);
        }
    }
    TErrorPipe(const TErrorPipe&) = delete;
    TErrorPipe& operator=(const TErrorPipe&) = delete;
    void CloseWrite() {
        if (Write >= 0) {
            ::close(Write);
            Write = -1;
        }
    }
};

// Takes what is waiting in the pipe (at most the first 4 KiB are kept); false at its end.
bool TakeErrors(int fd, std::string& text) {
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(std::min<ssize_t>(n, 4096 - ssize_t(text.size()))));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && errno == EAGAIN; // more may come; at 0 every writer has closed it
    }
}

// The message a program left on its error output, on one line.
UnicodeString OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!blank) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return NativeToString(line);
}

// Watches a started program that hands something over: its failure status within the wait, with
// what it said, makes a failure; still running then, it is left to run and reaped in the background.
TProcessStart WatchHandOver(const UnicodeString& program, pid_t pid, TErrorPipe& errors,
                            const TLaunchWatch& watch) {
    errors.CloseWrite();
    std::string said;
    bool open = errors.Read >= 0;
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watch.WaitMs);
    for (;;) {
        if (open) {
            open = TakeErrors(errors.Read, said);
        }
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            ended = r == pid;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            break;
        }
        const int slice = static_cast<int>(std::min<std::int64_t>(
            20, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1));
        if (open) {
            pollfd p{errors.Read, POLLIN, 0};
            ::poll(&p, 1, slice);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
        if (watch.ProcessEvents) {
            watch.ProcessEvents();
        }
    }
    if (!ended) {
        ReapInBackground(pid);
        return {};
    }
    if (open) {
        TakeErrors(errors.Read, said);
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 0;
    TProcessStart result;
    if (code != 0) {
        result.ExitCode = code;
        result.ErrorText = u"\"" + program + u"\" ended with exit status " + IntToStr(code) + u".";
        const UnicodeString message = OneLine(said);
        if (!message.empty()) {
            result.ErrorText += u" " + message;
        }
    }
    return result;
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

TProcessStart ShellOpen(const UnicodeString& urlOrFile, const TLaunchWatch& watch) {
    // In a session of its own: the opener may run as long as the browser it starts.
    pid_t pid = -1;
    int wineError = 0;
    TErrorPipe errors;
    const int error = Launch(u"xdg-open", {urlOrFile}, UnicodeString(), true, pid, wineError, {errors.Write});
    if (error != 0) {
        return Failure(u"xdg-open", error, wineError);
    }
    return WatchHandOver(u"xdg-open", pid, errors, watch);
}

TProcessStart CreateProcessAndWatch(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                                    const UnicodeString& workingDir, TShowWindow /*show*/,
                                    const TLaunchWatch& watch) {
    pid_t pid = -1;
    int wineError = 0;
    bool throughWine = false;
    TErrorPipe errors;
    const int error = Launch(program, arguments, workingDir, false, pid, wineError,
                             {errors.Write, true}, &throughWine);
    if (error != 0) {
        return Failure(program, error, wineError);
    }
    if (throughWine) {
        return WatchHandOver(u"wine", pid, errors, watch);
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
