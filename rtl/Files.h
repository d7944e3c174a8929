#pragma once
// File-system queries and path helpers. Paths are UTF-16 text; on POSIX they are passed to the
// system as UTF-8, and names that are not UTF-8 keep their bytes (NativeToString, StringToNative).
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rtl {

/// The platform's directory separator: '\\' on Windows, '/' elsewhere.
RTL_API extern const char16_t PathDelim;

RTL_API bool FileExists(const UnicodeString& path);
RTL_API bool DirectoryExists(const UnicodeString& path);
/// Names (not paths) of the regular files directly in folder, in the order the file system gives.
RTL_API std::vector<UnicodeString> ListFiles(const UnicodeString& folder);
/// Names of the subfolders directly in folder (without "." and ".."), in file-system order.
RTL_API std::vector<UnicodeString> ListDirectories(const UnicodeString& folder);
/// folder + separator + the existing child whose name equals name without regard to A..Z case
/// (an exact match preferred); folder + separator + name when there is none. Datasets copied from
/// Windows keep whatever letter case they had.
RTL_API UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name);
/// What a path names, links followed: nothing, a folder, or anything else (as FileExists counts it).
enum class TPathKind { pkNone, pkFile, pkDirectory };
/// FindChildIgnoreCase, also telling what the result names (what FileExists and DirectoryExists
/// would answer) without asking the file system again when the exact name is there and no link.
RTL_API UnicodeString FindChildIgnoreCase(const UnicodeString& folder, const UnicodeString& name,
                                          TPathKind& kind);

/// What makes a file or folder itself, whatever path reaches it (a symlink, "." levels, another
/// spelling): the device and inode on POSIX. An identity that could not be read equals nothing, not
/// even another unread one.
struct TFileIdentity {
    std::uint64_t Volume = 0;
    std::uint64_t File = 0;
    bool Known = false;

    friend bool operator==(const TFileIdentity& a, const TFileIdentity& b) noexcept {
        return a.Known && b.Known && a.Volume == b.Volume && a.File == b.File;
    }
};
/// The identity of what path names, links followed; not Known when it cannot be reached.
RTL_API TFileIdentity FileIdentity(const UnicodeString& path);

/// No cap on the size of a file read whole.
inline constexpr std::int64_t kNoSizeLimit = INT64_MAX;

// Every file is opened for reading without blocking and refused unless it is a regular file: a FIFO or
// a device named like a data file would otherwise stall the reader or feed it for ever.

/// Whole file; raises EFOpenError naming the file when it cannot be read, is not a regular file, or
/// holds more than maxSize bytes ("too large").
RTL_API TBytes ReadAllBytes(const UnicodeString& path, std::int64_t maxSize = kNoSizeLimit);
/// Whole file into bytes, read at once (open, size, one read); false, with bytes empty, when the file
/// is larger than maxSize. Raises EFOpenError naming the file when it cannot be read.
RTL_API bool ReadFileUpTo(const UnicodeString& path, std::int64_t maxSize, std::string& bytes);
/// A folder held open, so that its files are listed and read by name without the system resolving
/// the folder's whole path again for each of them.
class RTL_API TOpenFolder {
public:
    /// Opens the folder; IsOpen() is false when it cannot be read as one.
    explicit TOpenFolder(const UnicodeString& path);
    /// Opens the subfolder name of an open folder; its Path() is parent's path, separator and name.
    TOpenFolder(const TOpenFolder& parent, const UnicodeString& name);
    ~TOpenFolder();
    TOpenFolder(const TOpenFolder&) = delete;
    TOpenFolder& operator=(const TOpenFolder&) = delete;

    bool IsOpen() const noexcept { return _nFd >= 0; }
    const UnicodeString& Path() const noexcept { return _szPath; }
    /// ListFiles(Path()): empty when the folder is not open.
    std::vector<UnicodeString> ListFiles() const;
    /// ListFiles() into names, whose strings are reused: a caller listing many folders allocates
    /// only for names longer than those it had.
    void ListFiles(std::vector<UnicodeString>& names) const;
    /// ListDirectories(Path()): empty when the folder is not open.
    std::vector<UnicodeString> ListDirectories() const;
    /// FileExists for a path relative to the folder.
    bool FileExists(UnicodeStringView relativePath) const;
    /// ReadFileUpTo for a file name (or a path relative to the folder).
    bool ReadFileUpTo(UnicodeStringView name, std::int64_t maxSize, std::string& bytes) const;
    /// ReadFileUpTo that yields false, with bytes empty, when no file of that name exists (nothing, or a
    /// folder, at that path): asking first would cost a second look-up of the same path.
    bool ReadFileIfExists(UnicodeStringView name, std::int64_t maxSize, std::string& bytes,
                          bool& complete) const;

private:
    void _ListEntries(bool wantDirs, std::vector<UnicodeString>& names) const;

    UnicodeString _szPath;
    int _nFd;                       // the open folder, or -1
    mutable bool _blListed = false; // a second listing starts again from the first entry
};

/// Writes to a temporary file beside path, then renames it over path, so a crash never leaves a
/// half-written file. Raises EFCreateError on failure.
RTL_API void WriteFileAtomic(const UnicodeString& path, const std::string& bytes);
/// Removes the temporary files that WriteFileAtomic of path left behind when a process ended
/// mid-write: those of a process no longer running, and any older than maxAgeSeconds.
RTL_API void RemoveStaleTemporaries(const UnicodeString& path, std::int64_t maxAgeSeconds);
RTL_API bool ForceDirectories(const UnicodeString& path);
RTL_API bool DeleteFile(const UnicodeString& path);
RTL_API bool RenameFile(const UnicodeString& from, const UnicodeString& to);
/// A second name for an existing file (a hard link); false when it cannot be made or link exists.
RTL_API bool CreateHardLink(const UnicodeString& existing, const UnicodeString& link);
/// Gives file a second name, aside (which must not exist), so that a new file can then be renamed
/// into file's place while the old one runs or is loaded: on POSIX a hard link, file keeping its
/// name; on Windows, where a running program or a loaded library can be renamed but not replaced,
/// file is renamed to aside (write-through) and its name is free until the new one is renamed in.
/// False when it cannot be done.
RTL_API bool SetFileAside(const UnicodeString& file, const UnicodeString& aside);
/// Puts replacement in file's place and keeps the old file under the name kept (which must not
/// exist), so that file's name always holds a file, even while the old one runs or is loaded: on
/// POSIX kept is a second name (a hard link) and replacement is then renamed over file; on Windows,
/// where a running program or a loaded library cannot be replaced, one ReplaceFileW renames the old
/// file to kept and replacement to file, and only where the system refuses that call are the two
/// renames made one after the other. False when it cannot be done: file may then be missing, with
/// the old file at kept.
RTL_API bool ReplaceFileKeepingOld(const UnicodeString& file, const UnicodeString& replacement,
                                   const UnicodeString& kept);
/// True when the user may create files in folder: a file of a new name is created there and removed
/// again at once. A program folder installed for every user of the computer refuses other users.
RTL_API bool CanCreateFilesIn(const UnicodeString& folder);
/// Makes what was written to a file, or the names in a folder, durable; false when it cannot.
RTL_API bool SyncToDisk(const UnicodeString& path);
/// Gives the file to the permissions of the file from; false when either cannot be read or changed.
RTL_API bool CopyFileMode(const UnicodeString& from, const UnicodeString& to);

/// Text after the last separator ("/" or the platform's).
RTL_API UnicodeString ExtractFileName(UnicodeStringView path);
/// Text up to and including the last separator.
RTL_API UnicodeString ExtractFilePath(UnicodeStringView path);
/// Text before the last separator.
RTL_API UnicodeString ExtractFileDir(UnicodeStringView path);
RTL_API UnicodeString ExtractFileExt(UnicodeStringView path);
RTL_API UnicodeString ChangeFileExt(UnicodeStringView path, UnicodeStringView ext);
RTL_API UnicodeString IncludeTrailingPathDelimiter(UnicodeStringView path);
RTL_API UnicodeString ExcludeTrailingPathDelimiter(UnicodeStringView path);
/// Joins with exactly one platform separator between the parts.
RTL_API UnicodeString CombinePath(UnicodeStringView a, UnicodeStringView b);
RTL_API UnicodeString GetCurrentDir();
RTL_API bool SetCurrentDir(const UnicodeString& dir);
/// Absolute form of a relative path against the current directory.
RTL_API UnicodeString ExpandFileName(const UnicodeString& path);
/// The running program's full path as it was when the program started, even after its file was
/// renamed or replaced.
RTL_API UnicodeString ApplicationExeName();
RTL_API UnicodeString GetEnvironmentVariable(const UnicodeString& name);

} // namespace rtl
