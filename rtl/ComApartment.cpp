#include "rtl/ComApartment.h"

namespace rtl {

// Only Windows has COM: nothing to enter.
TComApartment::TComApartment() = default;

TComApartment::~TComApartment() = default;

} // namespace rtl
