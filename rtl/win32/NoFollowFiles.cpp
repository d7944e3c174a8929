// The Windows side: every entry opened with FILE_FLAG_OPEN_REPARSE_POINT, so that a link or a
// junction is opened (and removed) as itself, and judged by the attributes of the open handle, not
// of the name. A folder being emptied is held open without delete sharing, which keeps it and the
// folders above it from being renamed or replaced while its entries are removed by name.
#include "rtl/NoFollowFiles.h"
#include "rtl/win32/Win32Support.h"
#include <algorithm>
#include <vector>

namespace rtl {

using win32::FromWide;
using win32::LongPath;
using win32::THandle;
using win32::Wide;

namespace {

// Deeper than any folder an install or a download makes; a deeper tree is not ours to walk.
constexpr int kMaxDepth = 64;
constexpr DWORD kOpenAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool IsDevice(const UnicodeString& longPath) {
    return longPath.rfind(u"\\\\.\\", 0) == 0;
}

bool Missing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens path itself (a link as the link) for removal; others may go on reading and writing it but
// not delete or rename it while it is open.
HANDLE OpenForRemoval(const UnicodeString& longPath) {
    return ::CreateFileW(Wide(longPath), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, kOpenAsItself, nullptr);
}

DWORD HandleAttributes(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(h, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool IsPlainFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Marks the open entry for removal when its last handle closes; a read-only entry loses that
// attribute first, as a POSIX unlink ignores it.
bool MarkForRemoval(HANDLE h, DWORD attributes) {
    FILE_DISPOSITION_INFO disposition{TRUE}; // its one member, which windows.h's macros rename
    if (::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED || !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    FILE_BASIC_INFO basic{};
    const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
    basic.FileAttributes = writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
           ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

bool RemoveContents(const UnicodeString& folder, int depth);

// Removes one entry of a folder being emptied: a plain folder with its contents, anything else
// (a file, a link, a junction) as itself.
bool RemoveEntry(const UnicodeString& path, int depth) {
    THandle h(OpenForRemoval(path));
    if (!h.Valid())
        return Missing(::GetLastError()); // gone meanwhile: nothing left to remove
    const DWORD attributes = HandleAttributes(h.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (IsPlainFolder(attributes) && (depth >= kMaxDepth || !RemoveContents(path, depth + 1)))
        return false;
    return MarkForRemoval(h.Get(), attributes);
}

// The names in the plain folder at path, read through a handle of its own (the caller holds the
// folder open for removal, so the name still leads to the same folder); false when it cannot be read.
bool ListEntries(const UnicodeString& path, std::vector<UnicodeString>& names) {
    THandle h(::CreateFileW(Wide(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            kOpenAsItself, nullptr));
    if (!h.Valid() || !IsPlainFolder(HandleAttributes(h.Get())))
        return false;
    std::vector<unsigned char> buffer(64 * 1024); // new's alignment suits the records
    while (::GetFileInformationByHandleEx(h.Get(), FileIdBothDirectoryInfo, buffer.data(),
                                          static_cast<DWORD>(buffer.size()))) {
        for (std::size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const UnicodeString name = FromWide(e->FileName, e->FileNameLength / sizeof(wchar_t));
            if (name != u"." && name != u"..")
                names.push_back(name);
            if (e->NextEntryOffset == 0)
                break;
            at += e->NextEntryOffset;
        }
    }
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

// Removes everything in folder (a long path, held open by the caller); true when all of it went.
bool RemoveContents(const UnicodeString& folder, int depth) {
    std::vector<UnicodeString> names;
    bool complete = ListEntries(folder, names);
    for (const UnicodeString& name : names)
        complete = RemoveEntry(folder + u"\\" + name, depth) && complete;
    return complete;
}

} // namespace

TEntryKind EntryKindNoFollow(const UnicodeString& path) {
    const UnicodeString lp = LongPath(path);
    if (path.empty())
        return TEntryKind::ekNone;
    if (IsDevice(lp))
        return TEntryKind::ekOther;
    const DWORD attributes = ::GetFileAttributesW(Wide(lp));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return TEntryKind::ekNone;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return TEntryKind::ekLink;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TEntryKind::ekDirectory : TEntryKind::ekFile;
}

TRemoveTreeResult RemoveFolderTree(const UnicodeString& folder) {
    const UnicodeString lp = LongPath(folder);
    if (folder.empty())
        return TRemoveTreeResult::rtAbsent;
    if (IsDevice(lp))
        return TRemoveTreeResult::rtForeign;
    THandle h(OpenForRemoval(lp));
    if (!h.Valid())
        return Missing(::GetLastError()) ? TRemoveTreeResult::rtAbsent : TRemoveTreeResult::rtIncomplete;
    const DWORD attributes = HandleAttributes(h.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return TRemoveTreeResult::rtIncomplete;
    if (!IsPlainFolder(attributes))
        return TRemoveTreeResult::rtForeign;
    // The folder itself goes when h closes, once every entry has gone.
    return RemoveContents(lp, 0) && MarkForRemoval(h.Get(), attributes) ? TRemoveTreeResult::rtRemoved
                                                                        : TRemoveTreeResult::rtIncomplete;
}

bool RemoveEmptyFolder(const UnicodeString& folder) {
    const UnicodeString lp = LongPath(folder);
    if (folder.empty() || IsDevice(lp))
        return false;
    THandle h(OpenForRemoval(lp));
    // Marking a folder that still has entries fails (ERROR_DIR_NOT_EMPTY).
    return h.Valid() && IsPlainFolder(HandleAttributes(h.Get())) && MarkForRemoval(h.Get(), 0);
}

bool AppendToFileNoFollow(const UnicodeString& path, std::string_view bytes) {
    const UnicodeString lp = LongPath(path);
    if (path.empty() || IsDevice(lp))
        return false;
    // Append access only: every write lands at the end, whoever else writes.
    THandle h(::CreateFileW(Wide(lp), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Valid() || ::GetFileType(h.Get()) != FILE_TYPE_DISK)
        return false;
    const DWORD attributes = HandleAttributes(h.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h.Get(), bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace rtl
