#include "app/update/ProgramRestart.h"

#include "rtl/Files.h"
#include "rtl/Shell.h"

namespace ven {

using rtl::UnicodeString;

UnicodeString FindVersionChecker(const UnicodeString& programFile) {
    UnicodeString dir = rtl::ExtractFileDir(programFile);
    UnicodeString checker = dir + rtl::PathDelim + kVersionCheckerName;
    if (rtl::FileExists(checker)) {
        return checker;
    }
    // Programs built for POSIX carry no extension.
    if (rtl::PathDelim == u'/') {
        UnicodeString bare = rtl::ChangeFileExt(checker, u"");
        if (rtl::FileExists(bare)) {
            return bare;
        }
    }
    return UnicodeString();
}

UnicodeString VersionCheckerCommandLine(const UnicodeString& checker, const UnicodeString& programFile) {
    return rtl::QuoteCommandLineArgument(checker) + u" " + rtl::QuoteCommandLineArgument(programFile);
}

bool StartVersionChecker(const UnicodeString& programFile) {
    UnicodeString checker = FindVersionChecker(programFile);
    if (checker.empty()) {
        return false;
    }
    // Nothing waits for it: dropping the process object only lets go of it.
    return static_cast<bool>(rtl::CreateProcess(checker, {programFile}, rtl::ExtractFileDir(programFile),
                                                rtl::TShowWindow::swMinimized));
}

bool StartProgram(const UnicodeString& programFile) {
    return static_cast<bool>(
        rtl::CreateProcess(programFile, {}, rtl::ExtractFileDir(programFile), rtl::TShowWindow::swNormal));
}

} // namespace ven
