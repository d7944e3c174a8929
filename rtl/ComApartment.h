#pragma once
// TComApartment: while it lives, the calling thread belongs to a single-threaded COM apartment, as the
// shell and known-folder calls made from a worker thread expect on Windows. Elsewhere it does nothing.
#include "RtlApi.h"

namespace rtl {

class RTL_API TComApartment {
public:
    TComApartment();
    /// Leaves the apartment when the constructor entered it.
    ~TComApartment();
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    /// True when the thread entered the apartment here (or was already in one of this kind).
    bool Entered() const noexcept { return _blEntered; }

private:
    bool _blEntered = false;
};

} // namespace rtl
