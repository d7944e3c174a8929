#include "app/core/UserSettingsReset.h"

namespace ven::testing {

// The file registry's folder is fresh for each test (TRegistryScope), so nothing is shared.
void ResetSharedUserKey(const rtl::UnicodeString&) {}

} // namespace ven::testing
