#include "app/webupdate/UpdateTestPlatform.h"

namespace ven::testing {

std::string ProgramFileName() {
    return "venturo_mtd";
}

std::string CheckerFileName() {
    return "ORVIVersionManifestCheck";
}

std::string AwkwardFolderName() {
    return "app\"x \\ y";
}

const char* LibraryPathVariable() {
    return "LD_LIBRARY_PATH";
}

char LibraryPathSeparator() {
    return ':';
}

std::string StandInProgram(const std::filesystem::path& record, const std::string& word, bool withFolder) {
    const std::string to = record.string();
    const std::string what = word.empty()
                                 ? std::string(withFolder ? "pwd; " : "") + "printf '%s\\n' \"$0\" \"$@\""
                                 : "echo " + word;
    return "#!/bin/sh\n{ " + what + "; } > '" + to + ".tmp'\n/bin/mv '" + to + ".tmp' '" + to + "'\n";
}

} // namespace ven::testing
