// The POSIX side: O_NOFOLLOW opens and *at calls relative to folder handles.
#include "rtl/NoFollowFiles.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Deeper than any folder an install or a download makes; a deeper tree is not ours to walk.
constexpr int kMaxDepth = 64;

class TFd {
public:
    explicit TFd(int fd) : _fd(fd) {}
    ~TFd() {
        if (_fd >= 0) {
            ::close(_fd);
        }
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return _fd; }

private:
    int _fd;
};

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Removes everything in the open folder dirFd; true when all of it went.
bool RemoveContents(int dirFd, int depth) {
    int listFd = ::dup(dirFd);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0) {
            ::close(listFd);
        }
        return false;
    }
    bool complete = true;
    while (dirent* e = ::readdir(dir)) {
        if (IsDotEntry(e->d_name)) {
            continue;
        }
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            complete = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            TFd child(depth < kMaxDepth ? ::openat(dirFd, e->d_name, kFolderFlags) : -1);
            complete = child.Get() >= 0 && RemoveContents(child.Get(), depth + 1) &&
                       ::unlinkat(dirFd, e->d_name, AT_REMOVEDIR) == 0 && complete;
        } else if (::unlinkat(dirFd, e->d_name, 0) != 0) {
            complete = false; // a link is removed here as itself
        }
    }
    ::closedir(dir);
    return complete;
}

} // namespace

TEntryKind EntryKindNoFollow(const UnicodeString& path) {
    struct stat st {};
    if (::lstat(StringToNative(path).c_str(), &st) != 0) {
        return TEntryKind::ekNone;
    }
    if (S_ISLNK(st.st_mode)) {
        return TEntryKind::ekLink;
    }
    if (S_ISDIR(st.st_mode)) {
        return TEntryKind::ekDirectory;
    }
    return S_ISREG(st.st_mode) ? TEntryKind::ekFile : TEntryKind::ekOther;
}

TRemoveTreeResult RemoveFolderTree(const UnicodeString& folder) {
    std::string native = StringToNative(folder);
    TFd fd(::open(native.c_str(), kFolderFlags));
    if (fd.Get() < 0) {
        if (errno == ENOENT) {
            return TRemoveTreeResult::rtAbsent;
        }
        return errno == ELOOP || errno == ENOTDIR ? TRemoveTreeResult::rtForeign
                                                  : TRemoveTreeResult::rtIncomplete;
    }
    bool complete = RemoveContents(fd.Get(), 0);
    // rmdir never follows a link: had the name been swapped for one meanwhile, it fails.
    return complete && ::rmdir(native.c_str()) == 0 ? TRemoveTreeResult::rtRemoved
                                                    : TRemoveTreeResult::rtIncomplete;
}

bool RemoveEmptyFolder(const UnicodeString& folder) {
    return ::rmdir(StringToNative(folder).c_str()) == 0;
}

bool AppendToFileNoFollow(const UnicodeString& path, std::string_view bytes) {
    TFd fd(::open(StringToNative(path).c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    while (!bytes.empty()) {
        ssize_t n = ::write(fd.Get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace rtl
