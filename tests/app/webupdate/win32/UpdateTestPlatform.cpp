#include "app/webupdate/UpdateTestPlatform.h"

#include "rtl/Files.h"

#include <windows.h>

namespace ven::testing {

namespace fs = std::filesystem;

std::string ProgramFileName() {
    return "venturo_mtd.exe";
}

std::string CheckerFileName() {
    return "ORVIVersionManifestCheck.exe";
}

// No quote may be in a Windows file name; blanks and a character the command shell reads are.
std::string AwkwardFolderName() {
    return "app x & y";
}

const char* LibraryPathVariable() {
    return "PATH";
}

char LibraryPathSeparator() {
    return ';';
}

// The recording program built beside the tests, followed by what it is to do: it reads that from the
// end of its own file.
std::string StandInProgram(const fs::path& record, const std::string& word, bool withFolder) {
    static const std::string program = [] {
        const rtl::UnicodeString self = rtl::ApplicationExeName();
        const fs::path folder = fs::path(std::wstring(self.begin(), self.end())).parent_path();
        return orvitest::ReadText(folder / "webupdate_recording_program.exe");
    }();
    const std::u8string to = record.u8string();
    const std::string what = word.empty() ? (withFolder ? "start+folder" : "start") : "say " + word;
    return program + "\n#record\n" + what + "\n" + std::string(to.begin(), to.end()) + "\n";
}

} // namespace ven::testing
