#pragma once
// TWebUpdate: the program's web-update component. Reads the update manifest over HTTPS, compares
// its version with the program's, downloads and verifies a newer release, has the licence text
// accepted, installs the files without ever leaving a half-updated program, and restarts.
// Runs on the GUI thread; every call blocks its caller while a local event loop does the transfer
// (one that takes the user's input during downloads when Config.UserInputWhileDownloading is set).
#include "app/update/UpdateCheck.h"
#include "app/update/UpdateInstall.h"
#include "app/update/UpdateManifest.h"
#include "rtl/StringList.h"
#include "rtl/UnicodeString.h"

#include <functional>
#include <memory>
#include <optional>

class QByteArray;
class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace ven {

/// The manifest's file name on the update server.
inline constexpr char16_t kManifestName[] = u"update_v03.inf";

/// The manifest's address on the server at serverUrl; empty when serverUrl is empty (no server).
rtl::UnicodeString ManifestUrlOnServer(rtl::UnicodeStringView serverUrl);
/// True for an https address with a host, or an http one whose host is a loopback address literal.
bool IsAllowedUpdateUrl(const rtl::UnicodeString& url);

/// The user's own folder for downloads and the log: "Venturo MTD" in the user's cache folder (XDG
/// cache, or the local application data on Windows), else in the temporary folder.
rtl::UnicodeString UserUpdateFolder();

/// How the component is set up; the defaults are the program's.
struct TWebUpdateConfig {
    rtl::UnicodeString ManifestUrl; // default: the build's server
    rtl::UnicodeString UserAgent = u"ORVI Software Update Agent";
    TManifestFormat Format;                 // signature, date and time patterns
    rtl::UnicodeString TempFolder;          // downloads go to a folder inside; default: UserUpdateFolder()
    rtl::UnicodeString LogFile;             // empty: no log; default: WUPDATE.LOG in UserUpdateFolder()
    rtl::UnicodeString ProgramVersion;      // default: the build's version
    rtl::UnicodeString PublicKey;           // release key, hex; default: the build's
    rtl::UnicodeString ProgramFile;         // default: the running program
    rtl::UnicodeString InstallFolder;       // empty: the program's folder
    int TimeoutMs = 15000;                  // longest silence of a transfer (twice: all of a manifest)
    int MinDownloadMs = 30000;              // a file's whole download may take at least this long,
    std::int64_t MinBytesPerSecond = 16384; // or longer when its stated size needs it at this rate
    std::int64_t MaxManifestBytes = 1 << 20;
    std::int64_t MaxSignatureBytes = 1024;
    bool RecordInRegistry = true; // the installed version and the last failure (see UpdateCheck.h)
    /// Set by a program that shows a modal progress window with a Cancel button from OnDownloading:
    /// the user's input is then taken while files download (the window keeps it from the others).
    bool UserInputWhileDownloading = false;
};

/// What the start-up recovery of an interrupted install came to.
enum class TRecoveryResult {
    Ready,     // nothing to do, or the program's folder is wholly old or wholly new again
    Failed,    // it could not be finished (logged); the folder is left for the next start
    Restarted, // the program's own file was put back: the old program was started, this one must end
};

class TWebUpdate : public IWebUpdate {
public:
    /// Licence text downloaded: lines holds it (empty for an empty text); set accept to go on.
    using TDownloadedEULAEvent =
        std::function<void(TWebUpdate& sender, const rtl::TStringList& lines, bool& accept)>;
    /// Files installed: allowRestart (true on entry) says whether the program is started anew.
    using TAppRestartEvent = std::function<void(TWebUpdate& sender, bool& allowRestart)>;
    /// A failure the user must hear of: a manifest that is not trusted, or anything that stops an
    /// update once its download began (the licence declined excepted); message says why.
    using TFailureEvent = std::function<void(TWebUpdate& sender, const rtl::UnicodeString& message)>;
    /// Download progress of file fileIndex (1-based) of fileCount, in percent.
    using TProgressEvent = std::function<void(TWebUpdate& sender, int fileIndex, int fileCount,
                                              const rtl::UnicodeString& name, double percent)>;
    /// Downloads begin (downloading true), or end however they ended (false), before anything that
    /// comes of them is asked or shown: the licence download is one run, the release's files another.
    using TDownloadingEvent = std::function<void(TWebUpdate& sender, bool downloading)>;

    TWebUpdate();
    ~TWebUpdate() override;
    TWebUpdate(const TWebUpdate&) = delete;
    TWebUpdate& operator=(const TWebUpdate&) = delete;

    rtl::UnicodeString ManifestUrl() const override { return Config.ManifestUrl; }
    void SetManifestUrl(const rtl::UnicodeString& url) override { Config.ManifestUrl = url; }
    /// Reads the manifest and its signature; true when the signature holds and the manifest names a
    /// version above the program's. Without a server, false at once; network faults, unsigned or
    /// badly signed and malformed manifests are logged and answer false. The component
    /// shows no dialogs of its own, so showDialogs changes nothing.
    bool NewVersionAvailable(bool showDialogs) override;
    /// Reads the manifest again and, when it offers a newer version: has the licence accepted,
    /// downloads and verifies every file, installs them all or none, asks OnAppRestart and starts
    /// the program anew (ending this one's event loop). True when the files were installed and,
    /// unless OnAppRestart declined it, the new program was started.
    bool DoUpdate(bool silent) override;

    /// Finishes or rolls back an install that a crash interrupted, so that the program's folder is
    /// wholly old or wholly new; run once at start-up, before anything else. When rolling back put
    /// the program's own file back, this process is the new program among old files: it starts the
    /// old one and answers Restarted.
    TRecoveryResult RecoverInterruptedInstall();

    /// The manifest read last, when it was valid.
    const std::optional<TUpdateManifest>& Manifest() const { return _manifest; }
    /// Stops the update under way at once (from OnProgress, or a Cancel button while a download
    /// runs): it then ends with "Cancelled", installing nothing.
    void Cancel();
    /// Cancel was called during the current or last update.
    bool Cancelled() const { return _blCancelled; }

    /// The program that is updated and started anew: Config.ProgramFile, else this program's file
    /// as it was when the program started (the running file is renamed by the install).
    rtl::UnicodeString ProgramFile() const;
    /// What stopped the last call, empty when nothing did.
    const rtl::UnicodeString& LastError() const { return _szLastError; }
    bool LastCallFailed() const override { return !_szLastError.empty(); }
    rtl::UnicodeString UntoldError() const override { return _blTold ? rtl::UnicodeString() : _szLastError; }

    TWebUpdateConfig Config;
    TDownloadedEULAEvent OnDownloadedEULA; // unassigned: a licence counts as declined
    TAppRestartEvent OnAppRestart;
    TProgressEvent OnProgress;
    TDownloadingEvent OnDownloading;
    TFailureEvent OnFailure;
    TInstallStepHook OnInstallStep; // tests stop the install at a chosen step with it

private:
    struct TStagedFile;
    using TChunkSink = std::function<bool(const QByteArray& chunk)>;

    bool _ReadManifest();
    /// GETs url whole into body, refusing more than maxBytes (what refuses it is named by what).
    bool _FetchSmall(const QUrl& url, std::int64_t maxBytes, const rtl::UnicodeString& what,
                     QByteArray& body);
    /// GETs url into sink; gives up after TimeoutMs of silence, or totalMs in all when above 0.
    bool _Fetch(const QUrl& url, const TChunkSink& sink, const std::function<void(double)>& progress,
                int totalMs = 0);
    bool _Download(const TManifestFile& file, const rtl::UnicodeString& stagedPath, int index, int count);
    /// Downloads the licence and has it accepted; false when it was not (_blDeclined: by the user).
    bool _AcceptLicense(const rtl::UnicodeString& stagedPath);
    /// Fails unless the install folder can take an install, before anything is downloaded for it.
    bool _CheckInstallFolder();
    void _SetDownloading(bool downloading);
    bool _Install(const std::vector<TStagedFile>& staged);
    bool _Restart();
    rtl::UnicodeString _StagingFolder() const;
    rtl::UnicodeString _InstallFolder() const;
    bool _Fail(const rtl::UnicodeString& message);
    /// Hands the last failure to OnFailure; false.
    bool _TellUser();
    /// The longest a file of size bytes may take to download.
    int _DownloadDeadlineMs(std::int64_t size) const;
    void _Log(const rtl::UnicodeString& message) const;

    std::unique_ptr<QNetworkAccessManager> _pNetwork;
    std::optional<TUpdateManifest> _manifest;
    rtl::UnicodeString _szLastError;
    QNetworkReply* _pReply = nullptr; // the transfer under way
    bool _blDeclined = false;         // the last licence shown was declined
    bool _blCancelled = false;        // Cancel was called during this update
    bool _blDownloading = false;      // between OnDownloading(true) and OnDownloading(false)
    bool _blTold = false;             // the last failure was handed to OnFailure
};

} // namespace ven
