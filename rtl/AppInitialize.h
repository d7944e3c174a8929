#pragma once
// The application-initialisation hook: the program's start-up calls it once, so that libraries loaded
// with the program can run their start-up work after every module's static initialisation is over.
#include "RtlApi.h"

namespace rtl {

using TInitProc = void (*)();

/// Installs proc as the hook and answers the one it replaced, which proc must call first (the hooks
/// form a chain, the last installed first).
RTL_API TInitProc InstallInitProc(TInitProc proc);
/// Puts saved back when proc is still the installed hook (called when proc's module unloads).
RTL_API void UninstallInitProc(TInitProc proc, TInitProc saved);
/// The hook now installed, or null.
RTL_API TInitProc InitProc();
/// The program's start: runs the installed hook, when there is one. Call it once, at the start of main.
RTL_API void ApplicationInitialize();

} // namespace rtl
