#pragma once
// Asynchronous key state by virtual-key code. On Windows the system's; elsewhere every key answers up
// unless the program registers a provider (the Qt program answers Shift, Control and Alt).
#include "RtlApi.h"

#include <cstdint>

namespace rtl {

constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12; // Alt
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

/// The state of one key: the most significant bit set while the key is down.
using TKeyStateProvider = std::int16_t (*)(int nVirtualKey);

/// Registers the provider asked off Windows (null: every key up). Safe to call from any thread.
RTL_API void SetKeyStateProvider(TKeyStateProvider fnProvider) noexcept;
/// The key's state now: the high byte is non-zero while it is down.
RTL_API std::int16_t GetAsyncKeyState(int nVirtualKey) noexcept;

} // namespace rtl
