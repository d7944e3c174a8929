#include "rtl/Registry.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace rtl {

namespace {

// A line of a section: a value (name=value) or any other text, kept as it was.
struct StoreLine {
    bool isValue = false;
    UnicodeString name;
    UnicodeString value;
};

struct StoreSection {
    UnicodeString key; // empty for the lines before the first section header
    std::vector<StoreLine> lines;
};

using Store = std::vector<StoreSection>;

UnicodeString StoreFile(TRootKey root) {
    return CombinePath(TRegistry::StoreFolder(),
                       root == TRootKey::LocalMachine ? u"HKEY_LOCAL_MACHINE.ini" : u"HKEY_CURRENT_USER.ini");
}

bool HasLineBreak(UnicodeStringView s) {
    return s.find_first_of(u"\r\n") != UnicodeStringView::npos;
}

UnicodeString NormaliseKey(UnicodeStringView key) {
    while (!key.empty() && key.front() == u'\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == u'\\') {
        key.remove_suffix(1);
    }
    return UnicodeString(key);
}

void ParseLine(Store& store, UnicodeStringView line) {
    UnicodeString trimmed = Trim(line);
    if (trimmed.empty()) {
        return;
    }
    if (trimmed.front() == u'[' && trimmed.back() == u']' && trimmed.size() >= 2) {
        store.push_back({NormaliseKey(UnicodeStringView(trimmed).substr(1, trimmed.size() - 2)), {}});
        return;
    }
    StoreLine entry;
    size_t eq = line.find(u'=');
    if (eq == UnicodeStringView::npos) {
        entry.value = UnicodeString(line);
    } else {
        entry.isValue = true;
        entry.name = UnicodeString(line.substr(0, eq));
        entry.value = UnicodeString(line.substr(eq + 1));
    }
    store.back().lines.push_back(std::move(entry));
}

Store LoadStore(TRootKey root) {
    Store store(1);
    UnicodeString path = StoreFile(root);
    if (!FileExists(path)) {
        return store;
    }
    TBytes bytes = ReadAllBytes(path);
    std::string_view utf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF") {
        utf8.remove_prefix(3);
    }
    UnicodeString text = Utf8ToString(utf8);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == UnicodeString::npos) {
            end = text.size();
        }
        UnicodeStringView line(text.data() + start, end - start);
        if (!line.empty() && line.back() == u'\r') {
            line.remove_suffix(1);
        }
        ParseLine(store, line);
        start = end + 1;
    }
    return store;
}

std::string SerialiseStore(const Store& store) {
    UnicodeString text;
    for (size_t i = 0; i < store.size(); ++i) {
        const StoreSection& section = store[i];
        if (i > 0) {
            text += text.empty() ? u"[" : u"\n[";
            text += section.key + u"]\n";
        }
        for (const StoreLine& line : section.lines) {
            text += line.isValue ? line.name + u"=" + line.value : line.value;
            text += u'\n';
        }
    }
    return StringToUtf8(text);
}

bool KeyExistsIn(const Store& store, const UnicodeString& path) {
    if (path.empty()) {
        return true; // the root key
    }
    UnicodeString prefix = path + u"\\";
    for (size_t i = 1; i < store.size(); ++i) {
        if (SameText(store[i].key, path) || StartsText(prefix, store[i].key)) {
            return true;
        }
    }
    return false;
}

StoreSection& SectionFor(Store& store, const UnicodeString& path) {
    if (path.empty()) {
        return store[0];
    }
    for (size_t i = 1; i < store.size(); ++i) {
        if (SameText(store[i].key, path)) {
            return store[i];
        }
    }
    store.push_back({path, {}});
    return store.back();
}

// Serialises read-modify-write cycles of this process and, through flock, of other processes.
class StoreWriteLock {
public:
    StoreWriteLock() : _guard(ProcessMutex()) {
        UnicodeString folder = TRegistry::StoreFolder();
        if (!ForceDirectories(folder)) {
            throw ERegistryError(u"Cannot create the registry folder \"" + folder + u"\"");
        }
        _fd = ::open(StringToNative(CombinePath(folder, u".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (_fd >= 0) {
            ::flock(_fd, LOCK_EX);
        }
    }
    ~StoreWriteLock() {
        if (_fd >= 0) {
            ::close(_fd); // releases the flock
        }
    }
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

private:
    static std::mutex& ProcessMutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> _guard;
    int _fd = -1;
};

template <class Change> void ModifyStore(TRootKey root, Change change) {
    StoreWriteLock lock;
    Store store = LoadStore(root);
    change(store);
    try {
        WriteFileAtomic(StoreFile(root), SerialiseStore(store));
    } catch (const EInOutError& e) {
        throw ERegistryError(u"Failed to write the registry: " + e.Message());
    }
}

} // namespace

TRegistry::TRegistry(bool readOnly) : _blReadOnly(readOnly) {}

TRegistry::~TRegistry() {
    CloseKey();
}

UnicodeString TRegistry::StoreFolder() {
    UnicodeString folder = GetEnvironmentVariable(u"VENTURO_MTD_REGISTRY");
    if (!folder.empty()) {
        return ExcludeTrailingPathDelimiter(folder);
    }
    UnicodeString config = GetEnvironmentVariable(u"XDG_CONFIG_HOME");
    if (config.empty() || config.front() != u'/') { // relative XDG paths are to be ignored
        config = CombinePath(GetEnvironmentVariable(u"HOME"), u".config");
    }
    return CombinePath(config, u"venturo-mtd/registry");
}

UnicodeString TRegistry::_ResolveKey(const UnicodeString& key) const {
    UnicodeString path = NormaliseKey(key);
    bool relative = key.empty() || key.front() != u'\\';
    if (relative && _blKeyOpen && !_szCurrentPath.empty()) {
        return path.empty() ? _szCurrentPath : _szCurrentPath + u"\\" + path;
    }
    return path;
}

bool TRegistry::OpenKey(const UnicodeString& key, bool canCreate) {
    UnicodeString path = _ResolveKey(key);
    if (HasLineBreak(path)) {
        return false;
    }
    if (!KeyExistsIn(LoadStore(RootKey), path)) {
        if (!canCreate || _blReadOnly) {
            return false;
        }
        ModifyStore(RootKey, [&path](Store& store) { SectionFor(store, path); });
    }
    CloseKey();
    _szCurrentPath = path;
    _blKeyOpen = true;
    _blKeyOpenForWrite = !_blReadOnly;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const UnicodeString& key) {
    UnicodeString path = _ResolveKey(key);
    if (HasLineBreak(path) || !KeyExistsIn(LoadStore(RootKey), path)) {
        return false;
    }
    CloseKey();
    _szCurrentPath = path;
    _blKeyOpen = true;
    _blKeyOpenForWrite = false;
    return true;
}

bool TRegistry::KeyExists(const UnicodeString& key) {
    UnicodeString path = _ResolveKey(key);
    return !HasLineBreak(path) && KeyExistsIn(LoadStore(RootKey), path);
}

bool TRegistry::_FindValue(const UnicodeString& name, UnicodeString& value) {
    Store store = LoadStore(RootKey);
    for (size_t i = 0; i < store.size(); ++i) {
        if (i == 0 ? !_szCurrentPath.empty() : !SameText(store[i].key, _szCurrentPath)) {
            continue;
        }
        for (const StoreLine& line : store[i].lines) {
            if (line.isValue && SameText(line.name, name)) {
                value = line.value;
                return true;
            }
        }
    }
    return false;
}

bool TRegistry::ValueExists(const UnicodeString& name) {
    UnicodeString value;
    return _FindValue(name, value);
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
    if (!_blKeyOpenForWrite) {
        throw ERegistryError(u"Failed to set data for '" + name + u"': no key is open for writing");
    }
    if (name.find(u'=') != UnicodeString::npos || HasLineBreak(name) || StartsText(u"[", TrimLeft(name)) ||
        HasLineBreak(value)) {
        throw ERegistryError(u"Failed to set data for '" + name + u"': invalid name or value");
    }
    const UnicodeString path = _szCurrentPath;
    ModifyStore(RootKey, [&](Store& store) {
        StoreSection& section = SectionFor(store, path);
        for (StoreLine& line : section.lines) {
            if (line.isValue && SameText(line.name, name)) {
                line.value = value;
                return;
            }
        }
        section.lines.push_back({true, name, value});
    });
}

void TRegistry::WriteInteger(const UnicodeString& name, int value) {
    WriteString(name, IntToStr(value));
}

void TRegistry::CloseKey() {
    _blKeyOpen = false;
    _blKeyOpenForWrite = false;
    _szCurrentPath.clear();
}

} // namespace rtl
