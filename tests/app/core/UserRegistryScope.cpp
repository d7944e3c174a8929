#include "app/core/UserRegistryScope.h"

namespace ven::testing {

// The file registry's folder is fresh for each test (TRegistryScope), so nothing is shared.
TUserRegistryRedirection::TUserRegistryRedirection() = default;
TUserRegistryRedirection::~TUserRegistryRedirection() = default;

void ResetSharedUserKey(const rtl::UnicodeString&) {}

} // namespace ven::testing
