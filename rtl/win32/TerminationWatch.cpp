// TTerminationWatch on Windows: the console's close, Ctrl+C, Ctrl+Break, log-off and shut-down events
// (SetConsoleCtrlHandler), which the system delivers on a thread of its own.
#include "rtl/TerminationWatch.h"
#include "rtl/Thread.h"
#include "rtl/win32/Win32Support.h"
#include <atomic>

namespace rtl {

namespace {

// One watch at a time; the handler reaches it through this pointer.
std::atomic<TTerminationWatch*> g_watch{nullptr};
std::function<void()>* g_request = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (g_watch.load() == nullptr || g_request == nullptr)
        return FALSE; // the default handling: the process ends
    TThread::Queue(*g_request);
    return TRUE;
}

} // namespace

TTerminationWatch::TTerminationWatch(std::function<void()> onRequest) : _fnOnRequest(std::move(onRequest)) {
    TTerminationWatch* none = nullptr;
    if (!g_watch.compare_exchange_strong(none, this))
        return;
    g_request = &_fnOnRequest;
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

TTerminationWatch::~TTerminationWatch() {
    if (g_watch.load() != this)
        return;
    ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
    g_request = nullptr;
    g_watch.store(nullptr);
}

void TTerminationWatch::Watch() {}

} // namespace rtl
