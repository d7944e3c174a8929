#pragma once
// Restarting after an update: the version-manifest checker that runs beside the program, and
// starting the program anew.
#include "rtl/UnicodeString.h"

namespace ven {

/// The checker's file name beside the program.
inline constexpr char16_t kVersionCheckerName[] = u"ORVIVersionManifestCheck.exe";

/// The checker in programFile's folder: kVersionCheckerName, or on POSIX, failing that, the same
/// name without ".exe"; empty when neither exists.
rtl::UnicodeString FindVersionChecker(const rtl::UnicodeString& programFile);
/// The checker's Windows command line: its own path and the program's, each in double quotes
/// (quotes and the backslashes before them escaped).
rtl::UnicodeString VersionCheckerCommandLine(const rtl::UnicodeString& checker,
                                             const rtl::UnicodeString& programFile);
/// Starts the checker beside programFile, minimised, in the program's folder, without waiting for
/// it; false when there is none or it did not start.
bool StartVersionChecker(const rtl::UnicodeString& programFile);
/// Starts programFile anew in its own folder, without waiting for it; false when it did not start.
bool StartProgram(const rtl::UnicodeString& programFile);

} // namespace ven
