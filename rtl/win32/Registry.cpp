// TRegistry over the Windows registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE through the wide API.
// A key is opened by its path for each operation, so a TRegistry holds no handle between calls.
#include "rtl/Registry.h"
#include "rtl/Exceptions.h"
#include "rtl/win32/Win32Support.h"
#include <optional>

namespace rtl {

using win32::Wide;

namespace {

HKEY RootHandle(TRootKey root) {
    return root == TRootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// An open registry key, closed when it goes.
class TKey {
public:
    TKey() = default;
    ~TKey() {
        if (_h)
            ::RegCloseKey(_h);
    }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
    HKEY* Out() noexcept { return &_h; }
    HKEY Get() const noexcept { return _h; }

private:
    HKEY _h = nullptr;
};

LSTATUS OpenExisting(TRootKey root, const UnicodeString& path, REGSAM access, TKey& key) {
    return ::RegOpenKeyExW(RootHandle(root), Wide(path), 0, access, key.Out());
}

// The value's text: REG_SZ and REG_EXPAND_SZ as stored, REG_DWORD as its decimal number. Nothing when
// the value does not exist; wrongType when it holds another kind of data.
std::optional<UnicodeString> QueryValue(HKEY key, const UnicodeString& name, bool& wrongType) {
    wrongType = false;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, Wide(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type == REG_DWORD) {
        DWORD value = 0;
        size = sizeof value;
        if (::RegQueryValueExW(key, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return IntToStr(static_cast<std::int32_t>(value));
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        wrongType = true;
        return UnicodeString();
    }
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    buffer.resize(size / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') // stored with or without its terminator
        buffer.pop_back();
    return win32::FromWide(buffer.data(), buffer.size());
}

LSTATUS SetString(HKEY key, const UnicodeString& name, const UnicodeString& value) {
    return ::RegSetValueExW(key, Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

} // namespace

UnicodeString TRegistry::StoreFolder() {
    return UnicodeString();
}

bool TRegistry::OpenKey(const UnicodeString& key, bool canCreate) {
    UnicodeString path = _ResolveKey(key);
    if (_HasLineBreak(path))
        return false;
    TKey opened;
    if (OpenExisting(RootKey, path, KEY_READ, opened) != ERROR_SUCCESS) {
        if (!canCreate || _blReadOnly)
            return false;
        TKey created;
        if (::RegCreateKeyExW(RootHandle(RootKey), Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, created.Out(), nullptr) != ERROR_SUCCESS)
            return false;
    }
    CloseKey();
    _szCurrentPath = path;
    _blKeyOpen = true;
    _blKeyOpenForWrite = !_blReadOnly;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const UnicodeString& key) {
    UnicodeString path = _ResolveKey(key);
    TKey opened;
    if (_HasLineBreak(path) || OpenExisting(RootKey, path, KEY_READ, opened) != ERROR_SUCCESS)
        return false;
    CloseKey();
    _szCurrentPath = path;
    _blKeyOpen = true;
    _blKeyOpenForWrite = false;
    return true;
}

bool TRegistry::KeyExists(const UnicodeString& key) {
    UnicodeString path = _ResolveKey(key);
    TKey opened;
    return !_HasLineBreak(path) && OpenExisting(RootKey, path, KEY_READ, opened) == ERROR_SUCCESS;
}

bool TRegistry::_FindValue(const UnicodeString& name, UnicodeString& value) {
    TKey opened;
    if (!_blKeyOpen || OpenExisting(RootKey, _szCurrentPath, KEY_QUERY_VALUE, opened) != ERROR_SUCCESS)
        return false;
    bool wrongType = false;
    std::optional<UnicodeString> found = QueryValue(opened.Get(), name, wrongType);
    if (wrongType)
        throw ERegistryError(u"Invalid data type for '" + name + u"'");
    if (!found)
        return false;
    value = std::move(*found);
    return true;
}

bool TRegistry::ValueExists(const UnicodeString& name) {
    TKey opened;
    return _blKeyOpen && OpenExisting(RootKey, _szCurrentPath, KEY_QUERY_VALUE, opened) == ERROR_SUCCESS &&
           ::RegQueryValueExW(opened.Get(), Wide(name), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// All or none: every pair is checked first, and when a write fails the values already written get
// back what they held (or go, when they were new).
void TRegistry::WriteValues(const std::vector<std::pair<UnicodeString, UnicodeString>>& values) {
    _CheckWritable(values);
    if (values.empty())
        return;
    TKey opened;
    LSTATUS status = OpenExisting(RootKey, _szCurrentPath, KEY_QUERY_VALUE | KEY_SET_VALUE, opened);
    if (status != ERROR_SUCCESS)
        throw ERegistryError(u"Failed to write the registry: " + win32::SystemMessage(static_cast<DWORD>(status)));
    std::vector<std::pair<UnicodeString, std::optional<UnicodeString>>> previous;
    for (const auto& [name, value] : values) {
        bool wrongType = false;
        std::optional<UnicodeString> old = QueryValue(opened.Get(), name, wrongType);
        status = SetString(opened.Get(), name, value);
        if (status != ERROR_SUCCESS) {
            for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
                if (it->second)
                    SetString(opened.Get(), it->first, *it->second);
                else
                    ::RegDeleteValueW(opened.Get(), Wide(it->first));
            }
            throw ERegistryError(u"Failed to set data for '" + name + u"': " +
                                 win32::SystemMessage(static_cast<DWORD>(status)));
        }
        previous.emplace_back(name, wrongType ? std::nullopt : old);
    }
}

// A REG_DWORD, as Windows programs store numbers; ReadString reads it back as its decimal text.
void TRegistry::WriteInteger(const UnicodeString& name, int value) {
    if (!_blKeyOpenForWrite)
        throw ERegistryError(u"Failed to set data for '" + name + u"': no key is open for writing");
    TKey opened;
    LSTATUS status = OpenExisting(RootKey, _szCurrentPath, KEY_SET_VALUE, opened);
    const DWORD data = static_cast<DWORD>(value);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(opened.Get(), Wide(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                  sizeof data);
    if (status != ERROR_SUCCESS)
        throw ERegistryError(u"Failed to set data for '" + name + u"': " +
                             win32::SystemMessage(static_cast<DWORD>(status)));
}

} // namespace rtl
