#pragma once
// A temporary folder for tests, shared by every test library that writes files.
#include "rtl/UnicodeString.h"

#include <filesystem>
#include <string>

namespace orvitest {

/// A fresh empty folder under the system's temporary folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const noexcept { return _path; }
    /// The folder, or a path inside it, as the runtime's text.
    rtl::UnicodeString Text() const;
    rtl::UnicodeString Text(const std::filesystem::path& relative) const;

private:
    std::filesystem::path _path;
};

/// A path as the runtime's text.
rtl::UnicodeString ToText(const std::filesystem::path& path);

/// A file's bytes; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
/// Writes a file's bytes, making its folders first.
void WriteText(const std::filesystem::path& path, const std::string& text);

} // namespace orvitest
