#include "rtl/ObjectHooks.h"

namespace rtl {

// Out of line so the class's type information and vtable live in orvi_rtl only.
TObject::~TObject() = default;

} // namespace rtl
