#include "app/core/UserRegistryScope.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>

namespace ven::testing {

namespace {

std::wstring W(const rtl::UnicodeString& s) {
    return std::wstring(s.begin(), s.end());
}

// The keys that stand for HKEY_CURRENT_USER, innermost last; only the test's main thread makes them.
std::vector<HKEY>& Redirections() {
    static std::vector<HKEY> keys;
    return keys;
}

} // namespace

TUserRegistryRedirection::TUserRegistryRedirection() {
    static std::atomic<unsigned> counter{0};
    _szKey = u"Software\\Venturo MTD tests\\" + rtl::IntToStr(static_cast<int>(::GetCurrentProcessId())) +
             u"-" + rtl::IntToStr(static_cast<int>(++counter));
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, W(_szKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("the current user's registry cannot be redirected");
    }
    if (::RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        ::RegCloseKey(key);
        throw std::runtime_error("the current user's registry cannot be redirected");
    }
    _hKey = reinterpret_cast<std::uintptr_t>(key);
    Redirections().push_back(key);
}

TUserRegistryRedirection::~TUserRegistryRedirection() {
    std::vector<HKEY>& keys = Redirections();
    keys.pop_back();
    ::RegOverridePredefKey(HKEY_CURRENT_USER, keys.empty() ? nullptr : keys.back());
    ::RegCloseKey(reinterpret_cast<HKEY>(_hKey));
    // The key was made inside the redirection now restored.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, W(_szKey).c_str());
    if (keys.empty()) {
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Venturo MTD tests"); // when no other process has one
    }
}

void ResetSharedUserKey(const rtl::UnicodeString& key) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, W(key).c_str()); // absent already: nothing to do
}

} // namespace ven::testing
