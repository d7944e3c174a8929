#pragma once
// What the program says about itself: its version, where it looks for updates, and its licence,
// for the About window and the programs' --version.
#include "rtl/UnicodeString.h"

namespace ven {

/// "Venturo MTD 1.2.3": the product and the version this program was built as.
rtl::UnicodeString ProductVersionText();
/// The update server this build asks for newer versions.
rtl::UnicodeString UpdateServerText();
/// The --version text: the version line, then the update server, each ended by a line break;
/// installedVersion (the version an update recorded as installed), when given, on a line between.
rtl::UnicodeString VersionReport(const rtl::UnicodeString& installedVersion = {});
/// The licence under which the program is used.
rtl::UnicodeString LicenceText();

} // namespace ven
