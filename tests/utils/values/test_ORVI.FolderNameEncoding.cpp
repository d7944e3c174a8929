#include "utils/values/ORVI.FolderNameEncoding.h"

#include "rtl/Files.h"
#include "rtl/KnownFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace orvi;
using rtl::UnicodeString;

namespace {

// Taken while the test program starts, after the library's load registered its table.
const UnicodeString g_szTempAtLoad = ExpandFolderName(u"{:Temp:}");
const UnicodeString g_szAppNameAtLoad = ExpandFolderName(u"{:AppName:}");
const UnicodeString g_szAppFolderAtLoad = ExpandFolderName(u"{:AppFolder:}");

/// The platform's form of a path written with "/".
UnicodeString P(const char16_t* szPath) {
    UnicodeString path = szPath;
    for (char16_t& c : path)
        if (c == u'/')
            c = rtl::PathDelim;
    return path;
}

/// Each test starts with no macro registered.
class FolderNameEncoding : public ::testing::Test {
protected:
    void SetUp() override { ORVIReleaseFolderNameEncodings(); }
    void TearDown() override { ORVIReleaseFolderNameEncodings(); }
};

} // namespace

TEST(FolderNameEncodingAtLoad, EverydayFoldersAndTheProgramAreRegistered) {
    EXPECT_EQ(g_szTempAtLoad, rtl::GetKnownFolder(rtl::TKnownFolder::Temp));
    const UnicodeString exe = rtl::ApplicationExeName();
    EXPECT_EQ(g_szAppNameAtLoad, rtl::ChangeFileExt(rtl::ExtractFileName(exe), u""));
    EXPECT_EQ(g_szAppFolderAtLoad, rtl::ExtractFileDir(exe));
}

TEST_F(FolderNameEncoding, WithoutRegistrationsTextOnlyGetsItsSeparators) {
    EXPECT_EQ(ExpandFolderName(u""), u"");
    EXPECT_EQ(ExpandFolderName(u"{:Temp:}/a\\b"), P(u"{:Temp:}/a/b"));
    EXPECT_EQ(EncodeFolderName(u"/tmp\\x/"), P(u"/tmp/x/"));
    EXPECT_EQ(ExpandFolderName(u"\""), u"\""); // a lone quote is not a quoted empty name
}

TEST_F(FolderNameEncoding, FolderMacroExpandsOnlyAtTheStartBeforeASeparator) {
    RegisterFolderNameEncoding(P(u"/opt/Program Files"), u"{:ProgramFiles:}");
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFiles:}\\Sage\\Line 50"), P(u"/opt/Program Files/Sage/Line 50"));
    EXPECT_EQ(ExpandFolderName(u"{:programfiles:}/Sage"), P(u"/opt/Program Files/Sage"));
    EXPECT_EQ(ExpandFolderName(u"{:PROGRAMFILES:}"), P(u"/opt/Program Files"));
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFiles:}Sage"), u"{:ProgramFiles:}Sage");
    EXPECT_EQ(ExpandFolderName(u"C:/{:ProgramFiles:}"), P(u"C:/{:ProgramFiles:}"));
    EXPECT_EQ(ExpandFolderName(u"{:NoSuchFolder:}"), u"{:NoSuchFolder:}");
    EXPECT_EQ(ExpandFolderName(u"\"{:ProgramFiles:}/a.txt\""), P(u"\"/opt/Program Files/a.txt\""));
    EXPECT_EQ(ExpandFolderName(TEncodedFolderName(u"{:ProgramFiles:}/x")),
              TFolderName(P(u"/opt/Program Files/x")));
}

TEST_F(FolderNameEncoding, EncodingPrefersTheLongestWholeSegmentPrefix) {
    RegisterFolderNameEncoding(P(u"/data"), u"{:Data:}");
    RegisterFolderNameEncoding(P(u"/data/sub"), u"{:Sub:}");
    EXPECT_EQ(EncodeFolderName(u"/data/sub/f.txt"), P(u"{:Sub:}/f.txt"));
    EXPECT_EQ(EncodeFolderName(u"/DATA/Other"), P(u"{:Data:}/Other"));
    EXPECT_EQ(EncodeFolderName(u"/data"), u"{:Data:}");
    EXPECT_EQ(EncodeFolderName(u"/datax/sub"), P(u"/datax/sub")); // only starts like a registered folder
    EXPECT_EQ(EncodeFolderName(u"//server/share/"), P(u"//server/share/"));
    EXPECT_EQ(EncodeFolderName(TFolderName(P(u"/data/a"))), TEncodedFolderName(P(u"{:Data:}/a")));
}

TEST_F(FolderNameEncoding, SegmentMacrosExpandAnywhereButEncodeOnlyWholeSegments) {
    RegisterFolderSegmentEncoding(u"Venturo", u"{:AppName:}");
    EXPECT_EQ(ExpandFolderName(u"/logs/{:appname:}.log"), P(u"/logs/Venturo.log"));
    EXPECT_EQ(ExpandFolderName(u"{:AppName:}/x{:APPNAME:}"), P(u"Venturo/xVenturo"));
    EXPECT_EQ(EncodeFolderName(u"/logs/VENTURO/venturo.log"), P(u"/logs/{:AppName:}/venturo.log"));
    EXPECT_EQ(EncodeFolderName(u"//venturo//"), P(u"//{:AppName:}//"));

    RegisterFolderNameEncoding(P(u"/apps"), u"{:AppFolder:}");
    EXPECT_EQ(EncodeFolderName(u"/apps/venturo/cfg"), P(u"{:AppFolder:}/{:AppName:}/cfg"));
    EXPECT_EQ(ExpandFolderName(u"{:AppFolder:}/{:AppName:}"), P(u"/apps/Venturo"));
}

TEST_F(FolderNameEncoding, RegistrationNormalisesAndUnregistrationNeedsTheExactPair) {
    RegisterFolderNameEncoding(P(u"/srv/stuff/"), u"Stuff");
    EXPECT_EQ(ExpandFolderName(u"{:Stuff:}/a"), P(u"/srv/stuff/a"));
    EXPECT_EQ(EncodeFolderName(u"/srv/stuff/a"), P(u"{:Stuff:}/a"));

    UnregisterFolderNameEncoding(P(u"/srv/stuff"), u"Stuff");
    UnregisterFolderNameEncoding(P(u"/srv/stuff"), u"{:stuff:}");
    EXPECT_EQ(EncodeFolderName(u"/srv/stuff/a"), P(u"{:Stuff:}/a"));
    UnregisterFolderNameEncoding(P(u"/srv/stuff/"), u"{:Stuff:}");
    EXPECT_EQ(EncodeFolderName(u"/srv/stuff/a"), P(u"/srv/stuff/a"));
    EXPECT_EQ(ExpandFolderName(u"{:Stuff:}/a"), P(u"{:Stuff:}/a"));

    RegisterFolderSegmentEncoding(u"Seg", u"{:Seg:}");
    UnregisterFolderSegmentEncoding(u"seg",
                                    u"{:Seg:}"); // segment text differs in case: the reverse entry stays
    EXPECT_EQ(EncodeFolderName(u"a/seg"), P(u"a/seg"));
    EXPECT_EQ(ExpandFolderName(u"{:seg:}"), u"Seg");
}

TEST_F(FolderNameEncoding, SecondMacroForAFolderWinsEncodingWhileBothExpand) {
    RegisterFolderNameEncoding(P(u"/pf"), u"{:ProgramFilesx86:}");
    RegisterFolderNameEncoding(P(u"/pf"), u"{:ProgramFiles:}");
    EXPECT_EQ(EncodeFolderName(u"/pf/Sage"), P(u"{:ProgramFiles:}/Sage"));
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFilesx86:}/Sage"), P(u"/pf/Sage"));
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFiles:}/Sage"), P(u"/pf/Sage"));
}

TEST_F(FolderNameEncoding, EmptyRegistrationsDoNothing) {
    RegisterFolderNameEncoding(u"", u"{:Empty:}");
    RegisterFolderNameEncoding(P(u"/x"), u"");
    RegisterFolderSegmentEncoding(u"", u"{:E:}");
    RegisterFolderSegmentEncoding(u"seg", u"");
    EXPECT_EQ(ExpandFolderName(u"{:Empty:}/a"), P(u"{:Empty:}/a"));
    EXPECT_EQ(EncodeFolderName(u"/x/seg/a"), P(u"/x/seg/a"));
    EXPECT_EQ(ExpandFolderName(u"{::}/a"), P(u"{::}/a"));
}

TEST_F(FolderNameEncoding, WinePrefixMapsTheWindowsFoldersIntoDriveC) {
    namespace fs = std::filesystem;
    const fs::path prefix = fs::path(::testing::TempDir()) / "venturo_fake_wineprefix";
    fs::create_directories(prefix / "drive_c" / "ProgramData");
    const std::string saved = std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "";
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ORVIRegisterBuiltInFolderNameEncodings();
    const UnicodeString root = rtl::Utf8ToString((prefix / "drive_c").string());
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFilesx86:}/Sage/Accounts"),
              root + P(u"/Program Files (x86)/Sage/Accounts"));
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFiles:}"), root + P(u"/Program Files"));
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFilesx64:}"), root + P(u"/Program Files"));
    EXPECT_EQ(ExpandFolderName(u"{:Public:}/Sage/Accounts/2021"),
              root + P(u"/ProgramData/Sage/Accounts/2021"));
    EXPECT_EQ(EncodeFolderName(root + P(u"/ProgramData/Sage")), P(u"{:Public:}/Sage"));
    EXPECT_EQ(ExpandFolderName(u"{:Windows:}"), root + P(u"/windows"));
    EXPECT_EQ(ExpandFolderName(u"{:SystemDrive:}"), root); // the folder holding windows, not two characters

    // Without a prefix only the everyday folders are there.
    ORVIReleaseFolderNameEncodings();
    ::setenv("WINEPREFIX", "", 1);
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", (prefix / "home-without-wine").c_str(), 1); // no .wine below it
    ORVIRegisterBuiltInFolderNameEncodings();
    EXPECT_EQ(ExpandFolderName(u"{:Public:}"), u"{:Public:}");
    EXPECT_EQ(ExpandFolderName(u"{:ProgramFilesx86:}"), u"{:ProgramFilesx86:}");
    EXPECT_EQ(ExpandFolderName(u"{:Home:}"), rtl::Utf8ToString((prefix / "home-without-wine").string()));
    EXPECT_EQ(ExpandFolderName(u"{:Temp:}"), rtl::GetKnownFolder(rtl::TKnownFolder::Temp));

    ::setenv("HOME", savedHome.c_str(), 1);
    ::setenv("WINEPREFIX", saved.c_str(), 1);
    if (saved.empty())
        ::unsetenv("WINEPREFIX");
    fs::remove_all(prefix);
}
