#include "rtl/TerminationWatch.h"

#include "rtl/Thread.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace rtl {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr char kSignalled = 's';
constexpr char kStop = 'q';

// The handler may only write to a pipe; the watcher thread reads it. One watch at a time.
int g_pipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &kSignalled, 1);
    errno = saved;
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

TTerminationWatch::TTerminationWatch(std::function<void()> onRequest) : _fnOnRequest(std::move(onRequest)) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC) != 0) {
        return; // without the pipe the signals keep their default handling
    }
    _thread = std::thread([this] { Watch(); });
    SetHandler(&OnTerminationSignal);
}

TTerminationWatch::~TTerminationWatch() {
    if (!_thread.joinable()) {
        return;
    }
    SetHandler(SIG_DFL);
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &kStop, 1);
    _thread.join();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TTerminationWatch::Watch() {
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(g_pipe[0], &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || c == kStop) {
            return;
        }
        TThread::Queue(_fnOnRequest);
    }
}

} // namespace rtl
