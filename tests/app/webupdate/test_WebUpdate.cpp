// The web-update component against a local HTTP server: version checks, downloads, verification,
// licence, installation, restart and the start-up channel fallback.
#include "app/update/WebUpdate.h"

#include "BuildConfig.h"
#include "UpdateSigning.h"
#include "app/core/CoreTestSupport.h"
#include "app/update/ProgramRestart.h"
#include "app/update/StartupUpdateCheck.h"
#include "app/update/UpdateCheck.h"
#include "app/update/UpdateSignature.h"
#include "app/webupdate/LocalHttpServer.h"
#include "app/webupdate/UpdateTestPlatform.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/KnownFolders.h"
#include "rtl/Shell.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using ven::testing::CheckerFileName;
using ven::testing::ProgramFileName;
using ven::testing::StandInProgram;
using ven::testing::TLocalHttpServer;
using ven::testing::TTempFolder;
using ven::testing::WriteProductSettings;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "webupdate_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteText(const fs::path& path, const std::string& text, bool executable = false) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    if (executable) {
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                        fs::perm_options::replace);
    }
}

// Waits a little for a file that a started program writes whole (renamed into place), until it can
// be read: on Windows the writer's rename may still hold it for a moment.
bool WaitForFile(const fs::path& path) {
    for (int i = 0; i < 500 && ReadText(path).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !ReadText(path).empty();
}

// Every entry below folder (links not followed) with its bytes; folders as "name/".
std::map<std::string, std::string> StateOf(const fs::path& folder) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string name = fs::relative(entry.path(), folder).generic_string();
        state[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : ReadText(entry.path());
    }
    return state;
}

// Runs the event loop until done() holds or ms have passed; whether it holds.
template <class TDone> bool PumpUntil(const TDone& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Not an rtl::Exception: nothing in the install catches it, as nothing catches the process's death.
struct TKilled {};

// The release key of these tests, and another one that the program does not trust.
const venturo::signing::TSeed& ReleaseKey() {
    static const venturo::signing::TSeed seed = venturo::signing::NewSeed();
    return seed;
}

const venturo::signing::TSeed& StrangersKey() {
    static const venturo::signing::TSeed seed = venturo::signing::NewSeed();
    return seed;
}

// How a published manifest is signed.
enum class TSigning { Release, Stranger, None, Garbage };

struct TReleaseFile {
    std::string Name;
    QByteArray Served;
    QByteArray Listed; // what the manifest's size and digest describe; Served when empty
};

class WebUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        _program = _tmp.Path() / "program";
        _oldProgram = StandInProgram(_tmp.Path() / "restarted", "old");
        WriteText(_program / ProgramFileName(), _oldProgram, true);
        WriteText(_program / "data.txt", "old data");
        _update.Config.ManifestUrl = Url("/updates/update_v03.inf");
        _update.Config.ProgramVersion = u"1.2.0";
        _update.Config.PublicKey = rtl::U(venturo::signing::PublicKeyHex(ReleaseKey()));
        _update.Config.ProgramFile = ven::testing::ToText(_program / ProgramFileName());
        _update.Config.TempFolder = _tmp.Text("work");
        _update.Config.LogFile = _tmp.Text("WUPDATE.LOG");
        _update.Config.TimeoutMs = 3000;
        _update.OnDownloadedEULA = [this](ven::TWebUpdate&, const rtl::TStringList& lines, bool& accept) {
            ++_nLicenseShown;
            _licenseText = lines.Text();
            _nLicenseLines = lines.Count();
            accept = _blAcceptLicense;
        };
        _update.OnFailure = [this](ven::TWebUpdate&, const UnicodeString& message) {
            _failuresShown.push_back(rtl::StringToUtf8(message));
        };
        _update.OnAppRestart = [this](ven::TWebUpdate& sender, bool& allow) {
            ++_nRestartAsked;
            allow = true;
            _blCheckerStarted = ven::StartVersionChecker(sender.ProgramFile());
        };
        fs::create_directories(_tmp.Path() / "work");
    }

    UnicodeString Url(const QString& path) const {
        QString url = _server.Url(path);
        return UnicodeString(reinterpret_cast<const char16_t*>(url.utf16()), static_cast<size_t>(url.size()));
    }

    static std::string Entry(const std::string& key, const TReleaseFile& f) {
        const QByteArray& listed = f.Listed.isNull() ? f.Served : f.Listed;
        return key + "=" + std::to_string(listed.size()) + " " +
               QCryptographicHash::hash(listed, QCryptographicHash::Sha256).toHex().toStdString() + " " +
               f.Name + "\n";
    }

    // Publishes manifest text at /updates/manifestName with a signature file beside it.
    void PublishManifest(const std::string& manifest, const QString& manifestName = "update_v03.inf",
                         TSigning signing = TSigning::Release) {
        _server.Serve("/updates/" + manifestName, QByteArray::fromStdString(manifest));
        const QString sig = "/updates/" + manifestName + ".sig";
        switch (signing) {
        case TSigning::Release:
            _server.Serve(sig, QByteArray::fromStdString(venturo::signing::SignHex(manifest, ReleaseKey())));
            break;
        case TSigning::Stranger:
            _server.Serve(sig,
                          QByteArray::fromStdString(venturo::signing::SignHex(manifest, StrangersKey())));
            break;
        case TSigning::None:
            _server.Serve(sig, "not found", 404);
            break;
        case TSigning::Garbage:
            _server.Serve(sig, "-----BEGIN SIGNATURE-----\n");
            break;
        }
    }

    // Publishes a release under /updates: its signed manifest at manifestName, its files and licence.
    void Publish(const std::string& version, const std::vector<TReleaseFile>& files,
                 const TReleaseFile* license = nullptr, const QString& manifestName = "update_v03.inf",
                 TSigning signing = TSigning::Release) {
        std::string manifest = "[WebUpdate]\nVersion=" + version + "\nDate=05/03/2024\nTime=14:30\nExpires=" +
                               venturo::signing::ExpiryText(std::chrono::system_clock::now() + _expiresIn) +
                               "\n";
        for (const TReleaseFile& f : files) {
            manifest += Entry("File", f);
            _server.Serve("/updates/" + QString::fromStdString(f.Name), f.Served);
        }
        if (license) {
            manifest += Entry("License", *license);
            _server.Serve("/updates/" + QString::fromStdString(license->Name), license->Served);
        }
        PublishManifest(manifest, manifestName, signing);
    }

    // A release whose program writes a marker when started and which adds a file in a new folder.
    std::vector<TReleaseFile> NewRelease() const {
        return {{ProgramFileName(),
                 QByteArray::fromStdString(StandInProgram(_tmp.Path() / "restarted", "new")),
                 {}},
                {"data.txt", "new data", {}},
                {"lib/extra file.txt", "extra", {}}};
    }

    void ExpectNothingInstalled() {
        EXPECT_EQ(ReadText(_program / ProgramFileName()), _oldProgram);
        EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
        EXPECT_FALSE(fs::exists(_program / "lib" / "extra file.txt"));
        EXPECT_EQ(_nRestartAsked, 0);
        EXPECT_FALSE(fs::exists(_program / ".webupdate"));
        for (const auto& entry : fs::recursive_directory_iterator(_program)) {
            std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.ends_with(".new") || name.ends_with(".old")) << name;
        }
    }

    std::vector<std::string> RequestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& r : _server.Requests) {
            paths.push_back(r.Path.toStdString());
        }
        return paths;
    }

    void TearDown() override {
        if (_nRestartAsked > 0) {
            WaitForFile(_tmp.Path() / "restarted"); // the restarted program runs in our folder
        }
    }

    std::string Log() const { return ReadText(_tmp.Path() / "WUPDATE.LOG"); }

    QCoreApplication& _app = App(); // before the server, whose sockets need the application's loop
    ven::testing::TRegistryScope _registry;
    TTempFolder _tmp;
    fs::path _program;
    std::string _oldProgram;
    TLocalHttpServer _server;
    ven::TWebUpdate _update;
    std::chrono::seconds _expiresIn = std::chrono::days(1);
    bool _blAcceptLicense = true;
    int _nLicenseShown = 0;
    int _nLicenseLines = -1;
    UnicodeString _licenseText;
    int _nRestartAsked = 0;
    bool _blCheckerStarted = false;
    std::vector<std::string> _failuresShown;
};

TEST_F(WebUpdateTest, ComparesTheManifestVersionWithTheProgram) {
    struct {
        const char* Version;
        bool Newer;
    } cases[] = {{"1.10.0", true}, {"1.2.1", true}, {"2", true},
                 {"1.2.0", false}, {"1.2", false},  {"1.1.9", false}};
    for (const auto& c : cases) {
        Publish(c.Version, NewRelease());
        EXPECT_EQ(_update.NewVersionAvailable(false), c.Newer)
            << c.Version << ": " << rtl::StringToUtf8(_update.LastError());
        ASSERT_TRUE(_update.Manifest().has_value());
        EXPECT_EQ(rtl::StringToUtf8(_update.Manifest()->Version), c.Version);
    }
    ASSERT_EQ(_server.Requests.size(), 2 * std::size(cases));
    for (size_t i = 0; i < _server.Requests.size(); ++i) {
        EXPECT_EQ(_server.Requests[i].Path,
                  i % 2 ? "/updates/update_v03.inf.sig" : "/updates/update_v03.inf");
        EXPECT_EQ(_server.Requests[i].UserAgent, "ORVI Software Update Agent");
    }
    EXPECT_NE(Log().find("Version 1.10.0 is available; this program is 1.2.0"), std::string::npos);
}

TEST_F(WebUpdateTest, TheProgramIsConfiguredForTheBuildsServer) {
    ven::TWebUpdate update;
    EXPECT_EQ(update.ManifestUrl(), ven::ManifestUrlOnServer(rtl::U(VENTURO_UPDATE_SERVER_URL)));
    EXPECT_EQ(update.Config.ProgramVersion, rtl::U(VENTURO_PRODUCT_VERSION));
    EXPECT_EQ(update.Config.PublicKey, rtl::U(VENTURO_UPDATE_PUBLIC_KEY));
    EXPECT_EQ(update.Config.UserAgent, u"ORVI Software Update Agent");
    EXPECT_EQ(update.Config.Format.Signature, u"WebUpdate");
    // Downloads and the log live in the user's own cache folder, never in the current folder.
    EXPECT_EQ(update.Config.TempFolder,
              rtl::CombinePath(rtl::GetKnownFolder(rtl::TKnownFolder::Cache), u"Venturo MTD"));
    EXPECT_EQ(update.Config.LogFile, rtl::CombinePath(update.Config.TempFolder, u"WUPDATE.LOG"));
    EXPECT_EQ(ven::ManifestUrlOnServer(u"https://updates.example/mtd/"),
              u"https://updates.example/mtd/update_v03.inf");
    EXPECT_EQ(ven::ManifestUrlOnServer(u""), u"");
}

TEST_F(WebUpdateTest, WithoutAServerNothingIsAskedOrLogged) {
    for (const char16_t* url : {u"", u".beta"}) {
        _update.SetManifestUrl(url);
        EXPECT_FALSE(_update.NewVersionAvailable(false));
        EXPECT_FALSE(_update.DoUpdate(true));
    }
    EXPECT_TRUE(_server.Requests.empty());
    EXPECT_FALSE(fs::exists(_tmp.Path() / "WUPDATE.LOG"));
}

TEST_F(WebUpdateTest, AManifestWithoutAValidSignatureIsNotBelieved) {
    struct {
        const char* Case;
        TSigning Signing;
        const char* Logged;
    } cases[] = {{"signed by another key", TSigning::Stranger, "the signature does not match"},
                 {"no signature file", TSigning::None, "is not signed (http"},
                 {"not a signature", TSigning::Garbage, "holds no Ed25519 signature"}};
    for (const auto& c : cases) {
        _server.Requests.clear();
        Publish("1.3.0", NewRelease(), nullptr, "update_v03.inf", c.Signing);
        EXPECT_FALSE(_update.NewVersionAvailable(false)) << c.Case;
        EXPECT_FALSE(_update.DoUpdate(true)) << c.Case;
        EXPECT_FALSE(_update.Manifest().has_value()) << c.Case;
        EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find(c.Logged), std::string::npos)
            << c.Case << ": " << rtl::StringToUtf8(_update.LastError());
        // Only the manifest and its signature were asked for: no file of the release.
        EXPECT_EQ(RequestedPaths(),
                  (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig",
                                            "/updates/update_v03.inf", "/updates/update_v03.inf.sig"}))
            << c.Case;
        ExpectNothingInstalled();
        // The user hears of it at the check and again at the update, with the reason.
        ASSERT_EQ(_failuresShown.size(), 2u) << c.Case;
        EXPECT_NE(_failuresShown[0].find(c.Logged), std::string::npos) << _failuresShown[0];
        _failuresShown.clear();
    }
    EXPECT_NE(Log().find("nothing was downloaded"), std::string::npos);

    // A signed manifest changed afterwards, even by one byte, is refused.
    std::string manifest =
        "[WebUpdate]\nVersion=1.3.0\nDate=05/03/2024\nTime=14:30\n" + Entry("File", NewRelease()[1]);
    std::string signature = venturo::signing::SignHex(manifest, ReleaseKey());
    manifest.replace(manifest.find("1.3.0"), 5, "1.4.0");
    _server.Serve("/updates/update_v03.inf", QByteArray::fromStdString(manifest));
    _server.Serve("/updates/update_v03.inf.sig", QByteArray::fromStdString(signature));
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("the signature does not match"), std::string::npos);

    // A program built without a release key trusts no manifest at all.
    Publish("1.3.0", NewRelease());
    _update.Config.PublicKey.clear();
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("holds no valid release key"), std::string::npos);
    ExpectNothingInstalled();
}

TEST_F(WebUpdateTest, AReplayedOlderSignedManifestInstallsNothing) {
    // Both were once genuine releases; served again today they must not take the program back.
    for (const char* version : {"1.1.9", "1.2.0", "1.2"}) {
        _server.Requests.clear();
        Publish(version, NewRelease());
        EXPECT_FALSE(_update.NewVersionAvailable(false)) << version;
        EXPECT_FALSE(_update.DoUpdate(true)) << version;
        ASSERT_TRUE(_update.Manifest().has_value());       // believed, just not newer
        EXPECT_EQ(RequestedPaths().size(), 4u) << version; // manifest and signature, twice
        ExpectNothingInstalled();
    }
}

// Keys and signatures made before the verifier changed library still hold, byte for byte: this pair
// and signature (RFC 8032's second vector) came from the earlier signing tool.
TEST(UpdateSignatureTest, SignaturesOfTheEarlierToolStillVerifyAndAreMadeAlike) {
    const auto seed =
        venturo::signing::SeedFromHex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb");
    const std::string key = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
    const std::string signature = "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                                  "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00";
    EXPECT_EQ(ven::CheckManifestSignature("\x72", signature, rtl::U(key)), u"");
    EXPECT_NE(ven::CheckManifestSignature("\x73", signature, rtl::U(key)), u"");
    EXPECT_EQ(venturo::signing::PublicKeyHex(seed), key);
    EXPECT_EQ(venturo::signing::SignHex("\x72", seed), signature);
}

TEST(UpdateSignatureTest, KeysAndSignaturesAreReadStrictly) {
    const std::string key = venturo::signing::PublicKeyHex(ReleaseKey());
    EXPECT_TRUE(ven::ParsePublicKeyHex(key));
    EXPECT_TRUE(ven::ParsePublicKeyHex(" " + key + "\r\n"));
    for (const std::string& bad : {std::string(), key.substr(1), key + "0", "zz" + key.substr(2),
                                   key.substr(0, 31) + " " + key.substr(32)}) {
        EXPECT_FALSE(ven::ParsePublicKeyHex(bad)) << bad;
    }
    const std::string message = "[WebUpdate]\nVersion=2\n";
    std::string signature = venturo::signing::SignHex(message, ReleaseKey());
    EXPECT_EQ(ven::CheckManifestSignature(message, signature + "\n", rtl::U(key)), u"");
    // Every bit of the signature counts.
    for (size_t at : {size_t(0), size_t(63), size_t(127)}) {
        std::string flipped = signature;
        flipped[at] = flipped[at] == '0' ? '1' : '0';
        EXPECT_NE(ven::CheckManifestSignature(message, flipped, rtl::U(key)), u"") << at;
    }
    EXPECT_NE(ven::CheckManifestSignature(message + " ", signature, rtl::U(key)), u"");
    EXPECT_NE(ven::CheckManifestSignature(message, signature.substr(0, 64), rtl::U(key)), u"");
}

TEST_F(WebUpdateTest, OnlyHttpsOrLoopbackHttpIsUsed) {
    EXPECT_TRUE(ven::IsAllowedUpdateUrl(u"https://updates.example/update_v03.inf"));
    EXPECT_TRUE(ven::IsAllowedUpdateUrl(u"http://127.0.0.1:8080/update_v03.inf"));
    EXPECT_TRUE(ven::IsAllowedUpdateUrl(u"http://127.3.4.5/update_v03.inf"));
    EXPECT_TRUE(ven::IsAllowedUpdateUrl(u"http://[::1]:8080/update_v03.inf"));
    for (const char16_t* url : {u"http://updates.example/update_v03.inf", u"http://localhost/update_v03.inf",
                                u"http://10.0.0.1/update_v03.inf", u"ftp://updates.example/update_v03.inf",
                                u"file:///etc/passwd", u"https:///nohost"}) {
        EXPECT_FALSE(ven::IsAllowedUpdateUrl(url)) << rtl::StringToUtf8(url);
    }
    _update.SetManifestUrl(u"http://updates.invalid/update_v03.inf");
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_NE(Log().find("only https is allowed"), std::string::npos);

    // A redirection may not leave for plain http elsewhere.
    _server.Redirect("/updates/update_v03.inf", "http://updates.invalid/update_v03.inf");
    _update.SetManifestUrl(Url("/updates/update_v03.inf"));
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_NE(Log().find("refused the redirection"), std::string::npos);
}

TEST_F(WebUpdateTest, FaultyAnswersAreLoggedAsNoUpdate) {
    EXPECT_FALSE(_update.NewVersionAvailable(false)); // nothing published: 404
    EXPECT_NE(Log().find("update_v03.inf"), std::string::npos);
    PublishManifest("<html>maintenance</html>"); // signed, and still no manifest
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_NE(Log().find("line 1: expected name=value"), std::string::npos) << Log();
    _server.Serve("/updates/update_v03.inf", "[WebUpdate]\nVersion=9\n", 500);
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    _update.Config.MaxManifestBytes = 64;
    _server.Serve("/updates/update_v03.inf", QByteArray(100, ';'));
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_NE(Log().find("larger than 64 bytes"), std::string::npos);
    EXPECT_FALSE(_update.Manifest().has_value());
}

TEST_F(WebUpdateTest, ASilentServerIsGivenUpOnInBoundedTime) {
    _server.SetSilent(true);
    _update.Config.TimeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(_server.Requests.size(), 1u);
    EXPECT_NE(Log().find("no answer within 300 ms"), std::string::npos);

    // Nor may a manifest that never stops coming hold the program.
    _server.SetSilent(false);
    _server.SetTrickle(true);
    clock.restart();
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_NE(Log().find("no complete answer within 600 ms"), std::string::npos);
}

TEST_F(WebUpdateTest, InstallsAVerifiedReleaseAndRestarts) {
    WriteText(_program / CheckerFileName(), StandInProgram(_tmp.Path() / "checker-args", ""), true);
    TReleaseFile license{"EULA.txt", "First line\r\nSecond line\r\n", {}};
    Publish("1.3.0", NewRelease(), &license);

    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(_nLicenseShown, 1);
    EXPECT_EQ(_nLicenseLines, 2);
    rtl::TStringList shown; // its lines, joined by the platform's line break
    shown.SetText(u"First line\nSecond line\n");
    EXPECT_EQ(_licenseText, shown.Text());
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
    EXPECT_EQ(ReadText(_program / "lib" / "extra file.txt"), "extra");
    EXPECT_TRUE((fs::status(_program / ProgramFileName()).permissions() & fs::perms::owner_exec) !=
                fs::perms::none);
    EXPECT_EQ(_nRestartAsked, 1);
    EXPECT_TRUE(_blCheckerStarted);
    ASSERT_TRUE(WaitForFile(_tmp.Path() / "checker-args"));
    EXPECT_EQ(ReadText(_tmp.Path() / "checker-args"), (_program / CheckerFileName()).string() + "\n" +
                                                          (_program / ProgramFileName()).string() + "\n");
    ASSERT_TRUE(WaitForFile(_tmp.Path() / "restarted")); // the new program was started
    EXPECT_EQ(ReadText(_tmp.Path() / "restarted"), "new\n");
    for (const auto& entry : fs::recursive_directory_iterator(_program)) {
        std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.ends_with(".new") || name.ends_with(".old")) << name;
    }
    EXPECT_FALSE(fs::exists(_tmp.Path() / "work" / "WebUpdate.tmp")); // downloads cleaned away
    EXPECT_NE(Log().find("Version 1.3.0 installed"), std::string::npos);
}

TEST_F(WebUpdateTest, TheRestartGoesAheadWithoutTheChecker) {
    Publish("1.3.0", NewRelease());
    EXPECT_TRUE(_update.DoUpdate(true));
    EXPECT_EQ(_nLicenseShown, 0); // no licence in this release
    EXPECT_EQ(_nRestartAsked, 1);
    EXPECT_FALSE(_blCheckerStarted);
    EXPECT_TRUE(WaitForFile(_tmp.Path() / "restarted"));
}

TEST_F(WebUpdateTest, TheRestartCallbackMayKeepTheProgramRunning) {
    _update.OnAppRestart = [](ven::TWebUpdate&, bool& allow) { allow = false; };
    Publish("1.3.0", NewRelease());
    EXPECT_TRUE(_update.DoUpdate(true));
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(_tmp.Path() / "restarted"));
}

TEST_F(WebUpdateTest, AProgramThatCannotBeStartedAgainIsAFailure) {
    // The new program keeps the old file's permissions, and the old one may not be run (POSIX);
    // and the release's program is none the system can start (Windows).
    fs::permissions(_program / ProgramFileName(), fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    std::vector<TReleaseFile> release = NewRelease();
    release[0].Served = "no program\n";
    Publish("1.3.0", release);
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_EQ(_nRestartAsked, 1);
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data"); // installed all the same
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("was installed, but"), std::string::npos)
        << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(Log().find("Restarting"), std::string::npos);
    _nRestartAsked = 0; // nothing runs that TearDown could wait for
}

// Run as a copy of this program in a program folder of its own: it updates its own running file,
// with nothing configured about where it lives. Does nothing in an ordinary run.
TEST_F(WebUpdateTest, ACopyUpdatesItsOwnRunningFile) {
    const char* release = std::getenv("VENTURO_TEST_SELF_UPDATE"); // the new program's bytes
    if (!release) {
        GTEST_SKIP() << "only run by TheRestartStartsTheUpdatedProgramByItsOwnPath";
    }
    _update.Config.ProgramFile.clear();
    const std::string name = rtl::StringToUtf8(rtl::ExtractFileName(rtl::ApplicationExeName()));
    Publish("1.3.0", {{name, QByteArray::fromStdString(ReadText(release)), {}}});
    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    _nRestartAsked = 0;
}

TEST_F(WebUpdateTest, TheRestartStartsTheUpdatedProgramByItsOwnPath) {
    // The running file is renamed by the install; the restart must still find the program's path.
    const fs::path original(rtl::StringToUtf8(rtl::ApplicationExeName()));
    const fs::path copy = _program / ProgramFileName();
    fs::remove(copy);
    fs::copy_file(original, copy);
    fs::permissions(copy, fs::perms::owner_all);
    const char* variable = ven::testing::LibraryPathVariable();
    const char* found = std::getenv(variable);
    const std::string old = found ? found : "";
    const std::string libraries = original.parent_path().string();
    ::setenv(variable,
             (old.empty() ? libraries : libraries + ven::testing::LibraryPathSeparator() + old).c_str(), 1);
    WriteText(_tmp.Path() / "release", StandInProgram(_tmp.Path() / "restarted", "new"));
    ::setenv("VENTURO_TEST_SELF_UPDATE", (_tmp.Path() / "release").string().c_str(), 1);
    rtl::TProcessStart started = rtl::CreateProcess(
        ven::testing::ToText(copy), {u"--gtest_filter=WebUpdateTest.ACopyUpdatesItsOwnRunningFile"},
        _tmp.Text(), rtl::TShowWindow::swNormal);
    ::unsetenv("VENTURO_TEST_SELF_UPDATE");
    old.empty() ? ::unsetenv(variable) : ::setenv(variable, old.c_str(), 1);
    ASSERT_TRUE(started) << rtl::StringToUtf8(started.ErrorText);
    ASSERT_TRUE(started.Process->WaitFor(120000));
    EXPECT_EQ(started.Process->ExitCode(), 0);
    ASSERT_TRUE(WaitForFile(_tmp.Path() / "restarted")); // the new program ran
    EXPECT_EQ(ReadText(_tmp.Path() / "restarted"), "new\n");
    EXPECT_EQ(ReadText(copy), StandInProgram(_tmp.Path() / "restarted", "new"));
}

TEST_F(WebUpdateTest, AFileThatFailsVerificationInstallsNothing) {
    struct {
        const char* Fault;
        QByteArray Served;
    } faults[] = {{"digest", "extrA"}, {"too long", "new data, and more"}, {"too short", "new"}};
    for (const auto& f : faults) {
        std::vector<TReleaseFile> release = NewRelease();
        release[2].Listed = release[2].Served; // the last file listed right, served wrong
        release[2].Served = f.Served;
        Publish("1.3.0", release);
        EXPECT_FALSE(_update.DoUpdate(true)) << f.Fault;
        ExpectNothingInstalled();
    }
    EXPECT_NE(Log().find("the SHA-256 digest does not match"), std::string::npos);
    EXPECT_NE(Log().find("expected 5 bytes, received more"), std::string::npos);
    EXPECT_NE(Log().find("expected 5 bytes, received 3"), std::string::npos);
}

TEST_F(WebUpdateTest, ATricklingDownloadEndsAtItsDeadlineAndTheUserIsTold) {
    _update.Config.MinDownloadMs = 400;
    _update.Config.MinBytesPerSecond = 1 << 20; // 100000 bytes: 95 ms, so the floor holds
    std::vector<TReleaseFile> release = NewRelease();
    release[1].Listed = QByteArray(100000, ';'); // as much as the trickle promises
    Publish("1.3.0", release);
    _server.Trickle("/updates/data.txt"); // a byte every 50 ms: never silent, never done
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_LT(clock.elapsed(), 2500);
    ExpectNothingInstalled();
    ASSERT_EQ(_failuresShown.size(), 1u);
    EXPECT_NE(_failuresShown[0].find("no complete answer within 400 ms"), std::string::npos)
        << _failuresShown[0];
}

TEST_F(WebUpdateTest, ACancelledDownloadInstallsNothingAndIsNotAFailure) {
    int progressCalls = 0;
    _update.OnProgress = [&](ven::TWebUpdate& sender, int index, int count, const UnicodeString&, double) {
        ++progressCalls;
        EXPECT_EQ(count, 3);
        if (index == 2) {
            sender.Cancel();
        }
    };
    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_GT(progressCalls, 0);
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("Cancelled"), std::string::npos);
    EXPECT_TRUE(_failuresShown.empty());
    EXPECT_EQ(ven::ReadUpdateRecord().LastFailure, 0); // no day of rest for the user's own choice
    ExpectNothingInstalled();
    // The next update is not cancelled by the last one's Cancel.
    _update.OnProgress = nullptr;
    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
}

TEST_F(WebUpdateTest, EveryFailureAfterTheDownloadBeganIsShownButADeclineIsNot) {
    std::vector<TReleaseFile> release = NewRelease();
    release[2].Listed = "extrA";
    Publish("1.3.0", release);
    EXPECT_FALSE(_update.DoUpdate(true));
    ASSERT_EQ(_failuresShown.size(), 1u);
    EXPECT_NE(_failuresShown[0].find("the SHA-256 digest does not match"), std::string::npos);

    _failuresShown.clear();
    _blAcceptLicense = false;
    TReleaseFile license{"EULA.txt", "Terms", {}};
    Publish("1.3.0", NewRelease(), &license);
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_TRUE(_failuresShown.empty()); // the user chose it
    _failuresShown.clear();
    Publish("1.1.0", NewRelease()); // nothing newer: nothing to tell
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_TRUE(_failuresShown.empty());
}

TEST_F(WebUpdateTest, DownloadsGoToAPrivateFolderAndFollowNoPlantedLink) {
    WriteText(_tmp.Path() / "precious", "keep me");
    _update.Config.TempFolder = _tmp.Text("cache/Venturo MTD"); // not there yet: made private
    Publish("1.3.0", NewRelease());
    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(fs::status(_tmp.Path() / "cache" / "Venturo MTD").permissions() & fs::perms::all,
              fs::perms::owner_all);

    // Planted in the existing download folder this time: removed, not followed.
    fs::create_directories(_tmp.Path() / "cache" / "Venturo MTD" / "WebUpdate.tmp");
    fs::create_symlink(_tmp.Path() / "precious",
                       _tmp.Path() / "cache" / "Venturo MTD" / "WebUpdate.tmp" / "0.part");
    Publish("1.4.0", NewRelease()); // 1.3.0 is recorded as installed
    EXPECT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(ReadText(_tmp.Path() / "precious"), "keep me");
    _nRestartAsked = 2;
}

// Links planted where the download folder, the install's work folder and the log go: nothing
// they point at is emptied or written, the start-up recovery goes on, and the update says why not.
TEST_F(WebUpdateTest, LinksInPlaceOfTheWorkFoldersAndTheLogAreNeverFollowed) {
    const std::map<std::string, std::string> precious = {{"keep.txt", "keep me"}};
    WriteText(_tmp.Path() / "precious" / "keep.txt", "keep me");
    fs::create_directory_symlink(_tmp.Path() / "precious", _program / ".webupdate");
    fs::create_symlink(_tmp.Path() / "precious" / "keep.txt", _tmp.Path() / "WUPDATE.LOG");
    EXPECT_EQ(_update.RecoverInterruptedInstall(), ven::TRecoveryResult::Ready);
    EXPECT_EQ(StateOf(_tmp.Path() / "precious"), precious);

    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("not the install's own folder"), std::string::npos)
        << rtl::StringToUtf8(_update.LastError());
    fs::remove(_program / ".webupdate");

    fs::create_directory_symlink(_tmp.Path() / "precious", _tmp.Path() / "work" / "WebUpdate.tmp");
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("WebUpdate.tmp is a link or a file"),
              std::string::npos);
    EXPECT_EQ(_failuresShown.size(), 2u);
    EXPECT_EQ(StateOf(_tmp.Path() / "precious"), precious);
    ExpectNothingInstalled();
}

TEST_F(WebUpdateTest, ADeclinedLicenceInstallsNothing) {
    _blAcceptLicense = false;
    TReleaseFile license{"EULA.txt", "Terms", {}};
    Publish("1.3.0", NewRelease(), &license);
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_EQ(_nLicenseShown, 1);
    ExpectNothingInstalled();
    // The program files were never fetched.
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig",
                                        "/updates/EULA.txt"}));

    _update.OnDownloadedEULA = nullptr; // nobody to accept it
    EXPECT_FALSE(_update.DoUpdate(true));
    ExpectNothingInstalled();
}

TEST_F(WebUpdateTest, AnEmptyLicenceIsStillShown) {
    TReleaseFile license{"EULA.txt", "", {}};
    Publish("1.3.0", NewRelease(), &license);
    EXPECT_TRUE(_update.DoUpdate(true));
    EXPECT_EQ(_nLicenseShown, 1);
    EXPECT_EQ(_nLicenseLines, 0);
    EXPECT_EQ(_licenseText, u"");
}

TEST_F(WebUpdateTest, AFailureWhileReplacingPutsEveryFileBack) {
    // The last file cannot be put in place: a folder holds its name.
    WriteText(_program / "lib" / "extra file.txt" / "keep", "x");
    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("Nothing was installed: Cannot replace"),
              std::string::npos)
        << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(ReadText(_program / ProgramFileName()), _oldProgram);
    EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
    EXPECT_TRUE((fs::status(_program / ProgramFileName()).permissions() & fs::perms::owner_exec) !=
                fs::perms::none);
    EXPECT_FALSE(fs::exists(_program / ".webupdate"));
    EXPECT_EQ(_nRestartAsked, 0);

    // A folder that cannot be made: nothing is replaced, and the folder made for nothing goes.
    fs::remove_all(_program / "lib");
    WriteText(_program / "lib", "a file where a folder is needed");
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_EQ(ReadText(_program / ProgramFileName()), _oldProgram);
    EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
    EXPECT_FALSE(fs::exists(_program / ".webupdate"));
}

TEST_F(WebUpdateTest, TheCheckerIsFoundBesideTheProgram) {
    UnicodeString program = ven::testing::ToText(_program / ProgramFileName());
    EXPECT_EQ(ven::FindVersionChecker(program), u"");
    EXPECT_FALSE(ven::StartVersionChecker(program));
    // Programs built for POSIX carry no extension; Windows ones always do.
    WriteText(_program / "ORVIVersionManifestCheck", "#!/bin/sh\n", true);
    EXPECT_EQ(ven::FindVersionChecker(program),
              rtl::PathDelim == u'/' ? ven::testing::ToText(_program / "ORVIVersionManifestCheck") : u"");
    WriteText(_program / "ORVIVersionManifestCheck.exe", "#!/bin/sh\n", true);
    EXPECT_EQ(ven::FindVersionChecker(program),
              ven::testing::ToText(_program / "ORVIVersionManifestCheck.exe"));
    EXPECT_EQ(
        ven::VersionCheckerCommandLine(u"C:\\P Files\\ORVIVersionManifestCheck.exe", u"C:\\P Files\\v.exe"),
        u"\"C:\\P Files\\ORVIVersionManifestCheck.exe\" \"C:\\P Files\\v.exe\"");
}

TEST_F(WebUpdateTest, TheCheckerAndTheProgramStartWithTheirPathsWhole) {
    // A folder name with blanks and a quote (or what the command shell reads): each path reaches the
    // program as one argument.
    fs::path folder = _tmp.Path() / ven::testing::AwkwardFolderName();
    fs::create_directories(folder);
    fs::path record = _tmp.Path() / "record";
    const std::string recorder = StandInProgram(record, "", true);
    WriteText(folder / CheckerFileName(), recorder, true);
    WriteText(folder / ProgramFileName(), recorder, true);
    auto recorded = [&] {
        WaitForFile(record);
        std::string text = ReadText(record);
        fs::remove(record);
        return text;
    };
    const UnicodeString program = ven::testing::ToText(folder / ProgramFileName());
    ASSERT_TRUE(ven::StartVersionChecker(program));
    EXPECT_EQ(recorded(), folder.string() + "\n" + (folder / CheckerFileName()).string() + "\n" +
                              (folder / ProgramFileName()).string() + "\n");
    ASSERT_TRUE(ven::StartProgram(program));
    EXPECT_EQ(recorded(), folder.string() + "\n" + (folder / ProgramFileName()).string() + "\n");
    EXPECT_EQ(
        ven::VersionCheckerCommandLine(u"C:\\app\"x\\ORVIVersionManifestCheck.exe", u"C:\\app\"x\\v.exe"),
        u"\"C:\\app\\\"x\\ORVIVersionManifestCheck.exe\" \"C:\\app\\\"x\\v.exe\"");
}

TEST_F(WebUpdateTest, AnUnwritableProgramFolderIsFoundBeforeAnythingIsDownloaded) {
    // The folder refuses the first thing an install writes there. Root may write anywhere, so
    // there the refusal comes from the install's step hook, where the system's would come.
    const bool root = ::geteuid() == 0;
    if (root) {
        _update.OnInstallStep = [](const UnicodeString& step) {
            if (step == u"make the work folder") {
                throw rtl::EFCreateError(u"Cannot create the work folder: Permission denied");
            }
        };
    } else {
        fs::permissions(_program, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    }
    const auto before = StateOf(_program);
    TReleaseFile license{"EULA.txt", "Terms", {}};
    Publish("1.3.0", NewRelease(), &license);

    EXPECT_FALSE(_update.DoUpdate(true));
    // The user is told why, and that nothing was fetched; not even the licence was asked for.
    ASSERT_EQ(_failuresShown.size(), 1u);
    // A folder the user may not write in is one installed for every user: its installer updates it.
    EXPECT_NE(_failuresShown[0].find("Cannot install into " + _program.string() +
                                     (root ? ": Cannot create" : ": you may not change the files in it")),
              std::string::npos)
        << _failuresShown[0];
    EXPECT_NE(_failuresShown[0].find("nothing was downloaded"), std::string::npos);
    EXPECT_EQ(_nLicenseShown, 0);
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig"}));
    EXPECT_EQ(StateOf(_program), before);
    EXPECT_FALSE(fs::exists(_tmp.Path() / "work" / "WebUpdate.tmp"));
    // The failure is recorded: the next start rests instead of trying again.
    ven::TUpdateRecord record = ven::ReadUpdateRecord();
    EXPECT_NEAR(record.LastFailure, rtl::Now(), 10.0 / 86400);
    EXPECT_NE(rtl::StringToUtf8(record.LastFailureReason).find("Cannot install into"), std::string::npos);
    EXPECT_EQ(record.InstalledVersion, u"");
    _server.Requests.clear();
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update));
    EXPECT_TRUE(_server.Requests.empty());
    // A check the user asks for goes ahead, and is told the same.
    _failuresShown.clear();
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::NotUpdated);
    EXPECT_EQ(_server.Requests.size(), 4u);
    EXPECT_EQ(_failuresShown.size(), 1u);
    EXPECT_EQ(StateOf(_program), before);
    if (!root) {
        fs::permissions(_program, fs::perms::owner_all, fs::perm_options::replace);
    }
}

TEST_F(WebUpdateTest, AFolderNoUserMayWriteInSendsTheUserToTheInstaller) {
    // Not even the system's administrator may create a file in the process folder.
    const fs::path sealed = "/proc/self";
    if (!fs::is_directory(sealed)) {
        GTEST_SKIP() << "no folder here refuses every user";
    }
    _update.Config.InstallFolder = ven::testing::ToText(sealed);
    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.DoUpdate(true));
    ASSERT_EQ(_failuresShown.size(), 1u);
    EXPECT_NE(
        _failuresShown[0].find("Cannot install into " + sealed.string() +
                               ": you may not change the files in it (Venturo MTD was installed there for "
                               "every user of this computer). Install Venturo MTD 1.3.0 with its installer "
                               "instead; nothing was downloaded"),
        std::string::npos)
        << _failuresShown[0];
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig"}));
    ExpectNothingInstalled();
}

TEST_F(WebUpdateTest, AnInstallThatFailsMidwayLeavesTheOldProgramToRunOn) {
    // The program is replaced first, then the second file cannot be.
    const rtl::TFileIdentity running = rtl::FileIdentity(_update.ProgramFile());
    std::vector<std::string> steps;
    _update.OnInstallStep = [&](const UnicodeString& step) {
        steps.push_back(rtl::StringToUtf8(step));
        if (step == u"replace data.txt") {
            throw rtl::EWriteError(u"Cannot replace data.txt: No space left on device");
        }
    };
    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.DoUpdate(true));
    ASSERT_NE(std::find(steps.begin(), steps.end(), "replace " + ProgramFileName()), steps.end());
    ASSERT_EQ(_failuresShown.size(), 1u);
    EXPECT_NE(_failuresShown[0].find("Nothing was installed: Cannot replace data.txt"), std::string::npos)
        << _failuresShown[0];
    EXPECT_EQ(_nRestartAsked, 0); // this program runs on
    // The file at the program's path is again the very file this program was started from.
    EXPECT_TRUE(rtl::FileIdentity(_update.ProgramFile()) == running);
    EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
    ASSERT_TRUE(ven::StartProgram(_update.ProgramFile())); // and its next start is the old one
    ASSERT_TRUE(WaitForFile(_tmp.Path() / "restarted"));
    EXPECT_EQ(ReadText(_tmp.Path() / "restarted"), "old\n");
}

TEST_F(WebUpdateTest, AStartAfterAnInterruptedInstallRollsBackAndRunsTheOldProgram) {
    const fs::path marker = _tmp.Path() / "restarted";
    const std::string keepProgram = "keep " + ProgramFileName();
    struct {
        const char* KilledAt;
        bool OldProgramStarted;
    } cases[] = {
        {"sync ", true},              // the new program in place, the rest not: rolled back
        {keepProgram.c_str(), false}, // nothing replaced yet: the running program is the old one
        {"clean up", false},          // wholly installed: the new program goes on
    };
    for (const auto& c : cases) {
        WriteText(_program / ProgramFileName(), _oldProgram, true);
        WriteText(_program / "data.txt", "old data");
        fs::remove(marker);
        // The process dies at the step; the release's program is then what the next start runs.
        _update.OnInstallStep = [&](const UnicodeString& step) {
            if (rtl::StringToUtf8(step).starts_with(c.KilledAt)) {
                throw TKilled{};
            }
        };
        Publish("1.3.0", NewRelease());
        EXPECT_THROW(_update.DoUpdate(true), TKilled) << c.KilledAt;
        _update.OnInstallStep = nullptr;
        ven::TWebUpdate next; // the program that the next start runs, whichever it is
        next.Config = _update.Config;
        ven::TRecoveryResult result = next.RecoverInterruptedInstall();
        if (c.OldProgramStarted) {
            EXPECT_EQ(result, ven::TRecoveryResult::Restarted) << c.KilledAt;
            ASSERT_TRUE(WaitForFile(marker)) << c.KilledAt;
            EXPECT_EQ(ReadText(marker), "old\n");
            EXPECT_NE(Log().find("Restarting the old program " + (_program / ProgramFileName()).string()),
                      std::string::npos);
        } else {
            EXPECT_EQ(result, ven::TRecoveryResult::Ready) << c.KilledAt;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(fs::exists(marker)) << c.KilledAt;
        }
        const bool installed = std::string(c.KilledAt) == "clean up";
        EXPECT_EQ(ReadText(_program / "data.txt"), installed ? "new data" : "old data") << c.KilledAt;
        EXPECT_FALSE(fs::exists(_program / ".webupdate")) << c.KilledAt;
    }
}

TEST_F(WebUpdateTest, AReleaseWithClashingNamesFetchesNothing) {
    // Two names for one file on a Windows folder, a file where another needs a folder, and the
    // install's own folder: none can be installed whole, so none is downloaded.
    const std::vector<std::vector<TReleaseFile>> releases = {
        {{"data.txt", "new data", {}}, {"DATA.TXT", "other", {}}},
        {{"lib", "a file", {}}, {"lib/extra.txt", "extra", {}}},
        {{".webupdate/journal", "state=installed\n", {}}},
    };
    for (const auto& release : releases) {
        _server.Requests.clear();
        Publish("1.3.0", release);
        EXPECT_FALSE(_update.DoUpdate(true)) << release[0].Name;
        EXPECT_EQ(RequestedPaths(),
                  (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig"}))
            << release[0].Name;
        ExpectNothingInstalled();
    }
    EXPECT_NE(Log().find("is listed twice"), std::string::npos);
    EXPECT_NE(Log().find("clashes with the file 'lib'"), std::string::npos);
    EXPECT_NE(Log().find("is in the install's own folder"), std::string::npos);
}

using StartupCheckTest = WebUpdateTest;

TEST_F(StartupCheckTest, TheInstalledVersionIsRecordedAndNotInstalledAgain) {
    Publish("1.3.0", NewRelease());
    ASSERT_TRUE(_update.DoUpdate(true)) << rtl::StringToUtf8(_update.LastError());
    EXPECT_EQ(ven::ReadUpdateRecord().InstalledVersion, u"1.3.0");
    EXPECT_EQ(ven::ReadUpdateRecord().LastFailure, 0);
    // The release's program still says 1.2.0 of itself: the record keeps it from coming again.
    _server.Requests.clear();
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{"/updates/update_v03.inf", "/updates/update_v03.inf.sig"}));
    EXPECT_EQ(_nRestartAsked, 1);
    EXPECT_NE(Log().find("No newer version: the manifest offers 1.3.0, this program is 1.2.0, version 1.3.0 "
                         "is recorded as installed"),
              std::string::npos)
        << Log();
}

TEST_F(StartupCheckTest, AFailedUpdateIsNotTriedAgainForADay) {
    std::vector<TReleaseFile> release = NewRelease();
    release[1].Listed = "other data";
    Publish("1.3.0", release);
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    ven::TUpdateRecord record = ven::ReadUpdateRecord();
    EXPECT_NEAR(record.LastFailure, rtl::Now(), 10.0 / 86400);
    EXPECT_NE(rtl::StringToUtf8(record.LastFailureReason).find("data.txt: expected 10 bytes"),
              std::string::npos);
    EXPECT_EQ(record.InstalledVersion, u"");

    _server.Requests.clear();
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update)); // the next start rests
    EXPECT_TRUE(_server.Requests.empty());
    ASSERT_TRUE(ven::RecordUpdateFailure(u"earlier", rtl::Now() - 1.01));
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update)); // a day later it tries again
    EXPECT_FALSE(_server.Requests.empty());
    ExpectNothingInstalled();
}

TEST_F(StartupCheckTest, ABetaChannelWithoutAnUpdateFallsBackToThePlainManifest) {
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    Publish("1.2.0", NewRelease(), nullptr, "update_v03.inf.preview");
    TReleaseFile license{"EULA.txt", "Terms", {}};
    Publish("1.3.0", NewRelease(), &license);
    _blAcceptLicense = false; // stops the update once the plain channel offered it
    UnicodeString configured = _update.ManifestUrl();

    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    EXPECT_EQ(_update.ManifestUrl(), configured);
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{"/updates/update_v03.inf.preview",
                                        "/updates/update_v03.inf.preview.sig", "/updates/update_v03.inf",
                                        "/updates/update_v03.inf.sig", "/updates/update_v03.inf",
                                        "/updates/update_v03.inf.sig", "/updates/EULA.txt"}));
    EXPECT_EQ(_nLicenseShown, 1);
    ExpectNothingInstalled();
}

TEST_F(StartupCheckTest, ABetaChannelWithAnUpdateIsUsed) {
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    Publish("1.4.0", NewRelease(), nullptr, "update_v03.inf.preview");
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    EXPECT_EQ(_update.ManifestUrl(), Url("/updates/update_v03.inf.preview"));
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
}

// The signing tool writes the expiry into the text it signs; a manifest past it, or without one, is
// not believed, however well signed.
TEST_F(WebUpdateTest, OnlyASignedManifestBeforeItsExpiryIsBelieved) {
    const auto now = std::chrono::system_clock::now();
    std::string signed_ = venturo::signing::WithExpiry(
        "; release\r\n[WebUpdate]\r\nExpires=2000-01-01T00:00:00Z\r\nVersion=1.3.0\r\n",
        now + std::chrono::days(30));
    EXPECT_EQ(signed_, "; release\r\n[WebUpdate]\r\nExpires=" +
                           venturo::signing::ExpiryText(now + std::chrono::days(30)) +
                           "\r\nVersion=1.3.0\r\n");
    EXPECT_THROW(venturo::signing::WithExpiry("[Other]\n", now), std::runtime_error);

    Publish("1.3.0", NewRelease());
    EXPECT_TRUE(_update.NewVersionAvailable(false)) << rtl::StringToUtf8(_update.LastError());
    _expiresIn = -std::chrono::hours(1); // a replay of a manifest signed long ago
    Publish("1.3.0", NewRelease());
    EXPECT_FALSE(_update.NewVersionAvailable(false));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("is not believed: it expired on"),
              std::string::npos)
        << rtl::StringToUtf8(_update.LastError());
    PublishManifest("[WebUpdate]\nVersion=1.3.0\nDate=05/03/2024\nTime=14:30\nFile=1 " +
                    std::string(64, 'a') + " data.txt\n");
    EXPECT_FALSE(_update.DoUpdate(true));
    EXPECT_NE(rtl::StringToUtf8(_update.LastError()).find("names no expiry"), std::string::npos);
    ExpectNothingInstalled();
}

// The start-up check asks off the caller's thread: a server that trickles its manifest holds up
// nothing, the deadline ends the check as a failure that rests the next starts, and a check that is
// given up (the window closing) ends at once.
TEST_F(StartupCheckTest, ATricklingServerHoldsUpNothingAndItsTimeoutRestsTheNextStarts) {
    _update.Config.TimeoutMs = 400; // the whole manifest within 800 ms
    _server.Trickle("/updates/update_v03.inf");
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    std::optional<ven::TStartupCheckResult> result;
    QElapsedTimer clock;
    clock.start();
    {
        ven::TStartupUpdateCheck check(_update);
        ASSERT_TRUE(check.Start([&](const ven::TStartupCheckResult& r) { result = r; }));
        EXPECT_LT(clock.elapsed(), 500);
        PumpUntil([&] { return result.has_value(); }, 10000);
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, ven::TUserCheckResult::CheckFailed);
    EXPECT_GT(ticks, 10); // the caller's thread ran its events all along
    ven::TUpdateRecord record = ven::ReadUpdateRecord();
    EXPECT_NEAR(record.LastFailure, rtl::Now(), 10.0 / 86400);
    EXPECT_NE(rtl::StringToUtf8(record.LastFailureReason).find("no complete answer within 800 ms"),
              std::string::npos)
        << rtl::StringToUtf8(record.LastFailureReason);
    EXPECT_GT(record.FailingSince, 0);
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update)); // the next start rests

    // Given up while the server trickles: over at once, and nothing is reported.
    ASSERT_TRUE(ven::RecordUpdateFailure(u"earlier", rtl::Now() - 2));
    _update.Config.TimeoutMs = 3000;
    bool reported = false;
    auto check = std::make_unique<ven::TStartupUpdateCheck>(_update);
    ASSERT_TRUE(check->Start([&](const ven::TStartupCheckResult&) { reported = true; }));
    PumpUntil([] { return false; }, 200);
    clock.restart();
    check.reset();
    EXPECT_LT(clock.elapsed(), 1000);
    PumpUntil([] { return false; }, 50);
    EXPECT_FALSE(reported);
}

// A newer version found off the thread is installed by the component itself, from the manifest
// the clone read: it is not fetched a second time.
TEST_F(StartupCheckTest, AnOfferFoundOffTheThreadIsInstalledWithoutReadingTheManifestAgain) {
    Publish("1.3.0", NewRelease());
    std::optional<ven::TStartupCheckResult> result;
    ven::TStartupUpdateCheck check(_update);
    ASSERT_TRUE(check.Start([&](const ven::TStartupCheckResult& r) { result = r; }));
    EXPECT_TRUE(PumpUntil([&] { return result.has_value(); }, 10000));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, ven::TUserCheckResult::Updated) << rtl::StringToUtf8(_update.LastError());
    const std::vector<std::string> paths = RequestedPaths();
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "/updates/update_v03.inf"), 1);
    EXPECT_EQ(ReadText(_program / "data.txt"), "new data");
    EXPECT_GT(ven::ReadUpdateRecord().LastGoodCheck, 0);
}

} // namespace
