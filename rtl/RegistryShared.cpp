// The part of TRegistry that is the same over the system registry and over the file store: key
// paths resolved against the open key, the checks a write makes, and reading through _FindValue.
#include "rtl/Registry.h"
#include "rtl/Exceptions.h"

namespace rtl {

UnicodeString TRegistry::NormaliseKey(UnicodeStringView key) {
    while (!key.empty() && key.front() == u'\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == u'\\') {
        key.remove_suffix(1);
    }
    return UnicodeString(key);
}

TRegistry::TRegistry(bool readOnly) : _blReadOnly(readOnly) {}

TRegistry::~TRegistry() {
    CloseKey();
}

bool TRegistry::_HasLineBreak(UnicodeStringView s) {
    return s.find_first_of(u"\r\n") != UnicodeStringView::npos;
}

UnicodeString TRegistry::_ResolveKey(const UnicodeString& key) const {
    UnicodeString path = NormaliseKey(key);
    bool relative = key.empty() || key.front() != u'\\';
    if (relative && _blKeyOpen && !_szCurrentPath.empty()) {
        return path.empty() ? _szCurrentPath : _szCurrentPath + u"\\" + path;
    }
    return path;
}

void TRegistry::_CheckWritable(const std::vector<std::pair<UnicodeString, UnicodeString>>& values) const {
    for (const auto& [name, value] : values) {
        if (!_blKeyOpenForWrite) {
            throw ERegistryError(u"Failed to set data for '" + name + u"': no key is open for writing");
        }
        if (name.find(u'=') != UnicodeString::npos || _HasLineBreak(name) ||
            StartsText(u"[", TrimLeft(name)) || _HasLineBreak(value)) {
            throw ERegistryError(u"Failed to set data for '" + name + u"': invalid name or value");
        }
    }
}

UnicodeString TRegistry::ReadString(const UnicodeString& name) {
    UnicodeString value;
    if (!_FindValue(name, value)) {
        throw ERegistryError(u"Value \"" + name + u"\" does not exist");
    }
    return value;
}

int TRegistry::ReadInteger(const UnicodeString& name) {
    int result = 0;
    if (!TryStrToInt(ReadString(name), result)) {
        throw ERegistryError(u"Invalid data type for '" + name + u"'");
    }
    return result;
}

void TRegistry::WriteString(const UnicodeString& name, const UnicodeString& value) {
    WriteValues({{name, value}});
}

void TRegistry::CloseKey() {
    _blKeyOpen = false;
    _blKeyOpenForWrite = false;
    _szCurrentPath.clear();
}

} // namespace rtl
