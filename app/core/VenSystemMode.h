#pragma once
// TVenSystemMode: whether the program runs on the application-hosting platform.
#include "rtl/UnicodeString.h"

namespace ven {

class TVenSystemMode {
public:
    /// The product's own markers.
    TVenSystemMode();
    /// Other markers, for tests.
    TVenSystemMode(rtl::UnicodeString selectorFile, rtl::UnicodeString browserFile,
                   rtl::UnicodeString dataFolder);

    /// True only when the selector file, the browser file and the data folder all exist; checked
    /// in that order on every read, never cached, so a platform that appears later is noticed.
    bool PlatformMode() const;

private:
    rtl::UnicodeString _szSelectorFile;
    rtl::UnicodeString _szBrowserFile;
    rtl::UnicodeString _szDataFolder;
};

} // namespace ven
