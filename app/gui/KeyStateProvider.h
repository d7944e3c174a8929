#pragma once
// Answers the runtime's asynchronous key-state queries off Windows from Qt's keyboard modifiers.

namespace ven {

/// Registers the provider: Shift, Control and Alt (generic, left and right codes alike) read from the
/// modifiers held now; every other key answers up. Needs a QGuiApplication; ask from the GUI thread.
void InstallKeyStateProvider();
/// Unregisters it (before the application object goes).
void RemoveKeyStateProvider();

} // namespace ven
