#pragma once
// dlopen and its companions over the Windows loader, for the test sources that load a library.
#include <string>
#include <windows.h>

#define RTLD_NOW 2
#define RTLD_LOCAL 0

inline void* dlopen(const char* file, int) {
    return reinterpret_cast<void*>(::LoadLibraryA(file));
}

inline void* dlsym(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

inline int dlclose(void* library) {
    return ::FreeLibrary(static_cast<HMODULE>(library)) ? 0 : -1;
}

inline const char* dlerror() {
    thread_local std::string text;
    text = "LoadLibrary failed, error " + std::to_string(::GetLastError());
    return text.c_str();
}
