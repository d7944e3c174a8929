// Files on Windows: the wide-character API throughout, every path in its long form (see LongPath),
// files opened with all share modes so that a file Sage holds open can still be read, and only disk
// files read (a named pipe, a console or another device named like a data file is refused).
#include "rtl/Files.h"
#include "rtl/Exceptions.h"
#include "rtl/win32/Win32Support.h"
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace rtl {

const char16_t PathDelim = u'\\';

using win32::FromWide;
using win32::LongPath;
using win32::THandle;
using win32::Wide;

namespace {

bool IsDelim(char16_t c) {
    return c == u'/' || c == u'\\';
}

// Our own code beside the system's: the path names something other than a disk file.
constexpr DWORD kNotRegularFile = 0xE0000001;

UnicodeString Message(DWORD error) {
    return error == kNotRegularFile ? UnicodeString(u"It is not a regular file.") : win32::SystemMessage(error);
}

UnicodeString QuotedFailure(const char16_t* verb, const UnicodeString& name, DWORD error) {
    return UnicodeString(verb) + u" \"" + name + u"\". " + Message(error);
}

UnicodeString TooLargeFailure(const UnicodeString& name, std::int64_t maxSize) {
    return u"Cannot read file \"" + name + u"\". It is too large (more than " + IntToStr(maxSize) +
           u" bytes).";
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Attributes of what path names, reparse points followed; INVALID_FILE_ATTRIBUTES when it cannot be
// reached (a junction loop included).
DWORD Attributes(const UnicodeString& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    const UnicodeString lp = LongPath(path);
    // A device ("CON", "NUL", "COM1", a pipe: all "\\.\…" by now) is neither a file nor a folder.
    if (lp.rfind(u"\\\\.\\", 0) == 0)
        return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = ::GetFileAttributesW(Wide(lp));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return attributes;
    // A link or junction: what it leads to, as a handle opened through it finds.
    THandle h(::CreateFileW(Wide(lp), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || !::GetFileInformationByHandle(h.Get(), &info))
        return INVALID_FILE_ATTRIBUTES;
    return info.dwFileAttributes;
}

TPathKind KindOf(const UnicodeString& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return TPathKind::pkNone;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TPathKind::pkDirectory : TPathKind::pkFile;
}

// A reparse point listed in a folder is what it leads to: a junction or a folder link counts as a
// folder when it can be followed, a file link as a file.
bool EntryIsDir(const UnicodeString& folder, const WIN32_FIND_DATAW& e) {
    if (!(e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return KindOf(CombinePath(folder, FromWide(e.cFileName))) == TPathKind::pkDirectory;
}

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Calls each(entry) for every entry of folder but "." and ".."; false when it cannot be listed.
template <class Each> bool ForEachEntry(const UnicodeString& folder, const Each& each) {
    const UnicodeString pattern = LongPath(folder.empty() ? UnicodeString(u".") : folder) + u"\\*";
    WIN32_FIND_DATAW e{};
    HANDLE find = ::FindFirstFileExW(Wide(pattern), FindExInfoBasic, &e, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (!IsDotEntry(e.cFileName) && !each(e))
            break;
    } while (::FindNextFileW(find, &e));
    ::FindClose(find);
    return true;
}

void ReadEntries(const UnicodeString& folder, bool wantDirs, std::vector<UnicodeString>& names) {
    size_t count = 0;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        if (EntryIsDir(folder, e) == wantDirs) {
            if (count < names.size())
                names[count].assign(reinterpret_cast<const char16_t*>(e.cFileName));
            else
                names.push_back(FromWide(e.cFileName));
            ++count;
        }
        return true;
    });
    names.resize(count);
}

// The name of a file in messages: name inside folder, or folder itself when name is empty.
UnicodeString FilePath(const UnicodeString& folder, UnicodeStringView name) {
    return name.empty() ? folder : CombinePath(folder, name);
}

// Opens path for reading when it is a disk file that is no folder; otherwise an invalid handle and
// error says why. Named pipes, consoles and other devices are refused before anything is read.
HANDLE OpenRegularFile(const UnicodeString& path, DWORD& error, std::int64_t& size) {
    HANDLE h = ::CreateFileW(Wide(LongPath(path)), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return h;
    }
    // The standard information (size, folder or not) comes from the open file alone;
    // GetFileInformationByHandle would also ask for the volume's serial number and the file's name,
    // which under Wine cost several times the read itself.
    FILE_STANDARD_INFO info{};
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        error = kNotRegularFile;
    } else if (!::GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info)) {
        error = ::GetLastError();
    } else if (info.Directory) {
        error = ERROR_ACCESS_DENIED;
    } else {
        size = info.EndOfFile.QuadPart;
        return h;
    }
    ::CloseHandle(h);
    return INVALID_HANDLE_VALUE;
}

// Reads size bytes of the open file into bytes; false when fewer came.
bool ReadExactly(HANDLE h, std::string& bytes, std::int64_t size) {
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(h, bytes.data() + done, want, &n, nullptr) || n == 0)
            break;
        done += n;
    }
    return done == bytes.size();
}

// ReadFileUpTo of folder's file name (folder itself when name is empty). missingIsFalse: a file that
// does not exist (or is a folder) yields false instead of an error, and exists tells which.
bool ReadFileAt(const UnicodeString& folder, UnicodeStringView name, std::int64_t maxSize, std::string& bytes,
                bool missingIsFalse, bool& exists) {
    const UnicodeString path = FilePath(folder, name);
    DWORD error = 0;
    std::int64_t size = 0;
    THandle h(OpenRegularFile(path, error, size));
    exists = h.Valid();
    if (!h.Valid()) {
        bytes.clear();
        if (missingIsFalse && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                               (error == ERROR_ACCESS_DENIED && KindOf(path) == TPathKind::pkDirectory)))
            return false;
        throw EFOpenError(QuotedFailure(u"Cannot open file", path, error));
    }
    if (size > maxSize) {
        bytes.clear();
        return false;
    }
    if (!ReadExactly(h.Get(), bytes, size)) {
        bytes.clear();
        throw EFOpenError(u"Cannot read file \"" + path + u"\"");
    }
    return true;
}

// "PID-N" of a temporary that WriteFileAtomic names "<file>.tmp-PID-N"; false for anything else.
bool ParseTemporarySuffix(UnicodeStringView suffix, DWORD& pid) {
    const size_t dash = suffix.find(u'-');
    auto number = [](UnicodeStringView s) {
        return !s.empty() && s.size() <= 10 &&
               std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
    };
    if (dash == UnicodeStringView::npos || !number(suffix.substr(0, dash)) || !number(suffix.substr(dash + 1)))
        return false;
    std::uint64_t value = 0;
    for (char16_t c : suffix.substr(0, dash))
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    pid = value > UINT32_MAX ? 0 : static_cast<DWORD>(value);
    return true;
}

// A process that cannot be opened for another user's sake still runs.
bool ProcessRunning(DWORD pid) {
    if (pid == 0)
        return false;
    THandle h(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!h.Valid())
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    return ::WaitForSingleObject(h.Get(), 0) == WAIT_TIMEOUT;
}

std::int64_t SecondsSince(const FILETIME& time) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(time)) / 10000000;
}

size_t LastDelim(UnicodeStringView path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsDelim(path[i - 1]))
            return i - 1;
    }
    return UnicodeStringView::npos;
}

// Index of the extension's dot, or npos when the file name has none.
size_t ExtDot(UnicodeStringView path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsDelim(path[i - 1]) || path[i - 1] == u':')
            break;
        if (path[i - 1] == u'.')
            return i - 1;
    }
    return UnicodeStringView::npos;
}

// Length of the root a path starts with: "C:\" (3), "C:" (2), "\\server\share\" or a leading "\"
// (1); 0 for a relative path.
size_t RootLength(UnicodeStringView path) {
    if (path.size() >= 2 && path[1] == u':')
        return path.size() >= 3 && IsDelim(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsDelim(path[0]) && IsDelim(path[1])) {
        size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsDelim(path[at]))
                ++at;
            if (at < path.size())
                ++at;
        }
        return at;
    }
    return !path.empty() && IsDelim(path[0]) ? 1 : 0;
}

} // namespace

bool FileExists(const UnicodeString& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const UnicodeString& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<UnicodeString> ListFiles(const UnicodeString& folder) {
    std::vector<UnicodeString> names;
    ReadEntries(folder, false, names);
    return names;
}

std::vector<UnicodeString> ListDirectories(const UnicodeString& folder) {
    std::vector<UnicodeString> names;
    ReadEntries(folder, true, names);
    return names;
}

UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name) {
    TPathKind kind;
    return FindChildIgnoreCase(folder, name, kind);
}

// Windows' own file systems ignore case already; a case-sensitive folder (or a share of one) is
// listed, as on POSIX.
UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name, TPathKind& kind) {
    UnicodeString exact = CombinePath(folder, name);
    kind = KindOf(exact);
    if (kind != TPathKind::pkNone)
        return exact;
    UnicodeString found;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        UnicodeString entry = FromWide(e.cFileName);
        if (!SameText(entry, name))
            return true;
        found = std::move(entry);
        return false;
    });
    if (found.empty())
        return exact;
    UnicodeString result = CombinePath(folder, found);
    kind = KindOf(result);
    return result;
}

// Volume serial number and file index: one value for every path that reaches the file, through
// junctions, links, short names or a share's other spelling.
TFileIdentity FileIdentity(const UnicodeString& path) {
    if (path.empty())
        return {};
    THandle h(::CreateFileW(Wide(LongPath(path)), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || !::GetFileInformationByHandle(h.Get(), &info))
        return {};
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
}

TBytes ReadAllBytes(const UnicodeString& path, std::int64_t maxSize) {
    DWORD error = 0;
    std::int64_t size = 0;
    THandle h(OpenRegularFile(path, error, size));
    if (!h.Valid())
        throw EFOpenError(QuotedFailure(u"Cannot open file", path, error));
    TBytes bytes;
    bytes.reserve(static_cast<size_t>(std::clamp<std::int64_t>(size, 0, maxSize)));
    std::uint8_t chunk[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.Get(), chunk, sizeof chunk, &n, nullptr))
            throw EFOpenError(QuotedFailure(u"Cannot read file", path, ::GetLastError()));
        if (n == 0)
            break;
        // Counted as read: a file may grow while it is read.
        if (static_cast<std::int64_t>(bytes.size()) > maxSize - static_cast<std::int64_t>(n))
            throw EFOpenError(TooLargeFailure(path, maxSize));
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

bool ReadFileUpTo(const UnicodeString& path, std::int64_t maxSize, std::string& bytes) {
    bool exists = false;
    return ReadFileAt(path, {}, maxSize, bytes, false, exists);
}

// Windows has no handle through which files are opened relative to a folder; an open folder is its
// path, checked once, and _nFd only tells that the check passed (0) or failed (-1).
TOpenFolder::TOpenFolder(const UnicodeString& path) : _szPath(path), _nFd(DirectoryExists(path) ? 0 : -1) {}

TOpenFolder::TOpenFolder(const TOpenFolder& parent, const UnicodeString& name)
    : _szPath(parent.Path() + PathDelim + name),
      _nFd(parent.IsOpen() && DirectoryExists(parent.Path() + PathDelim + name) ? 0 : -1) {}

TOpenFolder::~TOpenFolder() = default;

void TOpenFolder::_ListEntries(bool wantDirs, std::vector<UnicodeString>& names) const {
    if (_nFd < 0) {
        names.clear();
        return;
    }
    _blListed = true;
    ReadEntries(_szPath, wantDirs, names);
}

bool TOpenFolder::FileExists(UnicodeStringView relativePath) const {
    return _nFd >= 0 && !relativePath.empty() && rtl::FileExists(CombinePath(_szPath, relativePath));
}

bool TOpenFolder::ReadFileUpTo(UnicodeStringView name, std::int64_t maxSize, std::string& bytes) const {
    if (_nFd < 0) {
        bytes.clear();
        throw EFOpenError(QuotedFailure(u"Cannot open file", FilePath(_szPath, name), ERROR_PATH_NOT_FOUND));
    }
    bool exists = false;
    return ReadFileAt(_szPath, name, maxSize, bytes, false, exists);
}

bool TOpenFolder::ReadFileIfExists(UnicodeStringView name, std::int64_t maxSize, std::string& bytes,
                                   bool& complete) const {
    complete = false;
    if (_nFd < 0) {
        bytes.clear();
        return false;
    }
    bool exists = false;
    complete = ReadFileAt(_szPath, name, maxSize, bytes, true, exists);
    return exists;
}

void WriteFileAtomic(const UnicodeString& path, const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    const UnicodeString temp = path + u".tmp-" + IntToStr(::GetCurrentProcessId()) + u"-" + IntToStr(++counter);
    const UnicodeString longTemp = LongPath(temp);
    THandle h(::CreateFileW(Wide(longTemp), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid())
        throw EFCreateError(QuotedFailure(u"Cannot create file", path, ::GetLastError()));
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        ok = ::WriteFile(h.Get(), bytes.data() + done, want, &n, nullptr) && n > 0;
        done += n;
    }
    ok = ok && ::FlushFileBuffers(h.Get());
    DWORD error = ok ? 0 : ::GetLastError();
    h.Close();
    // The replaced file's read-only mark is kept, as POSIX keeps its permissions.
    const DWORD old = ::GetFileAttributesW(Wide(LongPath(path)));
    if (ok && old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(Wide(LongPath(path)), old & ~FILE_ATTRIBUTE_READONLY);
    }
    if (ok && !::MoveFileExW(Wide(longTemp), Wide(LongPath(path)), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        ok = false;
    }
    if (ok && old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY)) {
        ::SetFileAttributesW(Wide(LongPath(path)), old);
    }
    if (!ok) {
        ::DeleteFileW(Wide(longTemp));
        throw EFCreateError(QuotedFailure(u"Cannot create file", path, error));
    }
}

void RemoveStaleTemporaries(const UnicodeString& path, std::int64_t maxAgeSeconds) {
    const UnicodeString folder = ExtractFileDir(path);
    const UnicodeString prefix = ExtractFileName(path) + u".tmp-";
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        const UnicodeString name = FromWide(e.cFileName);
        DWORD pid = 0;
        if (name.starts_with(prefix) && ParseTemporarySuffix(UnicodeStringView(name).substr(prefix.size()), pid) &&
            !(e.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            (!ProcessRunning(pid) || SecondsSince(e.ftLastWriteTime) > maxAgeSeconds)) {
            ::DeleteFileW(Wide(LongPath(CombinePath(folder, name))));
        }
        return true;
    });
}

bool ForceDirectories(const UnicodeString& path) {
    UnicodeString dir = ExcludeTrailingPathDelimiter(path);
    if (dir.empty())
        return false;
    if (DirectoryExists(dir))
        return true;
    UnicodeString parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir && RootLength(dir) < dir.size() && !ForceDirectories(parent))
        return false;
    return ::CreateDirectoryW(Wide(LongPath(dir)), nullptr) ||
           (::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(dir));
}

bool DeleteFile(const UnicodeString& path) {
    const UnicodeString lp = LongPath(path);
    const DWORD attributes = ::GetFileAttributesW(Wide(lp));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           ::DeleteFileW(Wide(lp));
}

bool RenameFile(const UnicodeString& from, const UnicodeString& to) {
    return ::MoveFileExW(Wide(LongPath(from)), Wide(LongPath(to)),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// A running program and its loaded libraries are mapped with delete sharing: they may be renamed,
// never overwritten or deleted.
bool SetFileAside(const UnicodeString& file, const UnicodeString& aside) {
    return ::MoveFileExW(Wide(LongPath(file)), Wide(LongPath(aside)), MOVEFILE_WRITE_THROUGH);
}

// ReplaceFileW renames the old file to kept and the replacement to file inside one call, so no step
// of ours ever leaves file's name free, and it works on a running program or a loaded library where
// a rename over it does not. It takes no write-through flag: the new file is flushed afterwards. A
// file system that refuses it gets the two renames; a call that did only its first one (the old
// file at kept, replacement where it was) is finished with the second.
bool ReplaceFileKeepingOld(const UnicodeString& file, const UnicodeString& replacement, const UnicodeString& kept) {
    if (::ReplaceFileW(Wide(LongPath(file)), Wide(LongPath(replacement)), Wide(LongPath(kept)),
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
        SyncToDisk(file);
        return true;
    }
    if (FileExists(file) && !SetFileAside(file, kept))
        return false;
    return RenameFile(replacement, file);
}

// Removed by the system when the handle closes, so nothing is left even if the process dies here.
bool CanCreateFilesIn(const UnicodeString& folder) {
    static std::atomic<unsigned> counter{0};
    const UnicodeString name = u".write-probe-" + IntToStr(::GetCurrentProcessId()) + u"-" + IntToStr(++counter);
    const UnicodeString probe = CombinePath(folder, name);
    const DWORD flags = FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE;
    THandle h(::CreateFileW(Wide(LongPath(probe)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr));
    return h.Valid();
}

bool CreateHardLink(const UnicodeString& existing, const UnicodeString& link) {
    return ::CreateHardLinkW(Wide(LongPath(link)), Wide(LongPath(existing)), nullptr);
}

// A folder's names are made durable by the file system's journal (NTFS logs every rename, and the
// renames here ask for write-through); a file's data is flushed.
bool SyncToDisk(const UnicodeString& path) {
    const UnicodeString lp = LongPath(path);
    const DWORD attributes = ::GetFileAttributesW(Wide(lp));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return true;
    THandle h(::CreateFileW(Wide(lp), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    return h.Valid() && ::FlushFileBuffers(h.Get());
}

// Windows files carry a read-only mark where POSIX ones carry permission bits.
bool CopyFileMode(const UnicodeString& from, const UnicodeString& to) {
    const DWORD source = ::GetFileAttributesW(Wide(LongPath(from)));
    const DWORD target = ::GetFileAttributesW(Wide(LongPath(to)));
    if (source == INVALID_FILE_ATTRIBUTES || target == INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD mode = (target & ~FILE_ATTRIBUTE_READONLY) | (source & FILE_ATTRIBUTE_READONLY);
    return ::SetFileAttributesW(Wide(LongPath(to)), mode == 0 ? FILE_ATTRIBUTE_NORMAL : mode);
}

UnicodeString ExtractFileName(UnicodeStringView path) {
    size_t i = LastDelim(path);
    if (i == UnicodeStringView::npos && path.size() >= 2 && path[1] == u':')
        return UnicodeString(path.substr(2));
    return UnicodeString(i == UnicodeStringView::npos ? path : path.substr(i + 1));
}

UnicodeString ExtractFilePath(UnicodeStringView path) {
    size_t i = LastDelim(path);
    if (i == UnicodeStringView::npos)
        return path.size() >= 2 && path[1] == u':' ? UnicodeString(path.substr(0, 2)) : UnicodeString();
    return UnicodeString(path.substr(0, i + 1));
}

UnicodeString ExtractFileDir(UnicodeStringView path) {
    size_t i = LastDelim(path);
    if (i == UnicodeStringView::npos)
        return path.size() >= 2 && path[1] == u':' ? UnicodeString(path.substr(0, 2)) : UnicodeString();
    const size_t root = RootLength(path);
    return UnicodeString(path.substr(0, i + 1 <= root ? std::min(root, i + 1) : i)); // a root keeps its separator
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
    if (result.empty() || !IsDelim(result.back()))
        result += PathDelim;
    return result;
}

UnicodeString ExcludeTrailingPathDelimiter(UnicodeStringView path) {
    UnicodeString result(path);
    if (result.size() > 1 && IsDelim(result.back()) && RootLength(result) < result.size())
        result.pop_back();
    return result;
}

UnicodeString CombinePath(UnicodeStringView a, UnicodeStringView b) {
    if (a.empty())
        return UnicodeString(b);
    if (b.empty())
        return UnicodeString(a);
    while (a.size() > 1 && IsDelim(a.back()))
        a.remove_suffix(1);
    while (!b.empty() && IsDelim(b.front()))
        b.remove_prefix(1);
    UnicodeString result(a);
    if (!IsDelim(result.back()) && !(result.size() == 2 && result[1] == u':'))
        result += PathDelim;
    result += b;
    return result;
}

UnicodeString GetCurrentDir() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(size, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(size, buffer.data());
    return n == 0 || n >= size ? UnicodeString() : FromWide(buffer.data(), n);
}

bool SetCurrentDir(const UnicodeString& dir) {
    return ::SetCurrentDirectoryW(Wide(dir));
}

UnicodeString ExpandFileName(const UnicodeString& path) {
    if (path.empty())
        return path;
    const DWORD size = ::GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD n = ::GetFullPathNameW(Wide(path), size, full.data(), nullptr);
    return n == 0 || n >= size ? path : FromWide(full.data(), n);
}

namespace {

UnicodeString ModuleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return UnicodeString();
        if (n < buffer.size())
            return FromWide(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// Read once, when the library loads: an update renames the running file, and the restart needs the
// path the program was started by.
const UnicodeString& StartupExeName() {
    static const UnicodeString name = ModuleFileName();
    return name;
}

[[maybe_unused]] const bool g_blExeNameTaken = !StartupExeName().empty();

} // namespace

UnicodeString ApplicationExeName() {
    return StartupExeName();
}

UnicodeString GetEnvironmentVariable(const UnicodeString& name) {
    const DWORD size = ::GetEnvironmentVariableW(Wide(name), nullptr, 0);
    if (size == 0)
        return UnicodeString();
    std::wstring buffer(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(Wide(name), buffer.data(), size);
    return n == 0 || n >= size ? UnicodeString() : FromWide(buffer.data(), n);
}

} // namespace rtl
