#include "rtl/win32/Win32Support.h"

namespace rtl::win32 {

namespace {

bool StartsWith(const UnicodeString& text, const char16_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

UnicodeString LongPath(const UnicodeString& path) {
    if (path.empty() || StartsWith(path, u"\\\\?\\") || StartsWith(path, u"\\\\.\\"))
        return path;
    // One call for the usual path, which fits the first buffer; a second only for a longer one.
    std::wstring full(MAX_PATH, L'\0');
    DWORD size = ::GetFullPathNameW(Wide(path), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size >= full.size()) {
        full.assign(size, L'\0');
        size = ::GetFullPathNameW(Wide(path), size, full.data(), nullptr);
    }
    if (size == 0 || size >= full.size())
        return path;
    full.resize(size);
    UnicodeString result = FromWide(full.data(), full.size());
    if (StartsWith(result, u"\\\\.\\") || StartsWith(result, u"\\\\?\\"))
        return result;
    if (StartsWith(result, u"\\\\"))
        return u"\\\\?\\UNC\\" + result.substr(2);
    return u"\\\\?\\" + result;
}

UnicodeString SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                     reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UnicodeString text = n > 0 ? FromWide(buffer, n) : u"System error " + IntToStr(static_cast<int>(error)) + u".";
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
        text.pop_back();
    return text;
}

} // namespace rtl::win32
