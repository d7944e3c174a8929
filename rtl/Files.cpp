#include "rtl/Files.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

const char16_t PathDelim = u'/';

namespace {

// Names are bytes to the system; NativeToString turned any that are not UTF-8 into codes that
// convert back to the same bytes, so every listed name opens.
std::string Native(UnicodeStringView path) {
    return StringToNative(path);
}

bool IsDelim(char16_t c) {
    return c == u'/' || c == PathDelim;
}

// Our own error code beside errno's: the path names something other than a regular file.
constexpr int kNotRegularFile = -1;

UnicodeString SystemMessage(int error) {
    if (error == kNotRegularFile) {
        return u"It is not a regular file.";
    }
    return Utf8ToString(std::strerror(error));
}

// Flags of every open for reading: O_NONBLOCK so that a FIFO cannot stall the open itself; it is
// refused right after, and reads of regular files never block anyway.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

UnicodeString QuotedFailure(const char16_t* verb, const UnicodeString& name, int error) {
    return UnicodeString(verb) + u" \"" + name + u"\". " + SystemMessage(error);
}

UnicodeString TooLargeFailure(const UnicodeString& name, std::int64_t maxSize) {
    return u"Cannot read file \"" + name + u"\". It is too large (more than " + IntToStr(maxSize) +
           u" bytes).";
}

// d_type is not filled on every file system; fall back to stat, which also follows links.
bool EntryIsDir(int dirFd, const dirent64* e, bool& isRegular) {
    if (e->d_type == DT_DIR || e->d_type == DT_REG) {
        isRegular = e->d_type == DT_REG;
        return e->d_type == DT_DIR;
    }
    struct stat st {};
    if (::fstatat(dirFd, e->d_name, &st, 0) != 0) {
        isRegular = false;
        return false;
    }
    isRegular = S_ISREG(st.st_mode);
    return S_ISDIR(st.st_mode);
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Calls each(entry) for every entry of the open folder but "." and "..", read straight into a buffer
// on the stack: a dataset's many small folders would otherwise each cost a DIR allocation and the
// extra system calls of fdopendir. A read error ends the listing with what was read.
template <class Each> void ForEachEntry(int dirFd, const Each& each) {
    alignas(dirent64) char buffer[16384];
    for (;;) {
        const ssize_t n = ::getdents64(dirFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            at += e->d_reclen;
            if (!IsDotEntry(e->d_name) && !each(e)) {
                return;
            }
        }
    }
}

// The names of the folder's files, or of its subfolders, into names; its strings are reused.
void ReadEntries(int dirFd, bool wantDirs, std::vector<UnicodeString>& names) {
    std::size_t count = 0;
    ForEachEntry(dirFd, [&](const dirent64* e) {
        bool isRegular = false;
        const bool isDir = EntryIsDir(dirFd, e, isRegular);
        if (wantDirs ? isDir : isRegular) {
            if (count == names.size()) {
                names.emplace_back();
            }
            UnicodeString& name = names[count++];
            name.clear();
            AppendNativeAsString(name, e->d_name);
        }
        return true;
    });
    names.resize(count);
}

std::vector<UnicodeString> ReadEntries(int dirFd, bool wantDirs) {
    std::vector<UnicodeString> names;
    ReadEntries(dirFd, wantDirs, names);
    return names;
}

int OpenFolderAt(int parentFd, const char* name) {
    return ::openat(parentFd, name, O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC);
}

std::vector<UnicodeString> ListEntries(const UnicodeString& folder, bool wantDirs) {
    const int fd = OpenFolderAt(AT_FDCWD, Native(folder).c_str());
    if (fd < 0) {
        return {};
    }
    std::vector<UnicodeString> names = ReadEntries(fd, wantDirs);
    ::close(fd);
    return names;
}

// A file name in the system's form, converted into a buffer kept by the thread: names are converted
// for every file read through an open folder. Valid until the thread's next call.
const char* NativeName(UnicodeStringView name) {
    thread_local std::string buffer;
    buffer.clear();
    AppendStringAsNative(buffer, name);
    return buffer.c_str();
}

// The name of a file in messages: name inside folder, or folder itself when name is empty.
UnicodeString FilePath(const UnicodeString& folder, UnicodeStringView name) {
    return name.empty() ? folder : CombinePath(folder, name);
}

// fd when it names a regular file (st is filled), else -1 with errno set: a folder counts as a file
// that could not be opened (EISDIR), anything else that is no regular file as kNotRegularFile.
int RegularFileOrFail(int fd, struct stat& st) {
    if (fd < 0) {
        return fd;
    }
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error = kNotRegularFile;
    } else {
        return fd;
    }
    ::close(fd);
    errno = error;
    return -1;
}

// Reads the file open as fd, which fstat described as st, whole into bytes and closes it; false, with
// bytes empty, when it is larger than maxSize.
bool ReadDescribedFile(int fd, const struct stat& st, const UnicodeString& folder, UnicodeStringView name,
                       std::int64_t maxSize, std::string& bytes) {
    if (st.st_size > maxSize) {
        ::close(fd);
        bytes.clear();
        return false;
    }
    // The size from fstat is what is read: a file growing meanwhile is read as it was. The buffer's
    // old bytes are overwritten rather than cleared first, which would zero them all for nothing.
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != bytes.size()) {
        bytes.clear();
        throw EFOpenError(u"Cannot read file \"" + FilePath(folder, name) + u"\"");
    }
    return true;
}

// Reads the file open as fd whole into bytes and closes it; fd < 0 reports the failure in errno.
// folder and name make the file's name for messages.
bool ReadOpenedFile(int fd, const UnicodeString& folder, UnicodeStringView name, std::int64_t maxSize,
                    std::string& bytes) {
    struct stat st {};
    fd = RegularFileOrFail(fd, st);
    if (fd < 0) {
        const int error = errno;
        bytes.clear();
        throw EFOpenError(QuotedFailure(u"Cannot open file", FilePath(folder, name), error));
    }
    return ReadDescribedFile(fd, st, folder, name, maxSize, bytes);
}

TPathKind KindOfMode(mode_t mode) {
    return S_ISDIR(mode) ? TPathKind::pkDirectory : TPathKind::pkFile;
}

TPathKind KindOf(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 ? KindOfMode(st.st_mode) : TPathKind::pkNone;
}

// FindChildIgnoreCase; with kind, also what the result is. The lstat of the exact name already tells
// unless it is a link, and when it fails and no other spelling exists nothing exists to ask about.
UnicodeString FindChild(const UnicodeString& folder, const UnicodeString& name, TPathKind* kind) {
    UnicodeString exact = CombinePath(folder, name);
    const std::string nativeExact = Native(exact);
    struct stat st {};
    if (::lstat(nativeExact.c_str(), &st) == 0) {
        if (kind) {
            *kind = S_ISLNK(st.st_mode) ? KindOf(nativeExact) : KindOfMode(st.st_mode);
        }
        return exact;
    }
    if (kind) {
        *kind = TPathKind::pkNone;
    }
    const int dirFd = OpenFolderAt(AT_FDCWD, Native(folder.empty() ? UnicodeString(u".") : folder).c_str());
    if (dirFd < 0) {
        return exact;
    }
    UnicodeString found;
    ForEachEntry(dirFd, [&](const dirent64* e) {
        UnicodeString entry = NativeToString(e->d_name);
        if (!SameText(entry, name)) {
            return true;
        }
        found = std::move(entry);
        return false;
    });
    ::close(dirFd);
    if (found.empty()) {
        return exact;
    }
    UnicodeString result = CombinePath(folder, found);
    if (kind) {
        *kind = KindOf(Native(result));
    }
    return result;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// "PID-N" of a temporary that WriteFileAtomic names "<file>.tmp-PID-N"; false for anything else.
bool ParseTemporarySuffix(std::string_view suffix, pid_t& pid) {
    const size_t dash = suffix.find('-');
    auto number = [](std::string_view s) {
        return !s.empty() && s.size() <= 10 && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !number(suffix.substr(0, dash)) ||
        !number(suffix.substr(dash + 1))) {
        return false;
    }
    const long long value = std::stoll(std::string(suffix.substr(0, dash)));
    pid = value > INT32_MAX ? 0 : static_cast<pid_t>(value); // no process has a larger number
    return true;
}

// A process of another user answers EPERM: it runs all the same.
bool ProcessRunning(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

size_t LastDelim(UnicodeStringView path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsDelim(path[i - 1])) {
            return i - 1;
        }
    }
    return UnicodeStringView::npos;
}

// Index of the extension's dot, or npos when the file name has none.
size_t ExtDot(UnicodeStringView path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsDelim(path[i - 1])) {
            break;
        }
        if (path[i - 1] == u'.') {
            return i - 1;
        }
    }
    return UnicodeStringView::npos;
}

} // namespace

bool FileExists(const UnicodeString& path) {
    struct stat st {};
    return !path.empty() && ::stat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const UnicodeString& path) {
    struct stat st {};
    return !path.empty() && ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<UnicodeString> ListFiles(const UnicodeString& folder) {
    return ListEntries(folder, false);
}

std::vector<UnicodeString> ListDirectories(const UnicodeString& folder) {
    return ListEntries(folder, true);
}

UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name) {
    return FindChild(folder, name, nullptr);
}

UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name, TPathKind& kind) {
    return FindChild(folder, name, &kind);
}

TFileIdentity FileIdentity(const UnicodeString& path) {
    struct stat st {};
    if (path.empty() || ::stat(Native(path).c_str(), &st) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

TBytes ReadAllBytes(const UnicodeString& path, std::int64_t maxSize) {
    struct stat st {};
    const int fd = RegularFileOrFail(::open(Native(path).c_str(), kReadFlags), st);
    if (fd < 0) {
        throw EFOpenError(QuotedFailure(u"Cannot open file", path, errno));
    }
    TBytes bytes;
    bytes.reserve(static_cast<size_t>(std::clamp<std::int64_t>(st.st_size, 0, maxSize)));
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int error = errno;
            ::close(fd);
            throw EFOpenError(QuotedFailure(u"Cannot read file", path, error));
        }
        if (n == 0) {
            break;
        }
        // Counted as read, not from the size fstat gave: a file may grow while it is read.
        if (static_cast<std::int64_t>(bytes.size()) > maxSize - n) {
            ::close(fd);
            throw EFOpenError(TooLargeFailure(path, maxSize));
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return bytes;
}

bool ReadFileUpTo(const UnicodeString& path, std::int64_t maxSize, std::string& bytes) {
    return ReadOpenedFile(::open(Native(path).c_str(), kReadFlags), path, {}, maxSize, bytes);
}

TOpenFolder::TOpenFolder(const UnicodeString& path)
    : _szPath(path), _nFd(OpenFolderAt(AT_FDCWD, Native(path).c_str())) {}

TOpenFolder::TOpenFolder(const TOpenFolder& parent, const UnicodeString& name)
    : _szPath(parent.Path() + PathDelim + name),
      _nFd(parent.IsOpen() ? OpenFolderAt(parent._nFd, NativeName(name)) : -1) {}

TOpenFolder::~TOpenFolder() {
    if (_nFd >= 0) {
        ::close(_nFd);
    }
}

void TOpenFolder::_ListEntries(bool wantDirs, std::vector<UnicodeString>& names) const {
    if (_nFd < 0 || (_blListed && ::lseek(_nFd, 0, SEEK_SET) != 0)) {
        names.clear();
        return;
    }
    _blListed = true;
    ReadEntries(_nFd, wantDirs, names);
}

bool TOpenFolder::FileExists(UnicodeStringView relativePath) const {
    struct stat st {};
    return _nFd >= 0 && !relativePath.empty() && ::fstatat(_nFd, NativeName(relativePath), &st, 0) == 0 &&
           !S_ISDIR(st.st_mode);
}

bool TOpenFolder::ReadFileUpTo(UnicodeStringView name, std::int64_t maxSize, std::string& bytes) const {
    if (_nFd < 0) {
        errno = ENOENT;
        return ReadOpenedFile(-1, _szPath, name, maxSize, bytes);
    }
    return ReadOpenedFile(::openat(_nFd, NativeName(name), kReadFlags), _szPath, name, maxSize, bytes);
}

bool TOpenFolder::ReadFileIfExists(UnicodeStringView name, std::int64_t maxSize, std::string& bytes,
                                   bool& complete) const {
    complete = false;
    if (_nFd < 0) {
        bytes.clear();
        return false;
    }
    struct stat st {};
    const int fd = RegularFileOrFail(::openat(_nFd, NativeName(name), kReadFlags), st);
    if (fd < 0) {
        const int error = errno;
        bytes.clear();
        if (error == ENOENT || error == ENOTDIR || error == EISDIR) {
            return false;
        }
        throw EFOpenError(QuotedFailure(u"Cannot open file", CombinePath(_szPath, name), error));
    }
    complete = ReadDescribedFile(fd, st, _szPath, name, maxSize, bytes);
    return true;
}

void WriteFileAtomic(const UnicodeString& path, const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    std::string target = Native(path);
    std::string temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw EFCreateError(QuotedFailure(u"Cannot create file", path, errno));
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777); // keep the replaced file's permissions
    }
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    int error = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        throw EFCreateError(QuotedFailure(u"Cannot create file", path, error));
    }
    // Make the rename itself durable.
    std::string dirName = Native(ExtractFileDir(path));
    int dirFd = ::open(dirName.empty() ? "." : dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void RemoveStaleTemporaries(const UnicodeString& path, std::int64_t maxAgeSeconds) {
    const std::string folder = Native(ExtractFileDir(path));
    const int dirFd = OpenFolderAt(AT_FDCWD, folder.empty() ? "." : folder.c_str());
    if (dirFd < 0) {
        return;
    }
    const std::string prefix = Native(ExtractFileName(path)) + ".tmp-";
    const std::int64_t now = ::time(nullptr);
    ForEachEntry(dirFd, [&](const dirent64* e) {
        const std::string_view name(e->d_name);
        pid_t pid = 0;
        struct stat st {};
        if (name.starts_with(prefix) && ParseTemporarySuffix(name.substr(prefix.size()), pid) &&
            ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            (!ProcessRunning(pid) || now - st.st_mtime > maxAgeSeconds)) {
            ::unlinkat(dirFd, e->d_name, 0);
        }
        return true;
    });
    ::close(dirFd);
}

bool ForceDirectories(const UnicodeString& path) {
    UnicodeString dir = ExcludeTrailingPathDelimiter(path);
    if (dir.empty()) {
        return false;
    }
    if (DirectoryExists(dir)) {
        return true;
    }
    UnicodeString parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && !ForceDirectories(parent)) {
        return false;
    }
    return ::mkdir(Native(dir).c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

bool DeleteFile(const UnicodeString& path) {
    struct stat st {};
    std::string native = Native(path);
    return ::lstat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::unlink(native.c_str()) == 0;
}

bool RenameFile(const UnicodeString& from, const UnicodeString& to) {
    return ::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool CreateHardLink(const UnicodeString& existing, const UnicodeString& link) {
    return ::link(Native(existing).c_str(), Native(link).c_str()) == 0;
}

bool SetFileAside(const UnicodeString& file, const UnicodeString& aside) {
    // A running program's file may be replaced by a rename on POSIX: the old one keeps its name too.
    return CreateHardLink(file, aside);
}

bool ReplaceFileKeepingOld(const UnicodeString& file, const UnicodeString& replacement,
                           const UnicodeString& kept) {
    return CreateHardLink(file, kept) && RenameFile(replacement, file);
}

bool CanCreateFilesIn(const UnicodeString& folder) {
    static std::atomic<unsigned> counter{0};
    const std::string probe =
        Native(CombinePath(folder, u".write-probe-" + IntToStr(static_cast<std::int64_t>(::getpid())) + u"-" +
                                       IntToStr(++counter)));
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return ::unlink(probe.c_str()) == 0;
}

bool SyncToDisk(const UnicodeString& path) {
    int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool CopyFileMode(const UnicodeString& from, const UnicodeString& to) {
    struct stat st {};
    return ::stat(Native(from).c_str(), &st) == 0 && ::chmod(Native(to).c_str(), st.st_mode & 07777) == 0;
}

UnicodeString ExtractFileName(UnicodeStringView path) {
    size_t i = LastDelim(path);
    return UnicodeString(i == UnicodeStringView::npos ? path : path.substr(i + 1));
}

UnicodeString ExtractFilePath(UnicodeStringView path) {
    size_t i = LastDelim(path);
    return i == UnicodeStringView::npos ? UnicodeString() : UnicodeString(path.substr(0, i + 1));
}

UnicodeString ExtractFileDir(UnicodeStringView path) {
    size_t i = LastDelim(path);
    if (i == UnicodeStringView::npos) {
        return UnicodeString();
    }
    return UnicodeString(path.substr(0, i == 0 ? 1 : i)); // the root keeps its separator
}

UnicodeString ExtractFileExt(UnicodeStringView path) {
    size_t dot = ExtDot(path);
    return dot == UnicodeStringView::npos ? UnicodeString() : UnicodeString(path.substr(dot));
}

UnicodeString ChangeFileExt(UnicodeStringView path, UnicodeStringView ext) {
    size_t dot = ExtDot(path);
    UnicodeString result(dot == UnicodeStringView::npos ? path : path.substr(0, dot));
    result += ext;
    return result;
}

UnicodeString IncludeTrailingPathDelimiter(UnicodeStringView path) {
    UnicodeString result(path);
    if (result.empty() || !IsDelim(result.back())) {
        result += PathDelim;
    }
    return result;
}

UnicodeString ExcludeTrailingPathDelimiter(UnicodeStringView path) {
    UnicodeString result(path);
    if (result.size() > 1 && IsDelim(result.back())) {
        result.pop_back();
    }
    return result;
}

UnicodeString CombinePath(UnicodeStringView a, UnicodeStringView b) {
    if (a.empty()) {
        return UnicodeString(b);
    }
    if (b.empty()) {
        return UnicodeString(a);
    }
    while (a.size() > 1 && IsDelim(a.back())) {
        a.remove_suffix(1);
    }
    while (!b.empty() && IsDelim(b.front())) {
        b.remove_prefix(1);
    }
    UnicodeString result(a);
    if (!IsDelim(result.back())) {
        result += PathDelim;
    }
    result += b;
    return result;
}

UnicodeString GetCurrentDir() {
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return UnicodeString();
        }
        buffer.resize(buffer.size() * 2);
    }
    return NativeToString(buffer.c_str());
}

bool SetCurrentDir(const UnicodeString& dir) {
    return ::chdir(Native(dir).c_str()) == 0;
}

UnicodeString ExpandFileName(const UnicodeString& path) {
    if (path.empty()) {
        return path;
    }
    UnicodeString full = IsDelim(path.front()) ? path : CombinePath(GetCurrentDir(), path);
    // Resolve "." and ".." by name, as the path need not exist.
    std::vector<UnicodeString> parts;
    size_t start = 1;
    while (start <= full.size()) {
        size_t end = start;
        while (end < full.size() && !IsDelim(full[end])) {
            ++end;
        }
        UnicodeString part = full.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != u".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    UnicodeString result;
    for (const UnicodeString& part : parts) {
        result += PathDelim;
        result += part;
    }
    return result.empty() ? UnicodeString(1, PathDelim) : result;
}

namespace {

UnicodeString ReadOwnExeLink() {
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    return n > 0 ? NativeToString(std::string_view(buffer.data(), static_cast<size_t>(n))) : UnicodeString();
}

// The link follows the file when it is renamed or replaced (an update does both), so the name is
// read once, when the library loads, and kept.
const UnicodeString& StartupExeName() {
    static const UnicodeString name = ReadOwnExeLink();
    return name;
}

[[maybe_unused]] const bool g_blExeNameTaken = !StartupExeName().empty();

} // namespace

UnicodeString ApplicationExeName() {
    return StartupExeName();
}

UnicodeString GetEnvironmentVariable(const UnicodeString& name) {
    const char* value = std::getenv(Native(name).c_str());
    return value ? NativeToString(value) : UnicodeString();
}

} // namespace rtl
