#include "rtl/Modules.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <link.h>
#endif

namespace rtl {

#if defined(_WIN32)

// The loader's own list, program first; a handle is the module's base address, as on Linux.
std::vector<TModuleHandle> EnumModules() {
    std::vector<HMODULE> handles(64);
    for (;;) {
        DWORD needed = 0;
        if (!EnumProcessModules(GetCurrentProcess(), handles.data(),
                                static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed))
            return {};
        const std::size_t count = needed / sizeof(HMODULE);
        if (count <= handles.size()) {
            handles.resize(count);
            break;
        }
        handles.resize(count + 16); // libraries loaded meanwhile
    }
    std::vector<TModuleHandle> modules;
    modules.reserve(handles.size());
    for (HMODULE h : handles)
        modules.push_back(reinterpret_cast<TModuleHandle>(h));
    return modules;
}

#else

namespace {

// The first loadable segment's address is where the object's image starts: distinct for every loaded
// object, including a program that is not position-independent (whose load bias is 0).
int AddModule(dl_phdr_info* info, std::size_t, void* data) {
    auto* modules = static_cast<std::vector<TModuleHandle>*>(data);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            modules->push_back(static_cast<TModuleHandle>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
            return 0;
        }
    }
    modules->push_back(static_cast<TModuleHandle>(info->dlpi_addr));
    return 0;
}

} // namespace

std::vector<TModuleHandle> EnumModules() {
    std::vector<TModuleHandle> modules;
    dl_iterate_phdr(AddModule, &modules);
    return modules;
}

#endif

int ModuleCount() {
    return static_cast<int>(EnumModules().size());
}

} // namespace rtl
