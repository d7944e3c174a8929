#pragma once
// The process's loaded modules (the program and every shared library), each known by a handle.
#include "RtlApi.h"

#include <cstdint>
#include <vector>

namespace rtl {

/// A loaded module's instance handle: the address its image is mapped at. Stable while the module stays
/// loaded; a module unloaded and loaded again may come back under another handle.
using TModuleHandle = std::uintptr_t;

/// One handle per module now loaded, the program first. Libraries opened and closed at run time
/// appear and disappear.
RTL_API std::vector<TModuleHandle> EnumModules();
/// The number of modules now loaded.
RTL_API int ModuleCount();

} // namespace rtl
