#include "TempFolder.h"
#include "rtl/Files.h"
#include "rtl/KnownFolders.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

class KnownFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(_root / "home");
        ::setenv("HOME", (_root / "home").c_str(), 1);
        ::setenv("USER", "tester", 1);
        ::unsetenv("WINEPREFIX");
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_CACHE_HOME");
        ::unsetenv("TMPDIR");
    }
    UnicodeString Root() const { return Utf8ToString(_root.string()); }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
};

} // namespace

TEST_F(KnownFoldersTest, WindowsFoldersMapIntoTheWinePrefix) {
    ::setenv("WINEPREFIX", (_root / "prefix/").c_str(), 1);
    const UnicodeString c = Root() + u"/prefix/drive_c";
    EXPECT_EQ(WinePrefix(), Root() + u"/prefix");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::ProgramFiles), c + u"/Program Files");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::ProgramFilesX86), c + u"/Program Files (x86)");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::CommonProgramFiles), c + u"/Program Files/Common Files");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::CommonProgramFilesX86), c + u"/Program Files (x86)/Common Files");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::System), c + u"/windows/system32");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::SystemX86), c + u"/windows/syswow64");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Windows), c + u"/windows");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Public), c + u"/ProgramData");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::CommonDesktop), c + u"/users/Public/Desktop");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::SharedDocuments), c + u"/users/Public/Documents");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::SharedPictures), c + u"/users/Public/Pictures");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Profile), c + u"/users/tester");
}

TEST_F(KnownFoldersTest, DefaultPrefixOnlyWhenItExists) {
    EXPECT_EQ(WinePrefix(), u"");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::ProgramFilesX86), u"");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Public), u"");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Profile), u"");
    ::setenv("WINEPREFIX", "", 1); // empty counts as unset
    fs::create_directories(_root / "home/.wine");
    EXPECT_EQ(WinePrefix(), Root() + u"/home/.wine");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Windows), Root() + u"/home/.wine/drive_c/windows");
}

TEST_F(KnownFoldersTest, EverydayFoldersFollowXdg) {
    const UnicodeString home = Root() + u"/home";
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Home), home);
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Documents), home + u"/Documents");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Desktop), home + u"/Desktop");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Pictures), home + u"/Pictures");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Cache), home + u"/.cache");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Temp), u"/tmp");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Library), u"");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Camera), u"");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::SharedCamera), u"");

    ::setenv("TMPDIR", "/var/tmp/", 1);
    ::setenv("XDG_CACHE_HOME", "/c/cache", 1);
    ::setenv("XDG_CONFIG_HOME", (_root / "conf").c_str(), 1);
    fs::create_directories(_root / "conf");
    WriteFileAtomic(Root() + u"/conf/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                                      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                                      "XDG_DESKTOP_DIR=\"/srv/desk/\"\n");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Temp), u"/var/tmp");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Cache), u"/c/cache");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Documents), home + u"/Dokumente");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Desktop), u"/srv/desk");
    EXPECT_EQ(GetKnownFolder(TKnownFolder::Pictures), home + u"/Pictures");
}
