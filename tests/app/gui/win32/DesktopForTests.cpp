// The desktop of Windows: the system's shared application-data folder, where the search for Sage
// COMPANY files looks, and the program registered for the https scheme.
#include "app/gui/DesktopForTests.h"

#include "rtl/KnownFolders.h"
#include "tools/SampleDatasetGenerator.h"

#include "win32/WindowsForTests.h"

namespace ven::testing {

namespace fs = std::filesystem;

namespace {

const wchar_t* W(const rtl::UnicodeString& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The user's classes take precedence on Windows; Wine's classes root reads the machine's.
HKEY ClassesRoot() {
    return UnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const wchar_t kScheme[] = L"Software\\Classes\\https";
const wchar_t kCommand[] = L"Software\\Classes\\https\\shell\\open\\command";

} // namespace

TDemoDatasets::TDemoDatasets(const fs::path& folder) : _prefix(folder / "prefix") {
    const venturo::sample::TSampleSet set = venturo::sample::WriteDemoPrefix(_prefix);
    const fs::path sage = fs::path(W(rtl::GetKnownFolder(rtl::TKnownFolder::Public))) / "Sage";
    if (sage.parent_path().empty() || fs::exists(sage)) {
        return; // an installation's files, which are not ours to change
    }
    // The COMPANY files name the datasets where they were written.
    const fs::path written = _prefix / "drive_c" / "ProgramData" / "Sage";
    for (const fs::directory_entry& year : fs::directory_iterator(written / "Accounts")) {
        fs::create_directories(sage / "Accounts" / year.path().filename());
        fs::copy_file(year.path() / "COMPANY", sage / "Accounts" / year.path().filename() / "COMPANY");
    }
    _placed = sage;
    for (const auto& d : set.Datasets) {
        _nLoadable += d.Loadable() ? 1 : 0;
    }
}

TDemoDatasets::~TDemoDatasets() {
    if (!_placed.empty()) {
        std::error_code ignored;
        fs::remove_all(_placed, ignored);
    }
}

void TDemoDatasets::Prepare(QProcessEnvironment&) const {}

TBrokenUrlOpener::TBrokenUrlOpener(TKind kind, const fs::path& folder) {
    HKEY key = nullptr;
    _blCreated = ::RegOpenKeyExW(ClassesRoot(), kScheme, 0, KEY_READ, &key) != ERROR_SUCCESS;
    if (key) {
        ::RegCloseKey(key);
    }
    wchar_t saved[2048] = {};
    DWORD size = sizeof saved - sizeof(wchar_t);
    if (::RegGetValueW(ClassesRoot(), kCommand, nullptr, RRF_RT_REG_SZ, nullptr, saved, &size) == ERROR_SUCCESS) {
        _szSaved = rtl::UnicodeString(reinterpret_cast<const char16_t*>(saved));
        _blSaved = true;
    }
    rtl::UnicodeString command;
    if (kind == TKind::Missing) {
        command = u"\"" + rtl::UnicodeString(reinterpret_cast<const char16_t*>((folder / "no-browser.exe").c_str())) +
                  u"\" \"%1\"";
        _szReason = "Cannot start \"https://";
    } else {
        command = u"\"" + rtl::GetKnownFolder(rtl::TKnownFolder::System) + u"\\cmd.exe\" /c exit 3";
        _szReason = "\"cmd.exe\" ended with exit status 3.";
    }
    ::RegSetKeyValueW(ClassesRoot(), kCommand, nullptr, REG_SZ, W(command),
                      static_cast<DWORD>((command.size() + 1) * sizeof(char16_t)));
}

TBrokenUrlOpener::~TBrokenUrlOpener() {
    if (_blCreated) {
        ::RegDeleteTreeW(ClassesRoot(), kScheme);
    } else if (_blSaved) {
        ::RegSetKeyValueW(ClassesRoot(), kCommand, nullptr, REG_SZ, W(_szSaved),
                          static_cast<DWORD>((_szSaved.size() + 1) * sizeof(char16_t)));
    } else {
        ::RegDeleteKeyValueW(ClassesRoot(), kCommand, nullptr);
    }
}

} // namespace ven::testing
