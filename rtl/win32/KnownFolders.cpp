// Known folders on Windows: the shell's own (SHGetFolderPathW with the CSIDL of each folder).
#include "rtl/KnownFolders.h"
#include "rtl/Files.h"
#include "rtl/win32/Win32Support.h"
#include <shlobj.h>

namespace rtl {

namespace {

UnicodeString ShellFolder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return UnicodeString();
    return ExcludeTrailingPathDelimiter(win32::FromWide(buffer));
}

UnicodeString TempFolder() {
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 2, buffer);
    return n == 0 ? UnicodeString() : ExcludeTrailingPathDelimiter(win32::FromWide(buffer, n));
}

} // namespace

UnicodeString WinePrefix() {
    return UnicodeString();
}

UnicodeString GetKnownFolder(TKnownFolder folder) {
    switch (folder) {
    case TKnownFolder::Public:
        return ShellFolder(CSIDL_COMMON_APPDATA);
    case TKnownFolder::Cache:
        return ShellFolder(CSIDL_LOCAL_APPDATA);
    case TKnownFolder::SharedDocuments:
        return ShellFolder(CSIDL_COMMON_DOCUMENTS);
    case TKnownFolder::Documents:
        return ShellFolder(CSIDL_PERSONAL);
    case TKnownFolder::Temp:
        return TempFolder();
    case TKnownFolder::Home:
    case TKnownFolder::Profile:
        return ShellFolder(CSIDL_PROFILE);
    case TKnownFolder::Pictures:
        return ShellFolder(CSIDL_MYPICTURES);
    case TKnownFolder::SharedPictures:
        return ShellFolder(CSIDL_COMMON_PICTURES);
    case TKnownFolder::Library:
    case TKnownFolder::Camera:
    case TKnownFolder::SharedCamera:
        return UnicodeString();
    case TKnownFolder::ProgramFiles:
        return ShellFolder(CSIDL_PROGRAM_FILES);
    case TKnownFolder::ProgramFilesX86:
        return ShellFolder(CSIDL_PROGRAM_FILESX86);
    case TKnownFolder::CommonProgramFiles:
        return ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    case TKnownFolder::CommonProgramFilesX86:
        return ShellFolder(CSIDL_PROGRAM_FILES_COMMONX86);
    case TKnownFolder::System:
        return ShellFolder(CSIDL_SYSTEM);
    case TKnownFolder::SystemX86:
        return ShellFolder(CSIDL_SYSTEMX86);
    case TKnownFolder::CommonDesktop:
        return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    case TKnownFolder::Desktop:
        return ShellFolder(CSIDL_DESKTOPDIRECTORY);
    case TKnownFolder::Windows:
        return ShellFolder(CSIDL_WINDOWS);
    }
    return UnicodeString();
}

} // namespace rtl
