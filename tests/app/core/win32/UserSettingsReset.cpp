#include "app/core/UserSettingsReset.h"

#include <string>
#include <windows.h>

namespace ven::testing {

void ResetSharedUserKey(const rtl::UnicodeString& key) {
    const std::wstring path(key.begin(), key.end());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); // absent already: nothing to do
}

} // namespace ven::testing
