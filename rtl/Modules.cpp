#include "rtl/Modules.h"

#if defined(_WIN32)
#include <tlhelp32.h>
#include <windows.h>
#else
#include <link.h>
#endif

namespace rtl {

#if defined(_WIN32)

std::vector<TModuleHandle> EnumModules() {
    std::vector<TModuleHandle> modules;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Module32FirstW(snapshot, &entry); ok; ok = Module32NextW(snapshot, &entry))
        modules.push_back(reinterpret_cast<TModuleHandle>(entry.hModule));
    CloseHandle(snapshot);
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
