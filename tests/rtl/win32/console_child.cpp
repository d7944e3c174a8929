// The child of the console-event test: while a termination watch lives, a Ctrl+Break sent to its
// process group must run the watch's callback on the main thread instead of ending the process.
// Argument: the marker file, written when the callback ran; "<marker>.ready" says the watch is set.
#include "rtl/TerminationWatch.h"
#include "rtl/Thread.h"

#include <string>
#include <windows.h>

static void Touch(const std::wstring& file) {
    ::CloseHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    bool requested = false;
    rtl::TTerminationWatch watch([&] { requested = true; });
    Touch(std::wstring(argv[1]) + L".ready");
    const ULONGLONG deadline = ::GetTickCount64() + 20000;
    while (!requested && ::GetTickCount64() < deadline)
        rtl::CheckSynchronize(20);
    if (!requested)
        return 3;
    Touch(argv[1]);
    return 0;
}
