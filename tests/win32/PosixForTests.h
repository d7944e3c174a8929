#pragma once
// The few POSIX calls that the shared test sources make, on Windows: environment variables, the user id
// and FIFOs (dynamic loading: include/dlfcn.h). Included ahead of every test source in a Windows build,
// so it declares them without windows.h, whose macros (INFINITE, S_OK, Sleep, ...) would rename the
// runtime's own names; tests/win32/PosixForTests.cpp implements them. A FIFO has no place in a Windows
// file system, so mkfifo fails there; the tests that need one are left out of Windows runs
// (ORVI_POSIX_ONLY_TESTS), and the Windows tests cover pipes and devices instead.
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/types.h>

/// As POSIX: an empty value is kept as an empty variable, not removed.
int setenv(const char* name, const char* value, int overwrite);
/// Test sources pass std::filesystem paths, whose native text is wide on Windows.
int setenv(const char* name, const wchar_t* value, int overwrite);
int unsetenv(const char* name);

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
