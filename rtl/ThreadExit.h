#pragma once
// Clean-up of per-thread resources when their thread ends. A thread_local object with a destructor is
// not safe in a Windows DLL built by mingw-w64 (its storage is released before the destructor runs), so
// per-thread caches keep a plain pointer and register its release here.
#include "RtlApi.h"

namespace rtl {

/// Calls release(value) when the calling thread ends, the calls of one thread in reverse order of
/// registration. The main thread's run when the program ends, or not at all on Windows.
RTL_API void AtThreadExit(void (*release)(void*), void* value);

/// True while the process ends on Windows: the system has already stopped every other thread, maybe
/// inside a lock, so a library's clean-up must neither wait for them nor take their locks. Always
/// false elsewhere, where the other threads run on until the process is gone.
RTL_API bool ProcessIsEnding();

} // namespace rtl
