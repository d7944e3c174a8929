#include "PosixForTests.h"

#include <string>
#include <windows.h>

#include "include/dlfcn.h"

int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name))
        return 0;
    // An empty value removes the variable in the C runtime; the POSIX call keeps it, empty.
    if (*value == '\0')
        return ::SetEnvironmentVariableA(name, "") && _putenv_s(name, "") == 0 ? 0 : -1;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

int setenv(const char* name, const wchar_t* value, int overwrite) {
    char text[4096];
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr);
    return n > 0 ? setenv(name, text, overwrite) : -1;
}

int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}

void* dlopen(const char* file, int) {
    return reinterpret_cast<void*>(::LoadLibraryA(file));
}

void* dlsym(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

int dlclose(void* library) {
    return ::FreeLibrary(static_cast<HMODULE>(library)) ? 0 : -1;
}

const char* dlerror() {
    thread_local std::string text;
    text = "LoadLibrary failed, error " + std::to_string(::GetLastError());
    return text.c_str();
}
