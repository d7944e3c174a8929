#include "rtl/WindowsPaths.h"

#include "rtl/KnownFolders.h"

namespace rtl {

UnicodeString WindowsPathToNative(UnicodeStringView path) {
#if defined(_WIN32)
    return UnicodeString(path);
#else
    UnicodeString native(path);
    for (char16_t& c : native) {
        if (c == u'\\') {
            c = u'/';
        }
    }
    bool drivePath = native.size() >= 3 && native[1] == u':' && native[2] == u'/' &&
                     ((native[0] >= u'A' && native[0] <= u'Z') || (native[0] >= u'a' && native[0] <= u'z'));
    UnicodeString prefix = drivePath ? WinePrefix() : UnicodeString();
    if (prefix.empty()) {
        return native;
    }
    return prefix + u"/dosdevices/" + UnicodeString(1, LoCaseAscii(native[0])) + u":" + native.substr(2);
#endif
}

} // namespace rtl
