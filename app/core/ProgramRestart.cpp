#include "app/core/ProgramRestart.h"

#include "rtl/Files.h"
#include "rtl/Shell.h"

namespace ven {

using rtl::UnicodeString;

namespace {

UnicodeString Quoted(const UnicodeString& path) {
    return u"\"" + path + u"\"";
}

} // namespace

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
    return Quoted(checker) + u" " + Quoted(programFile);
}

bool StartVersionChecker(const UnicodeString& programFile) {
    UnicodeString checker = FindVersionChecker(programFile);
    if (checker.empty()) {
        return false;
    }
    // Nothing waits for it: dropping the process object only lets go of it.
    return rtl::CreateProcess(UnicodeString(), VersionCheckerCommandLine(checker, programFile),
                              rtl::ExtractFileDir(programFile), rtl::TShowWindow::swMinimized) != nullptr;
}

bool StartProgram(const UnicodeString& programFile) {
    return rtl::CreateProcess(UnicodeString(), Quoted(programFile), rtl::ExtractFileDir(programFile),
                              rtl::TShowWindow::swNormal) != nullptr;
}

} // namespace ven
