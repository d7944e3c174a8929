#pragma once
// What rtl's Windows units share: paths in the form the wide-character API takes, and the system's
// texts for its error codes. Internal to rtl.
#include "rtl/UnicodeString.h"
#include <windows.h>
#include <string>

// windows.h makes these names macros for its …A/…W functions; rtl has functions of the same names.
#undef CreateHardLink
#undef CreateProcess
#undef DeleteFile
#undef GetEnvironmentVariable
#undef StrToInt

namespace rtl::win32 {

/// UTF-16 text as the API's wide strings (wchar_t is 16 bits on Windows).
inline const wchar_t* Wide(const UnicodeString& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline UnicodeString FromWide(const wchar_t* text, std::size_t count) {
    return UnicodeString(reinterpret_cast<const char16_t*>(text), count);
}
inline UnicodeString FromWide(const wchar_t* text) {
    return text ? FromWide(text, std::wcslen(text)) : UnicodeString();
}

/// The path in the form that reaches any length: the full path ("." and ".." resolved, "/" made
/// "\\") behind "\\\\?\\" for a drive path and "\\\\?\\UNC\\" for a share. Device paths ("\\\\.\\…",
/// which a reserved name such as CON also becomes) and paths already in that form stay as they are.
UnicodeString LongPath(const UnicodeString& path);

/// The system's text for an error code of GetLastError, without its line break.
UnicodeString SystemMessage(DWORD error);

/// An open handle, closed when it goes.
class THandle {
public:
    explicit THandle(HANDLE h = INVALID_HANDLE_VALUE) noexcept : _h(h) {}
    ~THandle() { Close(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const noexcept { return _h; }
    bool Valid() const noexcept { return _h != INVALID_HANDLE_VALUE && _h != nullptr; }
    void Close() noexcept {
        if (Valid())
            ::CloseHandle(_h);
        _h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE _h;
};

} // namespace rtl::win32
