// The child of the command-line round trip: writes the arguments it was given after its own name
// (the first is the file to write), as the system splits its command line, one a line, in UTF-16.
#include <windows.h>
#include <shellapi.h>
#include <string>

int main() {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args || count < 2)
        return 2;
    std::wstring text;
    for (int i = 1; i < count; ++i)
        text += std::wstring(args[i]) + (i + 1 < count ? L"\n" : L"");
    HANDLE h = ::CreateFileW(args[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const BOOL ok = h != INVALID_HANDLE_VALUE &&
                    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(h);
    return ok ? 0 : 1;
}
