#pragma once
// What the web update's tests need of the platform: stand-in programs that record how they were
// started, and the names the program's files have there.
#include "app/core/CoreTestSupport.h"
#include "app/update/UpdateCheck.h"
#include "rtl/Registry.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ven::testing {

/// The program's file name in its folder ("venturo_mtd", "venturo_mtd.exe" on Windows), the version
/// checker's, and a folder name that a command line must quote with care.
std::string ProgramFileName();
std::string CheckerFileName();
std::string AwkwardFolderName();
/// The variable that tells a started program where its libraries are, and its list separator.
const char* LibraryPathVariable();
char LibraryPathSeparator();

/// A program's bytes that, when started, write a file record: word and a line break, or (word
/// empty) its start, a line each: its working folder (when withFolder), its own path and its
/// arguments. The record appears whole (written beside it and renamed).
std::string StandInProgram(const std::filesystem::path& record, const std::string& word,
                           bool withFolder = false);

/// Writes values of the product's own key of the current user.
inline void
WriteProductSettings(const std::vector<std::pair<rtl::UnicodeString, rtl::UnicodeString>>& values) {
    rtl::TRegistry reg;
    reg.RootKey = rtl::TRootKey::CurrentUser;
    if (!reg.OpenKey(kProductRegistryKey, true)) {
        throw std::runtime_error("the product's registry key cannot be made");
    }
    reg.WriteValues(values);
}

} // namespace ven::testing
