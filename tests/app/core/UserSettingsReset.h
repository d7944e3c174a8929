#pragma once
// The program's own key of the current user's registry, emptied around each test that uses the
// registry: off Windows the store is a private folder per test and nothing needs emptying; on Windows
// the store is the system's registry, which every test shares.
#include "rtl/UnicodeString.h"

namespace ven::testing {

/// Removes HKEY_CURRENT_USER\<key> with everything under it, where the registry is shared.
void ResetSharedUserKey(const rtl::UnicodeString& key);

} // namespace ven::testing
