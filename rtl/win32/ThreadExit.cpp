#include "rtl/ThreadExit.h"

#include "rtl/Exceptions.h"

#include <utility>
#include <vector>
#include <windows.h>

namespace rtl {

namespace {

using TExitCalls = std::vector<std::pair<void (*)(void*), void*>>;

// The system calls this with the slot's value as each thread ends.
void NTAPI RunExitCalls(void* value) {
    auto* calls = static_cast<TExitCalls*>(value);
    for (auto it = calls->rbegin(); it != calls->rend(); ++it)
        it->first(it->second);
    delete calls;
}

DWORD ExitCallsSlot() {
    static const DWORD slot = ::FlsAlloc(&RunExitCalls);
    if (slot == FLS_OUT_OF_INDEXES)
        throw Exception(u"No fiber-local storage is left for thread clean-up");
    return slot;
}

} // namespace

void AtThreadExit(void (*release)(void*), void* value) {
    const DWORD slot = ExitCallsSlot();
    auto* calls = static_cast<TExitCalls*>(::FlsGetValue(slot));
    if (!calls) {
        calls = new TExitCalls;
        ::FlsSetValue(slot, calls);
    }
    calls->emplace_back(release, value);
}

bool ProcessIsEnding() {
    // The loader's own answer; ntdll exports it on every Windows version the program runs on.
    using TShutdownInProgress = BOOLEAN(NTAPI*)();
    static const auto fn = reinterpret_cast<TShutdownInProgress>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return fn && fn();
}

} // namespace rtl
