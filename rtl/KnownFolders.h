#pragma once
// Known-folder queries behind the folder-name macros. On Windows the real ones; elsewhere, with a
// Wine prefix (WINEPREFIX, else ~/.wine when it exists) the Windows folders map into the prefix,
// and the everyday folders (Home, Documents, Temp, Cache, Desktop, Pictures) map to the XDG ones.
#include "RtlApi.h"
#include "UnicodeString.h"

namespace rtl {

enum class TKnownFolder {
    Public, // shared application data of all users (Wine: drive_c/ProgramData)
    Cache,
    SharedDocuments,
    Documents,
    Temp,
    Library,
    Home,
    Pictures,
    SharedPictures,
    Camera,
    SharedCamera,
    ProgramFiles,          // CSIDL_PROGRAM_FILES
    ProgramFilesX86,       // CSIDL_PROGRAM_FILESX86
    CommonProgramFiles,    // CSIDL_PROGRAM_FILES_COMMON
    CommonProgramFilesX86, // CSIDL_PROGRAM_FILES_COMMONX86
    System,                // CSIDL_SYSTEM
    SystemX86,             // CSIDL_SYSTEMX86
    CommonDesktop,         // CSIDL_COMMON_DESKTOPDIRECTORY
    Desktop,               // CSIDL_DESKTOPDIRECTORY
    Profile,               // CSIDL_PROFILE
    Windows,               // CSIDL_WINDOWS
};

/// The folder's path, or empty when the platform has none.
RTL_API UnicodeString GetKnownFolder(TKnownFolder folder);
/// The Wine prefix in use, or empty (never on Windows).
RTL_API UnicodeString WinePrefix();

} // namespace rtl
