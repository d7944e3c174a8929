#pragma once
// How two C++ classes are related, answered from the type information the compiler emits, without
// raising anything; and the check that an object answers its own class reference.
#include "RtlApi.h"

#include <typeinfo>

namespace rtl {

/// Whether derived is base, or derives from it through public bases only.
RTL_API bool TypeDerivesFrom(const std::type_info& derived, const std::type_info& base) noexcept;

/// Raises Exception "<class> does not declare its own class reference" unless declared (the class a
/// class reference stands for) is objectType (the object's dynamic class): a class that inherits
/// its base's reference would be created, duplicated and compared as its base.
RTL_API void RequireOwnClassRef(const std::type_info& declared, const std::type_info& objectType);

} // namespace rtl
