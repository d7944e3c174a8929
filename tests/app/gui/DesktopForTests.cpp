// The desktop of a POSIX system: the Wine-style prefix that WINEPREFIX names, and xdg-open on PATH.
#include "app/gui/DesktopForTests.h"

#include "tools/SampleDatasetGenerator.h"

#include <cstdlib>
#include <fstream>

namespace ven::testing {

namespace fs = std::filesystem;

TDemoDatasets::TDemoDatasets(const fs::path& folder) : _prefix(folder / "prefix") {
    for (const auto& d : venturo::sample::WriteDemoPrefix(_prefix).Datasets) {
        _nLoadable += d.Loadable() ? 1 : 0;
    }
}

TDemoDatasets::~TDemoDatasets() = default;

void TDemoDatasets::Prepare(QProcessEnvironment& env) const {
    env.insert("WINEPREFIX", QString::fromStdString(_prefix.string()));
}

TBrokenUrlOpener::TBrokenUrlOpener(TKind kind, const fs::path& folder) {
    if (const char* path = std::getenv("PATH")) {
        _szSaved = rtl::NativeToString(path);
        _blSaved = true;
    }
    if (kind == TKind::Missing) {
        ::setenv("PATH", "/nonexistent", 1);
        _szReason = "Cannot start \"xdg-open\". ";
        return;
    }
    const fs::path bin = folder / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho 'xdg-open: no method available' >&2\nexit 3\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    ::setenv("PATH", bin.c_str(), 1);
    _szReason = "exit status 3. xdg-open: no method available";
}

TBrokenUrlOpener::~TBrokenUrlOpener() {
    if (_blSaved) {
        ::setenv("PATH", rtl::StringToNative(_szSaved).c_str(), 1);
    } else {
        ::unsetenv("PATH");
    }
}

} // namespace ven::testing
