#include "rtl/ClassRelations.h"

#include "rtl/Exceptions.h"
#include "rtl/UnicodeString.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace rtl {

bool TypeDerivesFrom(const std::type_info& derived, const std::type_info& base) noexcept {
    // type_info equality compares names where needed, so a class seen from two libraries is one.
    if (derived == base)
        return true;
    if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(&derived))
        return TypeDerivesFrom(*single->__base_type, base);
    if (const auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(&derived)) {
        for (unsigned i = 0; i < multiple->__base_count; ++i) {
            const abi::__base_class_type_info& info = multiple->__base_info[i];
            if (info.__is_public_p() && TypeDerivesFrom(*info.__base_type, base))
                return true;
        }
    }
    return false;
}

void RequireOwnClassRef(const std::type_info& declared, const std::type_info& objectType) {
    if (declared == objectType)
        return;
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(objectType.name(), nullptr, nullptr, &status), std::free);
    const std::string name = status == 0 && demangled ? demangled.get() : objectType.name();
    throw Exception(Utf8ToString(name) + u" does not declare its own class reference");
}

} // namespace rtl
