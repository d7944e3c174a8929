// Installing over files Windows holds: a loaded library (as the running program and its libraries
// are) cannot be replaced or deleted, only renamed. The install sets it aside and goes through; what
// was set aside goes at the next start, once nothing holds it.
#include "app/update/UpdateInstall.h"

#include "TempFolder.h"
#include "rtl/Files.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <filesystem>
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;

// A program folder holding plugin.dll (old bytes) and a release that replaces it with newBytes.
class UpdateInstallInUseTest : public ::testing::Test {
protected:
    void Prepare(const std::string& oldBytes, const std::string& newBytes) {
        fs::create_directories(tmp.Path() / "program");
        rtl::WriteFileAtomic(tmp.Text(u"program/plugin.dll"), oldBytes);
        rtl::WriteFileAtomic(tmp.Text(u"plugin.new"), newBytes);
        const QByteArray digest =
            QCryptographicHash::hash(QByteArray::fromStdString(newBytes), QCryptographicHash::Sha256).toHex();
        files = {{u"plugin.dll", tmp.Text(u"plugin.new"), static_cast<std::int64_t>(newBytes.size()),
                  rtl::U(digest.toStdString())}};
    }
    static std::string ALibrary() {
        wchar_t runtime[MAX_PATH];
        EXPECT_GT(::GetModuleFileNameW(::GetModuleHandleW(L"libgcc_s_seh-1.dll"), runtime, MAX_PATH), 0u);
        rtl::TBytes bytes = rtl::ReadAllBytes(orvitest::ToText(runtime));
        return std::string(bytes.begin(), bytes.end());
    }
    HMODULE Load() { return ::LoadLibraryW((tmp.Path() / "program" / "plugin.dll").c_str()); }
    std::string Installed() {
        rtl::TBytes bytes = rtl::ReadAllBytes(tmp.Text(u"program/plugin.dll"));
        return std::string(bytes.begin(), bytes.end());
    }

    orvitest::TTempFolder tmp;
    std::vector<ven::TInstallFile> files;
};

TEST_F(UpdateInstallInUseTest, ALoadedLibraryIsReplacedAndItsOldCopyGoesAtTheNextStart) {
    Prepare(ALibrary(), "new plugin");
    HMODULE loaded = Load();
    ASSERT_NE(loaded, nullptr);
    ven::InstallFiles(tmp.Text(u"program"), files);
    EXPECT_EQ(Installed(), "new plugin");
    // The old copy is still loaded: it stays, with the journal that says the install is done.
    EXPECT_TRUE(fs::exists(tmp.Path() / "program" / ".webupdate" / "old" / "plugin.dll"));
    EXPECT_FALSE(ven::RecoverInterruptedInstall(tmp.Text(u"program")).empty());
    EXPECT_TRUE(fs::exists(tmp.Path() / "program" / ".webupdate" / "journal"));

    ::FreeLibrary(loaded);
    EXPECT_FALSE(ven::RecoverInterruptedInstall(tmp.Text(u"program")).empty());
    EXPECT_FALSE(fs::exists(tmp.Path() / "program" / ".webupdate"));
    EXPECT_EQ(Installed(), "new plugin");
    EXPECT_EQ(ven::RecoverInterruptedInstall(tmp.Text(u"program")), u"");
}

// Cut short once the new file was in place, the next start may be the new program itself: the
// rollback still puts the old file back, setting the held new one aside.
TEST_F(UpdateInstallInUseTest, ARollBackPutsTheOldFileBackPastANewOneThatIsLoaded) {
    struct TKilled {};
    Prepare("old plugin", ALibrary());
    EXPECT_THROW(ven::InstallFiles(tmp.Text(u"program"), files,
                                   [](const UnicodeString& step) {
                                       if (step.starts_with(u"sync ")) {
                                           throw TKilled();
                                       }
                                   }),
                 TKilled);
    HMODULE loaded = Load();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(ven::RecoverInterruptedInstall(tmp.Text(u"program")), u"Rolled back an interrupted install");
    EXPECT_EQ(Installed(), "old plugin");
    ::FreeLibrary(loaded);
    ven::RecoverInterruptedInstall(tmp.Text(u"program"));
    EXPECT_FALSE(fs::exists(tmp.Path() / "program" / ".webupdate"));
    EXPECT_EQ(Installed(), "old plugin");
}

} // namespace
