#include "app/core/VenSystemMode.h"

#include "app/core/PlatformPaths.h"
#include "rtl/Files.h"

namespace ven {

TVenSystemMode::TVenSystemMode()
    : TVenSystemMode(SelectorProgramPath(), PlatformBrowserPath(), PlatformDataFolder()) {}

TVenSystemMode::TVenSystemMode(rtl::UnicodeString selectorFile, rtl::UnicodeString browserFile,
                               rtl::UnicodeString dataFolder)
    : _szSelectorFile(std::move(selectorFile)), _szBrowserFile(std::move(browserFile)),
      _szDataFolder(std::move(dataFolder)) {}

bool TVenSystemMode::PlatformMode() const {
    return rtl::FileExists(_szSelectorFile) && rtl::FileExists(_szBrowserFile) &&
           rtl::DirectoryExists(_szDataFolder);
}

} // namespace ven
