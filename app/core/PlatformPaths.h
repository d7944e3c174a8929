#pragma once
// Fixed paths of the application-hosting platform, in this machine's form.
#include "rtl/UnicodeString.h"

namespace ven {

/// The platform's dataset selector, relative to the current directory.
rtl::UnicodeString SelectorProgramPath();
/// The platform's browser program.
rtl::UnicodeString PlatformBrowserPath();
/// The folder of the platform browser, its working folder.
rtl::UnicodeString PlatformBrowserFolder();
/// The platform's data folder.
rtl::UnicodeString PlatformDataFolder();
/// The list of opted-in dataset folders that the selector writes.
rtl::UnicodeString PlatformListFilePath();

/// Account identifier sent to the portal in platform mode.
inline constexpr char16_t kPlatformAccountId[] = u"6d2f9e41-0b7c-4a83-9e56-c1f04b8a2d37";

} // namespace ven
