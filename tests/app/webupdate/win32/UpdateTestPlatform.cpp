#include "app/webupdate/UpdateTestPlatform.h"

#include "rtl/Files.h"

#include <atomic>
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

// The registry is the system's, shared by every test process that runs at the same time: this
// process's HKEY_CURRENT_USER stands for a key of its own instead.
TUserRegistryScope::TRedirection::TRedirection() {
    static std::atomic<unsigned> counter{0};
    Key = L"Software\\Venturo MTD tests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        throw std::runtime_error("the current user's registry cannot be redirected");
    }
    ::RegCloseKey(key); // the redirection holds its own handle
}

TUserRegistryScope::TRedirection::~TRedirection() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Key.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Venturo MTD tests"); // when no other scope is open
}

} // namespace ven::testing
