#pragma once
// windows.h for the Windows-only tests, which also call the runtime's functions of the same names.
// The runtime names the virtual keys itself (rtl/KeyState.h); windows.h's macros would rename them.
#define NOVIRTUALKEYCODES
#include <windows.h>

#undef CreateHardLink
#undef CreateProcess
#undef DeleteFile
#undef GetEnvironmentVariable
#undef StrToInt
