#pragma once
// Files and folders reached without following a symbolic link (on Windows, a reparse point): for
// the clean-up and the log of folders that someone else may have written to, where a planted link
// must never turn a removal or an append onto whatever it points at.
#include "RtlApi.h"
#include "UnicodeString.h"

#include <string_view>

namespace rtl {

/// What a path itself names, a link at its last part not followed.
enum class TEntryKind { ekNone, ekFile, ekDirectory, ekLink, ekOther };
RTL_API TEntryKind EntryKindNoFollow(const UnicodeString& path);

/// What RemoveFolderTree came to.
enum class TRemoveTreeResult {
    rtRemoved,    // the folder and everything in it are gone
    rtAbsent,     // nothing has that name
    rtForeign,    // a link, or something other than a folder, has the name: left as it is
    rtIncomplete, // something in it could not be removed (whatever could be, was)
};

/// Removes folder and everything in it. The folder is opened as a folder only, never through a
/// link, and its entries are removed relative to handles opened the same way, so a link inside is
/// removed as a link and nothing it points at is touched.
RTL_API TRemoveTreeResult RemoveFolderTree(const UnicodeString& folder);

/// Removes folder when it is an empty folder; a link of that name is never followed (false).
RTL_API bool RemoveEmptyFolder(const UnicodeString& folder);

/// Appends bytes to the regular file path, creating it (readable by its owner only) when missing.
/// A link, a FIFO or anything else that is no regular file at path is refused (false), never
/// written through; false too when the bytes cannot all be written.
RTL_API bool AppendToFileNoFollow(const UnicodeString& path, std::string_view bytes);

} // namespace rtl
