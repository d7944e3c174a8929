#pragma once
// Runs the runtime's synchronised calls (rtl::TThread::Synchronize and Queue) in the Qt event loop.

namespace ven {

/// Marks the calling thread as the main thread and points rtl's wake-up hook at the Qt event loop:
/// each wake-up posts one queued call that runs rtl::CheckSynchronize. Needs a QCoreApplication.
void InstallMainThreadWake();
/// Removes the hook (before the application object goes).
void RemoveMainThreadWake();

} // namespace ven
