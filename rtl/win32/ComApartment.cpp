#include "rtl/ComApartment.h"
#include <objbase.h>

namespace rtl {

// S_FALSE (already initialised on this thread) also counts and is balanced by CoUninitialize; a thread
// already in the multithreaded apartment (RPC_E_CHANGED_MODE) keeps it and leaves nothing to undo.
TComApartment::TComApartment()
    : _blEntered(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

TComApartment::~TComApartment() {
    if (_blEntered)
        ::CoUninitialize();
}

} // namespace rtl
