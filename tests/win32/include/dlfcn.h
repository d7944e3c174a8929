#pragma once
// dlopen and its companions over the Windows loader, for the test sources that load a library
// (implemented in tests/win32/PosixForTests.cpp, away from windows.h's macros).
#define RTLD_NOW 2
#define RTLD_LOCAL 0

void* dlopen(const char* file, int mode);
void* dlsym(void* library, const char* name);
int dlclose(void* library);
const char* dlerror();
