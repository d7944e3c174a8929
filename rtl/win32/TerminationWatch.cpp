// TTerminationWatch on Windows: the console's close, Ctrl+C, Ctrl+Break, log-off and shut-down events
// (SetConsoleCtrlHandler), which the system delivers on a thread of its own, and WM_CLOSE posted to the
// thread that made the watch. The latter is how a parent or `taskkill` asks a program to end whose
// windows the system does not know (the offscreen platform has none): a message for no window, which
// no window procedure would ever see, so a hook on that thread's message retrieval takes it.
#include "rtl/TerminationWatch.h"
#include "rtl/Thread.h"
#include "rtl/win32/Win32Support.h"
#include <atomic>

namespace rtl {

namespace {

// One watch at a time. The system's handlers only set an event; the watch's thread queues the call,
// so that it never runs inside a console handler or a message hook.
std::atomic<TTerminationWatch*> g_watch{nullptr};
HANDLE g_requested = nullptr;
HANDLE g_stop = nullptr;
HHOOK g_hook = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (g_watch.load() == nullptr)
        return FALSE; // the default handling: the process ends
    ::SetEvent(g_requested);
    return TRUE;
}

LRESULT CALLBACK OnMessageRetrieved(int code, WPARAM removal, LPARAM message) {
    MSG* msg = reinterpret_cast<MSG*>(message);
    if (code == HC_ACTION && (removal & PM_REMOVE) && msg->hwnd == nullptr && msg->message == WM_CLOSE) {
        msg->message = WM_NULL; // taken here, once
        ::SetEvent(g_requested);
    }
    return ::CallNextHookEx(nullptr, code, removal, message);
}

} // namespace

TTerminationWatch::TTerminationWatch(std::function<void()> onRequest) : _fnOnRequest(std::move(onRequest)) {
    TTerminationWatch* none = nullptr;
    if (!g_watch.compare_exchange_strong(none, this))
        return;
    g_requested = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_requested || !g_stop) {
        for (HANDLE* h : {&g_requested, &g_stop}) {
            if (*h)
                ::CloseHandle(*h);
            *h = nullptr;
        }
        g_watch.store(nullptr);
        return;
    }
    _thread = std::thread([this] { Watch(); });
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    g_hook = ::SetWindowsHookExW(WH_GETMESSAGE, &OnMessageRetrieved, nullptr, ::GetCurrentThreadId());
}

TTerminationWatch::~TTerminationWatch() {
    if (g_watch.load() != this)
        return;
    if (g_hook)
        ::UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
    g_watch.store(nullptr);
    ::SetEvent(g_stop);
    _thread.join();
    ::CloseHandle(g_requested);
    ::CloseHandle(g_stop);
    g_requested = g_stop = nullptr;
}

void TTerminationWatch::Watch() {
    const HANDLE events[] = {g_stop, g_requested};
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        TThread::Queue(_fnOnRequest);
}

} // namespace rtl
