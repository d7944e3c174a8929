#pragma once
// The current user's registry as a test sees it. Off Windows the store is the private folder each
// TRegistryScope names, and child processes inherit it. On Windows the store is the system's
// registry, one for every test process that runs at the same time: a process's own HKEY_CURRENT_USER
// is redirected to a key of its own, which a child process does not inherit.
#include "rtl/UnicodeString.h"

#include <cstdint>

namespace ven::testing {

/// While it lives, this process's HKEY_CURRENT_USER on Windows is a fresh key of its own, removed at
/// the end; elsewhere it does nothing. Scopes nest: the end of one restores the one it was made in.
class TUserRegistryRedirection {
public:
    TUserRegistryRedirection();
    ~TUserRegistryRedirection();
    TUserRegistryRedirection(const TUserRegistryRedirection&) = delete;
    TUserRegistryRedirection& operator=(const TUserRegistryRedirection&) = delete;

private:
    rtl::UnicodeString _szKey;
    std::uintptr_t _hKey = 0;
};

/// Removes HKEY_CURRENT_USER\<key> with everything under it where the registry is the system's: for
/// tests whose child processes share the user's key with them.
void ResetSharedUserKey(const rtl::UnicodeString& key);

} // namespace ven::testing
