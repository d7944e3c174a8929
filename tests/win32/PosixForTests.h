#pragma once
// The few POSIX calls that the shared test sources make, on Windows: environment variables and FIFOs
// (dynamic loading: include/dlfcn.h). Included ahead of every test source in a Windows build. A FIFO has no place in a
// Windows file system, so mkfifo fails there; the tests that need one are left out of Windows runs
// (tests/CMakeLists.txt), and the Windows tests cover pipes and devices instead.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
// The runtime names the virtual keys itself (rtl/KeyState.h); windows.h's macros would rename them.
#define NOVIRTUALKEYCODES
#include <windows.h>

// The runtime has functions of these names; windows.h's macros for its own would rename them.
#undef CreateHardLink
#undef CreateProcess
#undef DeleteFile
#undef GetEnvironmentVariable
#undef StrToInt

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name))
        return 0;
    // An empty value removes the variable in the C runtime; the POSIX call keeps it, empty.
    if (*value == '\0')
        return ::SetEnvironmentVariableA(name, "") && _putenv_s(name, "") == 0 ? 0 : -1;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

// Test sources pass std::filesystem paths, whose native text is wide on Windows.
inline int setenv(const char* name, const wchar_t* value, int overwrite) {
    char text[4096];
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr);
    return n > 0 ? setenv(name, text, overwrite) : -1;
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}

// A folder's read-only mark does not stop anyone creating files in it, so no test can take that right
// away on Windows: tests that would, as the system's administrator on POSIX, make the refusal themselves.
inline int geteuid() {
    return 0;
}

inline int mkfifo(const char*, int) {
    errno = ENOSYS;
    return -1;
}

inline int mkfifo(const wchar_t*, int) {
    errno = ENOSYS;
    return -1;
}
