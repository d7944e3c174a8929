#include "rtl/KeyState.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace rtl {

namespace {
std::atomic<TKeyStateProvider> g_fnProvider{nullptr};
}

void SetKeyStateProvider(TKeyStateProvider fnProvider) noexcept {
    g_fnProvider.store(fnProvider);
}

std::int16_t GetAsyncKeyState(int nVirtualKey) noexcept {
#if defined(_WIN32)
    return static_cast<std::int16_t>(::GetAsyncKeyState(nVirtualKey));
#else
    const TKeyStateProvider fn = g_fnProvider.load();
    return fn ? fn(nVirtualKey) : 0;
#endif
}

} // namespace rtl
