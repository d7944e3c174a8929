#include "rtl/KnownFolders.h"

#include "rtl/Files.h"

#include <pwd.h>
#include <string>
#include <unistd.h>

namespace rtl {

namespace {

UnicodeString Env(const char16_t* name) {
    return GetEnvironmentVariable(name);
}

UnicodeString HomeFolder() {
    UnicodeString home = Env(u"HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid())) {
            home = NativeToString(pw->pw_dir);
        }
    }
    return ExcludeTrailingPathDelimiter(home);
}

UnicodeString UserName() {
    UnicodeString user = Env(u"USER");
    if (user.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid())) {
            user = NativeToString(pw->pw_name);
        }
    }
    return user;
}

// An XDG base folder: the variable when it holds an absolute path, else the default below home.
UnicodeString XdgBase(const char16_t* variable, const char16_t* fallback) {
    UnicodeString value = Env(variable);
    if (!value.empty() && value.front() == u'/') {
        return ExcludeTrailingPathDelimiter(value);
    }
    return CombinePath(HomeFolder(), fallback);
}

// Looks up XDG_<key>_DIR in user-dirs.dirs; lines read XDG_DOCUMENTS_DIR="$HOME/Documents".
UnicodeString XdgUserDir(const char* key, const char16_t* fallback) {
    UnicodeString file = CombinePath(XdgBase(u"XDG_CONFIG_HOME", u".config"), u"user-dirs.dirs");
    std::string text;
    if (FileExists(file)) {
        try {
            TBytes bytes = ReadAllBytes(file);
            text.assign(bytes.begin(), bytes.end());
        } catch (const std::exception&) {
            text.clear();
        }
    }
    const std::string prefix = std::string("XDG_") + key + "_DIR=\"";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        size_t close = line.rfind('"');
        if (line.compare(0, prefix.size(), prefix) != 0 || close < prefix.size()) {
            continue;
        }
        std::string value = line.substr(prefix.size(), close - prefix.size());
        if (value.compare(0, 5, "$HOME") == 0) {
            return ExcludeTrailingPathDelimiter(HomeFolder() + NativeToString(value.substr(5)));
        }
        if (!value.empty() && value[0] == '/') {
            return ExcludeTrailingPathDelimiter(NativeToString(value));
        }
    }
    return CombinePath(HomeFolder(), fallback);
}

// The Windows folders, mapped into the prefix's drive_c; empty without a prefix.
UnicodeString InPrefix(const char16_t* relative) {
    UnicodeString prefix = WinePrefix();
    return prefix.empty() ? UnicodeString() : CombinePath(CombinePath(prefix, u"drive_c"), relative);
}

} // namespace

UnicodeString WinePrefix() {
    UnicodeString prefix = Env(u"WINEPREFIX");
    if (!prefix.empty()) {
        return ExcludeTrailingPathDelimiter(prefix);
    }
    UnicodeString home = HomeFolder();
    UnicodeString wine = CombinePath(home, u".wine");
    return !home.empty() && DirectoryExists(wine) ? wine : UnicodeString();
}

UnicodeString GetKnownFolder(TKnownFolder folder) {
    switch (folder) {
    case TKnownFolder::Public:
        return InPrefix(u"ProgramData");
    case TKnownFolder::Cache:
        return XdgBase(u"XDG_CACHE_HOME", u".cache");
    case TKnownFolder::SharedDocuments:
        return InPrefix(u"users/Public/Documents");
    case TKnownFolder::Documents:
        return XdgUserDir("DOCUMENTS", u"Documents");
    case TKnownFolder::Temp: {
        UnicodeString temp = Env(u"TMPDIR");
        return ExcludeTrailingPathDelimiter(temp.empty() ? UnicodeString(u"/tmp") : temp);
    }
    case TKnownFolder::Home:
        return HomeFolder();
    case TKnownFolder::Pictures:
        return XdgUserDir("PICTURES", u"Pictures");
    case TKnownFolder::SharedPictures:
        return InPrefix(u"users/Public/Pictures");
    case TKnownFolder::Library:
    case TKnownFolder::Camera:
    case TKnownFolder::SharedCamera:
        return UnicodeString();
    case TKnownFolder::ProgramFiles:
        return InPrefix(u"Program Files");
    case TKnownFolder::ProgramFilesX86:
        return InPrefix(u"Program Files (x86)");
    case TKnownFolder::CommonProgramFiles:
        return InPrefix(u"Program Files/Common Files");
    case TKnownFolder::CommonProgramFilesX86:
        return InPrefix(u"Program Files (x86)/Common Files");
    case TKnownFolder::System:
        return InPrefix(u"windows/system32");
    case TKnownFolder::SystemX86:
        return InPrefix(u"windows/syswow64");
    case TKnownFolder::CommonDesktop:
        return InPrefix(u"users/Public/Desktop");
    case TKnownFolder::Desktop:
        return XdgUserDir("DESKTOP", u"Desktop");
    case TKnownFolder::Profile: {
        UnicodeString user = UserName();
        return user.empty() ? UnicodeString() : InPrefix((u"users/" + user).c_str());
    }
    case TKnownFolder::Windows:
        return InPrefix(u"windows");
    }
    return UnicodeString();
}

} // namespace rtl
