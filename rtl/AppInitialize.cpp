#include "rtl/AppInitialize.h"

#include <atomic>

namespace rtl {

namespace {

// Constant-initialised: libraries install their hooks during static initialisation, in any order.
constinit std::atomic<TInitProc> g_fnInitProc{nullptr};

} // namespace

TInitProc InstallInitProc(TInitProc proc) {
    return g_fnInitProc.exchange(proc, std::memory_order_acq_rel);
}

void UninstallInitProc(TInitProc proc, TInitProc saved) {
    g_fnInitProc.compare_exchange_strong(proc, saved, std::memory_order_acq_rel);
}

TInitProc InitProc() {
    return g_fnInitProc.load(std::memory_order_acquire);
}

void ApplicationInitialize() {
    if (const TInitProc proc = InitProc())
        proc();
}

} // namespace rtl
