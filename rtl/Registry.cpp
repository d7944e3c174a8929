#include "rtl/Registry.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rtl {

namespace {

// A line of a section: a value (name=value) or any other text. Lines read keep their bytes as they
// were (raw, line end included), so that a write changes no byte of the lines it does not change.
struct StoreLine {
    bool isValue = false;
    UnicodeString name;
    UnicodeString value;
    std::string raw; // empty for a line made here
};

struct StoreSection {
    UnicodeString key;     // empty for the lines before the first section header
    std::string rawHeader; // the header line as read (for the first section: the byte-order mark, if any)
    std::vector<StoreLine> lines;
};

using Store = std::vector<StoreSection>;

// Stale temporaries are those of a write that ended with its process; one that old is stale anyway.
constexpr std::int64_t kStaleTemporaryAge = 300;
// How long a write waits for another process's write to finish before it fails.
constexpr auto kLockWait = std::chrono::seconds(10);

UnicodeString StoreFile(TRootKey root) {
    return CombinePath(TRegistry::StoreFolder(),
                       root == TRootKey::LocalMachine ? u"HKEY_LOCAL_MACHINE.ini" : u"HKEY_CURRENT_USER.ini");
}

// The text of a raw line without its line end.
std::string_view LineBody(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\n') {
        raw.remove_suffix(1);
    }
    if (!raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
    }
    return raw;
}

void ParseLine(Store& store, std::string raw) {
    // Names that are not UTF-8 convert back to the same bytes, as file names do.
    const UnicodeString line = NativeToString(LineBody(raw));
    UnicodeString trimmed = Trim(line);
    if (trimmed.size() >= 2 && trimmed.front() == u'[' && trimmed.back() == u']') {
        store.push_back(
            {TRegistry::NormaliseKey(UnicodeStringView(trimmed).substr(1, trimmed.size() - 2)), std::move(raw), {}});
        return;
    }
    StoreLine entry;
    size_t eq = trimmed.empty() ? UnicodeString::npos : line.find(u'=');
    if (eq == UnicodeString::npos) {
        entry.value = line;
    } else {
        entry.isValue = true;
        entry.name = line.substr(0, eq);
        entry.value = line.substr(eq + 1);
    }
    entry.raw = std::move(raw);
    store.back().lines.push_back(std::move(entry));
}

Store LoadStore(TRootKey root) {
    Store store(1);
    UnicodeString path = StoreFile(root);
    if (!FileExists(path)) {
        return store;
    }
    TBytes bytes = ReadAllBytes(path);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) {
        store[0].rawHeader = text.substr(0, 3);
        text.remove_prefix(3);
    }
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size() - 1);
        ParseLine(store, std::string(text.substr(0, end + 1)));
        text.remove_prefix(end + 1);
    }
    return store;
}

// Sets a value line's value; a line read keeps its name's bytes and its line end.
void SetLineValue(StoreLine& line, const UnicodeString& value) {
    line.value = value;
    if (line.raw.empty()) {
        return;
    }
    const std::string_view body = LineBody(line.raw);
    const std::string ending = line.raw.substr(body.size());
    line.raw = line.raw.substr(0, body.find('=') + 1) + StringToNative(value) + ending;
}

std::string SerialiseStore(const Store& store) {
    const size_t bom = store[0].rawHeader.size();
    std::string out = store[0].rawHeader;
    // A line made here follows a whole line, even after a last line that had no line end.
    auto endLine = [&out, bom] {
        if (out.size() > bom && out.back() != '\n') {
            out += '\n';
        }
    };
    for (size_t i = 0; i < store.size(); ++i) {
        const StoreSection& section = store[i];
        if (i > 0 && !section.rawHeader.empty()) {
            out += section.rawHeader;
        } else if (i > 0) {
            endLine();
            out += out.size() == bom ? "[" : "\n[";
            out += StringToNative(section.key) + "]\n";
        }
        for (const StoreLine& line : section.lines) {
            if (!line.raw.empty()) {
                out += line.raw;
                continue;
            }
            endLine();
            out += StringToNative(line.isValue ? line.name + u"=" + line.value : line.value) + "\n";
        }
    }
    return out;
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
    store.push_back({path, {}, {}});
    return store.back();
}

[[noreturn]] void RaiseLockFailure(const UnicodeString& lockFile, const UnicodeString& reason) {
    throw ERegistryError(u"Cannot lock the registry \"" + lockFile + u"\". " + reason);
}

// Serialises read-modify-write cycles of this process and, through flock, of other processes. A
// store held by another process for kLockWait fails the write rather than hanging the program.
class StoreWriteLock {
public:
    StoreWriteLock() : _guard(ProcessMutex(), std::defer_lock) {
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        UnicodeString folder = TRegistry::StoreFolder();
        UnicodeString lockFile = CombinePath(folder, u".lock");
        if (!_guard.try_lock_until(deadline)) {
            RaiseLockFailure(lockFile, u"Another write did not finish within 10 seconds.");
        }
        if (!ForceDirectories(folder)) {
            throw ERegistryError(u"Cannot create the registry folder \"" + folder + u"\"");
        }
        _fd = ::open(StringToNative(lockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (_fd < 0) {
            RaiseLockFailure(lockFile, Utf8ToString(std::strerror(errno)));
        }
        const int error = LockUntil(deadline);
        if (error != 0) {
            ::close(_fd);
            RaiseLockFailure(lockFile, error == EWOULDBLOCK ? u"Another program held it for 10 seconds."
                                                            : Utf8ToString(std::strerror(error)));
        }
    }
    ~StoreWriteLock() {
        ::close(_fd); // releases the flock
    }
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

private:
    static std::timed_mutex& ProcessMutex() {
        static std::timed_mutex m;
        return m;
    }
    // 0 once the flock is held, else the error; EWOULDBLOCK when the deadline passed.
    int LockUntil(std::chrono::steady_clock::time_point deadline) const {
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(_fd, LOCK_EX | LOCK_NB) == 0) {
                return 0;
            }
            if (errno == EINTR) {
                continue;
            }
            const auto now = std::chrono::steady_clock::now();
            if (errno != EWOULDBLOCK || now >= deadline) {
                return errno;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
    }
    std::unique_lock<std::timed_mutex> _guard;
    int _fd = -1;
};

void SetValueIn(StoreSection& section, const UnicodeString& name, const UnicodeString& value) {
    for (StoreLine& line : section.lines) {
        if (line.isValue && SameText(line.name, name)) {
            SetLineValue(line, value);
            return;
        }
    }
    section.lines.push_back({true, name, value, {}});
}

template <class Change> void ModifyStore(TRootKey root, Change change) {
    StoreWriteLock lock;
    // Under the lock no other write is under way: what a crashed one left can go.
    for (TRootKey each : {TRootKey::CurrentUser, TRootKey::LocalMachine}) {
        RemoveStaleTemporaries(StoreFile(each), kStaleTemporaryAge);
    }
    Store store = LoadStore(root);
    change(store);
    try {
        WriteFileAtomic(StoreFile(root), SerialiseStore(store));
    } catch (const EInOutError& e) {
        throw ERegistryError(u"Failed to write the registry: " + e.Message());
    }
}

} // namespace

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

bool TRegistry::OpenKey(const UnicodeString& key, bool canCreate) {
    UnicodeString path = _ResolveKey(key);
    if (_HasLineBreak(path)) {
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
    if (_HasLineBreak(path) || !KeyExistsIn(LoadStore(RootKey), path)) {
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
    return !_HasLineBreak(path) && KeyExistsIn(LoadStore(RootKey), path);
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

// One store write for all the values: each write costs a lock, a read and a synced replace of
// the whole store, which a window saving a dozen settings at close would otherwise pay a dozen times.
void TRegistry::WriteValues(const std::vector<std::pair<UnicodeString, UnicodeString>>& values) {
    _CheckWritable(values);
    if (values.empty()) {
        return;
    }
    const UnicodeString path = _szCurrentPath;
    ModifyStore(RootKey, [&](Store& store) {
        StoreSection& section = SectionFor(store, path);
        for (const auto& [name, value] : values) {
            SetValueIn(section, name, value);
        }
    });
}

void TRegistry::WriteInteger(const UnicodeString& name, int value) {
    WriteString(name, IntToStr(value));
}

} // namespace rtl
