// The part of rtl/Files.h that is the same on every system: the listing forms of an open folder,
// over its system-specific _ListEntries.
#include "rtl/Files.h"

namespace rtl {

std::vector<UnicodeString> TOpenFolder::ListFiles() const {
    std::vector<UnicodeString> names;
    _ListEntries(false, names);
    return names;
}

void TOpenFolder::ListFiles(std::vector<UnicodeString>& names) const {
    _ListEntries(false, names);
}

std::vector<UnicodeString> TOpenFolder::ListDirectories() const {
    std::vector<UnicodeString> names;
    _ListEntries(true, names);
    return names;
}

} // namespace rtl
