#pragma once
// TTerminationWatch: while it lives, the signals that ask the program to end (SIGTERM from a
// session's end or a service manager, SIGINT, SIGHUP) do not end the process on the spot; each
// runs a callback on the main thread instead, so that the program closes as its user would close it.
// On Windows the requests are the console's events and WM_CLOSE posted to the thread that made the
// watch (a program without windows the system knows is asked to end that way).
#include "RtlApi.h"

#include <functional>
#include <thread>

namespace rtl {

class RTL_API TTerminationWatch {
public:
    /// onRequest runs on the main thread (through TThread::Queue) once per signal received.
    explicit TTerminationWatch(std::function<void()> onRequest);
    /// The signals end the process again, as by default; the watcher stops.
    ~TTerminationWatch();
    TTerminationWatch(const TTerminationWatch&) = delete;
    TTerminationWatch& operator=(const TTerminationWatch&) = delete;

private:
    void Watch();

    std::function<void()> _fnOnRequest;
    std::thread _thread;
};

} // namespace rtl
