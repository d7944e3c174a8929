#include "app/gui/KeyStateProvider.h"

#include "rtl/KeyState.h"

#include <QGuiApplication>

namespace ven {

namespace {

/// Qt reports one modifier per kind, so the left- and right-hand codes answer as the generic one.
Qt::KeyboardModifier ModifierOf(int nVirtualKey) {
    switch (nVirtualKey) {
    case rtl::VK_SHIFT:
    case rtl::VK_LSHIFT:
    case rtl::VK_RSHIFT:
        return Qt::ShiftModifier;
    case rtl::VK_CONTROL:
    case rtl::VK_LCONTROL:
    case rtl::VK_RCONTROL:
        return Qt::ControlModifier;
    case rtl::VK_MENU:
    case rtl::VK_LMENU:
    case rtl::VK_RMENU:
        return Qt::AltModifier;
    default:
        return Qt::NoModifier;
    }
}

std::int16_t KeyState(int nVirtualKey) {
    const Qt::KeyboardModifier modifier = ModifierOf(nVirtualKey);
    if (modifier == Qt::NoModifier)
        return 0;
    return QGuiApplication::queryKeyboardModifiers().testFlag(modifier) ? std::int16_t(-0x8000) : 0;
}

} // namespace

void InstallKeyStateProvider() {
    rtl::SetKeyStateProvider(&KeyState);
}

void RemoveKeyStateProvider() {
    rtl::SetKeyStateProvider(nullptr);
}

} // namespace ven
