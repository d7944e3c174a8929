#include "app/gui/MainThreadWake.h"

#include "rtl/Thread.h"

#include <QCoreApplication>

namespace ven {

namespace {
// Posting never blocks, whichever thread wakes us; the loader waits in Synchronize, not here.
void WakeMainThread() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [] { rtl::CheckSynchronize(0); }, Qt::QueuedConnection);
    }
}
} // namespace

void InstallMainThreadWake() {
    rtl::SetMainThread();
    rtl::SetWakeMainThread(&WakeMainThread);
}

void RemoveMainThreadWake() {
    rtl::SetWakeMainThread(nullptr);
}

} // namespace ven
