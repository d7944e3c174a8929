#include "app/core/PlatformPaths.h"

#include "rtl/WindowsPaths.h"

namespace ven {

// The platform is a Windows host; elsewhere the same paths are looked for where Wine maps them.
rtl::UnicodeString SelectorProgramPath() {
    return rtl::WindowsPathToNative(u".\\Venturo_MTD_CvnDSSelector.exe");
}

rtl::UnicodeString PlatformBrowserPath() {
    return rtl::WindowsPathToNative(u"C:\\Program Files (x86)\\App Hosting Platform\\Tarnweb\\Tarnweb.exe");
}

rtl::UnicodeString PlatformBrowserFolder() {
    return rtl::WindowsPathToNative(u"C:\\Program Files (x86)\\App Hosting Platform\\Tarnweb");
}

rtl::UnicodeString PlatformDataFolder() {
    return rtl::WindowsPathToNative(u"H:\\Sagedata.sys");
}

rtl::UnicodeString PlatformListFilePath() {
    return rtl::WindowsPathToNative(u"H:\\Sagedata.sys\\Venturo_MTD.COMPANY");
}

} // namespace ven
