#include "app/update/WebUpdate.h"

#include "app/update/ProgramRestart.h"
#include "app/update/UpdateInstall.h"
#include "app/update/UpdateSignature.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/KnownFolders.h"
#include "rtl/NoFollowFiles.h"

#include "BuildConfig.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <utility>

namespace ven {

using rtl::UnicodeString;
using rtl::UnicodeStringView;

namespace {

QString ToQ(UnicodeStringView s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

UnicodeString FromQ(const QString& s) {
    return UnicodeString(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

UnicodeString UrlText(const QUrl& url) {
    return FromQ(url.toDisplayString());
}

bool IsLoopbackHost(const QUrl& url) {
    QHostAddress address;
    return address.setAddress(url.host()) && address.isLoopback();
}

// Removes what a download put into the staging folder, whatever happened.
class TStagingGuard {
public:
    explicit TStagingGuard(UnicodeString folder) : _szFolder(std::move(folder)) {}
    ~TStagingGuard() {
        for (const UnicodeString& file : _files) {
            rtl::DeleteFile(file);
        }
        rtl::RemoveEmptyFolder(_szFolder); // only when empty: the folder may hold files of others
    }
    TStagingGuard(const TStagingGuard&) = delete;
    TStagingGuard& operator=(const TStagingGuard&) = delete;
    const UnicodeString& Add(UnicodeString file) { return _files.emplace_back(std::move(file)); }

private:
    UnicodeString _szFolder;
    std::vector<UnicodeString> _files;
};

// Creates folder (and its parents) when missing, letting only its owner in; a folder that exists
// is the user's own choice and left as it is.
bool MakePrivateFolder(const UnicodeString& folder) {
    if (rtl::DirectoryExists(folder)) {
        return true;
    }
    return rtl::ForceDirectories(folder) &&
           QFile::setPermissions(ToQ(folder),
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

UnicodeString ManifestUrlOnServer(UnicodeStringView serverUrl) {
    UnicodeString base = rtl::Trim(serverUrl);
    while (!base.empty() && base.back() == u'/') {
        base.pop_back();
    }
    return base.empty() ? UnicodeString() : base + u"/" + kManifestName;
}

UnicodeString UserUpdateFolder() {
    UnicodeString base = rtl::GetKnownFolder(rtl::TKnownFolder::Cache);
    if (base.empty()) {
        base = rtl::GetKnownFolder(rtl::TKnownFolder::Temp);
    }
    return rtl::CombinePath(base, u"Venturo MTD");
}

bool IsAllowedUpdateUrl(const UnicodeString& url) {
    QUrl u(ToQ(url), QUrl::StrictMode);
    if (!u.isValid() || u.host().isEmpty()) {
        return false;
    }
    QString scheme = u.scheme().toLower();
    return scheme == QLatin1String("https") || (scheme == QLatin1String("http") && IsLoopbackHost(u));
}

struct TWebUpdate::TStagedFile {
    TManifestFile File;
    UnicodeString Path;
};

TWebUpdate::TWebUpdate() {
    Config.ManifestUrl = ManifestUrlOnServer(rtl::U(VENTURO_UPDATE_SERVER_URL));
    Config.ProgramVersion = rtl::U(VENTURO_PRODUCT_VERSION);
    Config.PublicKey = rtl::U(VENTURO_UPDATE_PUBLIC_KEY);
    // Never the current folder: it may be a dataset's, which the program only reads.
    Config.TempFolder = UserUpdateFolder();
    Config.LogFile = rtl::CombinePath(Config.TempFolder, u"WUPDATE.LOG");
}

TWebUpdate::~TWebUpdate() = default;

bool TWebUpdate::NewVersionAvailable(bool /*showDialogs*/) {
    bool read = _ReadManifest();
    if (_blClone) {
        _pNetwork.reset(); // a clone's transfers end with its thread's work; so does their manager
    }
    if (!read) {
        return false;
    }
    int order = 0;
    UnicodeString installed = Config.ProgramVersion;
    try {
        // A version recorded as installed counts too: a release whose files carry an older
        // compiled-in version is not installed again at every start.
        UnicodeString recorded = _recordedVersion          ? *_recordedVersion
                                 : Config.RecordInRegistry ? ReadUpdateRecord().InstalledVersion
                                                           : UnicodeString();
        if (IsValidVersion(recorded) && CompareVersions(recorded, installed) > 0) {
            installed = recorded;
        }
        order = CompareVersions(_manifest->Version, installed);
    } catch (const rtl::Exception& e) {
        return _Fail(u"This program's version: " + e.Message());
    }
    // The program's own version, and the recorded one when it is higher: what actually runs shows.
    UnicodeString ours = u"this program is " + Config.ProgramVersion;
    if (installed != Config.ProgramVersion) {
        ours += u", version " + installed + u" is recorded as installed";
    }
    _Log(order > 0 ? u"Version " + _manifest->Version + u" is available; " + ours
                   : u"No newer version: the manifest offers " + _manifest->Version + u", " + ours);
    _blNewer = order > 0;
    return _blNewer;
}

bool TWebUpdate::HasServer() const {
    return !QUrl(ToQ(Config.ManifestUrl)).host().isEmpty();
}

std::unique_ptr<IWebUpdate> TWebUpdate::CloneForCheck() const {
    auto clone = std::make_unique<TWebUpdate>();
    clone->Config = Config;
    clone->Config.RecordInRegistry = false;
    clone->_blClone = true;
    clone->_recordedVersion = Config.RecordInRegistry ? ReadUpdateRecord().InstalledVersion : UnicodeString();
    return clone;
}

void TWebUpdate::TakeFinding(IWebUpdate& other) {
    auto* clone = dynamic_cast<TWebUpdate*>(&other);
    if (!clone) {
        return;
    }
    Config.ManifestUrl = clone->Config.ManifestUrl;
    _manifest = clone->_manifest;
    _szLastError = clone->_szLastError;
    _blNewer = clone->_blNewer;
    _blFound = _blNewer;
    _blTold = false;
    if (clone->_blTellLater) {
        _TellUser();
    }
}

bool TWebUpdate::DoUpdate(bool /*silent*/) {
    // A manifest taken from a clone was read and believed just now: it is not read a second time.
    if (std::exchange(_blFound, false) && _manifest) {
        _szLastError.clear();
        _blTold = false;
        _blCancelled = false;
    } else if (!NewVersionAvailable(false)) {
        return false;
    }
    // A folder that cannot take the files is found before anything is fetched for it.
    if (!_CheckInstallFolder()) {
        return _TellUser();
    }
    UnicodeString staging = _StagingFolder();
    // What an earlier run left goes first: links planted there are removed, never followed, and a
    // link (or a file) in the download folder's place is no folder of ours to use.
    if (rtl::RemoveFolderTree(staging) == rtl::TRemoveTreeResult::rtForeign) {
        _Fail(u"The download folder " + staging + u" is a link or a file; it was left as it is");
        return _TellUser();
    }
    if (!MakePrivateFolder(Config.TempFolder) || !MakePrivateFolder(staging)) {
        _Fail(u"Cannot create the download folder " + staging);
        return _TellUser();
    }
    TStagingGuard guard(staging);
    if (_manifest->License && !_AcceptLicense(guard.Add(rtl::CombinePath(staging, u"license.part")))) {
        // Neither the user's own choice nor a cancel is a failure to tell of.
        return _blDeclined || _blCancelled ? false : _TellUser();
    }
    std::vector<TStagedFile> staged;
    const int count = static_cast<int>(_manifest->Files.size());
    _SetDownloading(true);
    for (int i = 0; i < count; ++i) {
        const TManifestFile& file = _manifest->Files[static_cast<size_t>(i)];
        const UnicodeString& path = guard.Add(rtl::CombinePath(staging, rtl::IntToStr(i) + u".part"));
        if (!_Download(file, path, i + 1, count)) {
            _SetDownloading(false);
            return _blCancelled ? false : _TellUser();
        }
        staged.push_back({file, path});
    }
    _SetDownloading(false);
    if (!_Install(staged)) {
        return _TellUser();
    }
    _Log(u"Version " + _manifest->Version + u" installed");
    if (Config.RecordInRegistry) {
        RecordInstalledVersion(_manifest->Version);
    }
    bool allowRestart = true;
    if (OnAppRestart) {
        OnAppRestart(*this, allowRestart);
    }
    return !allowRestart || _Restart() || _TellUser();
}

void TWebUpdate::Cancel() {
    _blCancelled = true;
    // At once, not at the transfer's next event: a silent server sends none.
    if (_pReply) {
        _pReply->abort();
    }
}

void TWebUpdate::_SetDownloading(bool downloading) {
    _blDownloading = downloading;
    if (OnDownloading) {
        OnDownloading(*this, downloading);
    }
}

bool TWebUpdate::_CheckInstallFolder() {
    try {
        CheckInstallFolder(_InstallFolder(), OnInstallStep);
    } catch (const EInstallFolderNotWritable& e) {
        // Installed for every user: its installer replaces it, and the two must not both change it.
        return _Fail(
            u"Cannot install into " + _InstallFolder() + u": " + e.Message() +
            u" (Venturo MTD was installed there for every user of this computer). Install Venturo MTD " +
            _manifest->Version + u" with its installer instead; nothing was downloaded");
    } catch (const rtl::Exception& e) {
        return _Fail(u"Cannot install into " + _InstallFolder() + u": " + e.Message() +
                     u"; nothing was downloaded");
    }
    return true;
}

bool TWebUpdate::_ReadManifest() {
    _manifest.reset();
    _blNewer = false;
    _blFound = false;
    _blTellLater = false;
    _szLastError.clear();
    _blTold = false;
    _blCancelled = false; // each check or update starts afresh
    QUrl url(ToQ(Config.ManifestUrl));
    if (url.host().isEmpty()) {
        // No server configured: nothing to ask and nothing worth logging.
        _szLastError = u"No update server";
        return false;
    }
    if (!IsAllowedUpdateUrl(Config.ManifestUrl)) {
        return _Fail(u"Refused " + Config.ManifestUrl + u": only https is allowed");
    }
    QByteArray body, signature;
    if (!_FetchSmall(url, Config.MaxManifestBytes, u"the manifest", body)) {
        return false;
    }
    QUrl signatureUrl = url;
    signatureUrl.setPath(url.path() + ToQ(kSignatureSuffix));
    if (!_FetchSmall(signatureUrl, Config.MaxSignatureBytes, u"the signature", signature)) {
        _Fail(UrlText(url) + u" is not signed (" + _szLastError + u"); nothing was downloaded");
        return _TellUser();
    }
    // Nothing in the manifest counts, not even its version, until its signature holds.
    UnicodeString untrusted = CheckManifestSignature(
        std::string_view(body.constData(), static_cast<size_t>(body.size())),
        std::string_view(signature.constData(), static_cast<size_t>(signature.size())), Config.PublicKey);
    if (!untrusted.empty()) {
        _Fail(UrlText(url) + u" is not trusted: " + untrusted + u"; nothing was downloaded");
        return _TellUser();
    }
    try {
        _manifest = ParseUpdateManifest(rtl::DecodeText(std::string_view(body.constData(), body.size())),
                                        Config.Format);
    } catch (const rtl::Exception& e) {
        return _Fail(UrlText(url) + u": " + e.Message());
    }
    // A signed manifest served again after its time could hold the program on an old version.
    if (UnicodeString fault = ManifestExpiryFault(*_manifest, rtl::NowUtc()); !fault.empty()) {
        _manifest.reset();
        return _Fail(UrlText(url) + u" is not believed: " + fault + u"; nothing was downloaded");
    }
    _Log(u"Read " + UrlText(url) + u": version " + _manifest->Version + u" of " +
         rtl::FormatDateTime(u"dd/mm/yyyy hh:nn", _manifest->ReleaseDate));
    return true;
}

bool TWebUpdate::_FetchSmall(const QUrl& url, std::int64_t maxBytes, const UnicodeString& what,
                             QByteArray& body) {
    bool tooLarge = false;
    bool fetched = _Fetch(
        url,
        [&](const QByteArray& chunk) {
            tooLarge = body.size() + chunk.size() > maxBytes;
            if (!tooLarge) {
                body += chunk;
            }
            return !tooLarge;
        },
        {}, 2 * Config.TimeoutMs);
    if (tooLarge) {
        return _Fail(UrlText(url) + u": " + what + u" is larger than " + rtl::IntToStr(maxBytes) + u" bytes");
    }
    return fetched;
}

bool TWebUpdate::_Fetch(const QUrl& url, const TChunkSink& sink, const std::function<void(double)>& progress,
                        int totalMs) {
    if (!QCoreApplication::instance()) {
        return _Fail(u"No application event loop to fetch " + UrlText(url));
    }
    if (!_pNetwork) {
        _pNetwork = std::make_unique<QNetworkAccessManager>();
    }
    // Loopback is only used by local test servers, which a proxy could not reach.
    _pNetwork->setProxy(IsLoopbackHost(url) ? QNetworkProxy(QNetworkProxy::NoProxy)
                                            : QNetworkProxy(QNetworkProxy::DefaultProxy));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, ToQ(Config.UserAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setMaximumRedirectsAllowed(5);

    std::unique_ptr<QNetworkReply> reply(_pNetwork->get(request));
    QNetworkReply* r = reply.get();
    // Cancel aborts the transfer under way, and none once this one is over, however it ends.
    struct TActiveReply {
        QNetworkReply*& Active;
        ~TActiveReply() { Active = nullptr; }
    } active{_pReply};
    _pReply = r;
    QEventLoop loop;
    QTimer silence, deadline;
    silence.setSingleShot(true);
    silence.setInterval(Config.TimeoutMs);
    deadline.setSingleShot(true);
    bool timedOut = false, late = false, stopped = false;
    QUrl refused;
    auto accept = [&] {
        QByteArray chunk = r->readAll();
        if (!stopped && r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 &&
            !chunk.isEmpty() && !sink(chunk)) {
            stopped = true;
            r->abort();
        }
    };
    QObject::connect(&silence, &QTimer::timeout, [&] {
        timedOut = true;
        r->abort();
    });
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        late = true;
        r->abort();
    });
    QObject::connect(r, &QNetworkReply::redirected, [&](const QUrl& to) {
        // Never from https down to http, not even to a loopback address.
        bool downgrade = url.scheme().toLower() == QLatin1String("https") &&
                         to.scheme().toLower() != QLatin1String("https");
        if (!downgrade && IsAllowedUpdateUrl(FromQ(to.toString()))) {
            emit r->redirectAllowed();
        } else {
            refused = to;
            r->abort();
        }
    });
    QObject::connect(r, &QNetworkReply::readyRead, [&] {
        silence.start();
        accept();
    });
    QObject::connect(r, &QNetworkReply::downloadProgress, [&](qint64 received, qint64 total) {
        silence.start();
        if (progress && total > 0) {
            progress(100.0 * static_cast<double>(received) / static_cast<double>(total));
        }
    });
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    silence.start();
    if (totalMs > 0) {
        deadline.start(totalMs);
    }
    if (_blCancelled) {
        r->abort(); // cancelled between two files
    }
    // The caller waits for the answer. The user's input waits with it, unless a progress window
    // (modal, so the only one that takes input) shows the download and offers its Cancel.
    if (!r->isFinished()) {
        loop.exec(_blDownloading && Config.UserInputWhileDownloading ? QEventLoop::AllEvents
                                                                     : QEventLoop::ExcludeUserInputEvents);
    }
    silence.stop();
    deadline.stop();
    if (r->error() == QNetworkReply::NoError) {
        accept();
    }
    int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (_blCancelled) {
        return _Fail(UrlText(url) + u": Cancelled; nothing was installed");
    }
    if (stopped) {
        return false; // the sink refused the data; its owner says why
    }
    if (late) {
        return _Fail(UrlText(url) + u": no complete answer within " + rtl::IntToStr(totalMs) + u" ms");
    }
    if (timedOut) {
        return _Fail(UrlText(url) + u": no answer within " + rtl::IntToStr(Config.TimeoutMs) + u" ms");
    }
    if (!refused.isEmpty()) {
        return _Fail(UrlText(url) + u": refused the redirection to " + UrlText(refused));
    }
    if (r->error() != QNetworkReply::NoError) {
        return _Fail(UrlText(url) + u": " + FromQ(r->errorString()));
    }
    if (status != 200) {
        return _Fail(UrlText(url) + u": HTTP status " + rtl::IntToStr(status));
    }
    return true;
}

bool TWebUpdate::_Download(const TManifestFile& file, const UnicodeString& stagedPath, int index, int count) {
    QFile out(ToQ(stagedPath));
    // A new file only: whatever already holds the name, a planted link included, is refused.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return _Fail(u"Cannot write " + stagedPath);
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::int64_t received = 0;
    bool written = true;
    QUrl relative;
    relative.setPath(ToQ(file.Name), QUrl::DecodedMode);
    QUrl url = QUrl(ToQ(Config.ManifestUrl)).resolved(relative);
    bool fetched = _Fetch(
        url,
        [&](const QByteArray& chunk) {
            received += chunk.size();
            if (received > file.Size) {
                return false;
            }
            hash.addData(chunk);
            written = out.write(chunk) == chunk.size();
            return written;
        },
        [&](double percent) {
            if (OnProgress) {
                OnProgress(*this, index, count, file.Name, percent);
            }
        },
        _DownloadDeadlineMs(file.Size));
    out.close();
    if (!written || out.error() != QFileDevice::NoError) {
        return _Fail(u"Cannot write " + stagedPath);
    }
    if (received > file.Size || (fetched && received != file.Size)) {
        return _Fail(file.Name + u": expected " + rtl::IntToStr(file.Size) + u" bytes, received " +
                     (received > file.Size ? u"more" : rtl::IntToStr(received)));
    }
    if (!fetched) {
        return false;
    }
    if (FromQ(QString::fromLatin1(hash.result().toHex())) != file.Sha256) {
        return _Fail(file.Name + u": the SHA-256 digest does not match the manifest");
    }
    return true;
}

bool TWebUpdate::_AcceptLicense(const UnicodeString& stagedPath) {
    _blDeclined = false;
    _SetDownloading(true);
    bool fetched = _Download(*_manifest->License, stagedPath, 0, static_cast<int>(_manifest->Files.size()));
    _SetDownloading(false);
    if (!fetched) {
        return false;
    }
    rtl::TStringList lines;
    try {
        rtl::TBytes bytes = rtl::ReadAllBytes(stagedPath);
        lines.SetText(
            rtl::DecodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
    } catch (const rtl::Exception& e) {
        return _Fail(e.Message());
    }
    bool accept = false;
    if (OnDownloadedEULA) {
        OnDownloadedEULA(*this, lines, accept);
    }
    _blDeclined = !accept;
    return accept || _Fail(u"Licence declined: nothing was installed");
}

bool TWebUpdate::_Install(const std::vector<TStagedFile>& staged) {
    std::vector<TInstallFile> files;
    for (const TStagedFile& s : staged) {
        files.push_back({s.File.Name, s.Path, s.File.Size, s.File.Sha256});
    }
    try {
        InstallFiles(_InstallFolder(), files, OnInstallStep);
    } catch (const rtl::Exception& e) {
        return _Fail(e.Message());
    }
    return true;
}

TRecoveryResult TWebUpdate::RecoverInterruptedInstall() {
    const UnicodeString program = ProgramFile();
    const rtl::TFileIdentity running = rtl::FileIdentity(program);
    try {
        UnicodeString done = ven::RecoverInterruptedInstall(_InstallFolder());
        if (done.empty()) {
            return TRecoveryResult::Ready;
        }
        _Log(done + u" in " + _InstallFolder());
    } catch (const EInstallDamaged& e) {
        _Fail(e.Message());
        return TRecoveryResult::Damaged;
    } catch (const rtl::Exception& e) {
        _Fail(u"An interrupted install could not be finished: " + e.Message());
        return TRecoveryResult::Failed;
    }
    if (rtl::FileIdentity(program) == running) {
        return TRecoveryResult::Ready;
    }
    // This process runs the new program, whose file was just replaced by the old one: the old
    // program goes on, among its own files.
    if (!StartProgram(program)) {
        _Fail(u"The old program " + program + u" was put back but could not be started");
        return TRecoveryResult::Failed;
    }
    _Log(u"Restarting the old program " + program);
    return TRecoveryResult::Restarted;
}

bool TWebUpdate::_Restart() {
    UnicodeString program = ProgramFile();
    if (!StartProgram(program)) {
        return _Fail(u"Version " + _manifest->Version + u" was installed, but " + program +
                     u" could not be started again");
    }
    _Log(u"Restarting " + program);
    QCoreApplication::quit();
    return true;
}

UnicodeString TWebUpdate::ProgramFile() const {
    return Config.ProgramFile.empty() ? rtl::ApplicationExeName() : Config.ProgramFile;
}

UnicodeString TWebUpdate::_StagingFolder() const {
    return rtl::CombinePath(Config.TempFolder, Config.Format.Signature + u".tmp");
}

UnicodeString TWebUpdate::_InstallFolder() const {
    if (!Config.InstallFolder.empty()) {
        return Config.InstallFolder;
    }
    return rtl::ExtractFileDir(ProgramFile());
}

int TWebUpdate::_DownloadDeadlineMs(std::int64_t size) const {
    // A trickle that never goes silent must still end.
    std::int64_t scaled = size * 1000 / std::max<std::int64_t>(Config.MinBytesPerSecond, 1);
    return static_cast<int>(
        std::clamp<std::int64_t>(scaled, Config.MinDownloadMs, std::numeric_limits<int>::max()));
}

bool TWebUpdate::_TellUser() {
    if (_blClone) {
        _blTellLater = true; // told on the owner's thread, by the component that takes the finding
        return false;
    }
    _blTold = true;
    if (Config.RecordInRegistry) {
        RecordUpdateFailure(_szLastError, rtl::Now());
    }
    if (OnFailure) {
        OnFailure(*this, _szLastError);
    }
    return false;
}

bool TWebUpdate::_Fail(const UnicodeString& message) {
    _szLastError = message;
    _Log(message);
    return false;
}

void TWebUpdate::_Log(const UnicodeString& message) const {
    if (Config.LogFile.empty()) {
        return;
    }
    try {
        if (!rtl::DirectoryExists(rtl::ExtractFileDir(Config.LogFile))) {
            MakePrivateFolder(rtl::ExtractFileDir(Config.LogFile));
        }
        // Appended without following a link: a link planted in the log's place is not written through.
        std::string line =
            rtl::StringToUtf8(rtl::FormatDateTime(u"yyyy-mm-dd hh:nn:ss", rtl::Now()) + u"  " + message) +
            "\r\n";
        rtl::AppendToFileNoFollow(Config.LogFile, line);
    } catch (const rtl::Exception&) {
        // A log that cannot be written must not stop the program.
    }
}

} // namespace ven
