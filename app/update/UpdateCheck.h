#pragma once
// The start-up update check of the main window: channel choice (beta suffix), the skip counter,
// and the questions put to the web-update component.
#include "rtl/DateTime.h"
#include "rtl/UnicodeString.h"

namespace ven {

/// What the main window needs of a web-update component.
class IWebUpdate {
public:
    virtual ~IWebUpdate() = default;
    virtual rtl::UnicodeString ManifestUrl() const = 0;
    virtual void SetManifestUrl(const rtl::UnicodeString& url) = 0;
    /// Whether the manifest at the URL offers a newer version than this program.
    virtual bool NewVersionAvailable(bool showDialogs) = 0;
    /// Downloads and installs the newer version and restarts the program; false when it did not.
    virtual bool DoUpdate(bool silent) = 0;
    /// Whether something stopped the last call (a manifest not read or not believed included).
    virtual bool LastCallFailed() const { return !UntoldError().empty(); }
    /// What stopped the last call, unless the user was already told of it; empty otherwise.
    virtual rtl::UnicodeString UntoldError() const { return rtl::UnicodeString(); }
};

/// The registry key of the product's own settings (under HKEY_CURRENT_USER).
inline constexpr char16_t kProductRegistryKey[] = u"SOFTWARE\\Corvane\\Venturo MTD\\";

/// What earlier updates left in the registry: the version last installed, and the last failure.
struct TUpdateRecord {
    rtl::UnicodeString InstalledVersion; // empty: none recorded
    rtl::TDateTime LastFailure = 0;      // 0: none since the last install
    rtl::UnicodeString LastFailureReason;
};

/// How long the start-up check rests after a failed update (days).
inline constexpr double kRetryAfterFailureDays = 1.0;

/// Reads the record; an unreadable registry gives an empty one.
TUpdateRecord ReadUpdateRecord();
/// Records version as installed and forgets the last failure; false when it cannot be written.
bool RecordInstalledVersion(const rtl::UnicodeString& version);
/// Records a failed update at when, with its reason; false when it cannot be written.
bool RecordUpdateFailure(const rtl::UnicodeString& reason, rtl::TDateTime when);

/// Reads "Beta Programme" and "Skip upgrade check", counts the skip value down, and unless this
/// start is skipped (by the counter, or by a failed update less than kRetryAfterFailureDays ago) asks the
/// component on the beta channel first (when set), then on the plain one. Returns whether a check was made.
bool RunStartupUpdateCheck(IWebUpdate& update);

/// What a check that the user asked for came to.
enum class TUserCheckResult {
    UpToDate,    // no channel offers a newer version
    Updated,     // a newer version was installed (and the program started anew unless declined)
    NotUpdated,  // one was offered but not installed: declined, cancelled, or a failure already shown
    CheckFailed, // the manifest could not be read or believed; UntoldError says why unless told
};

/// The check the user asks for: the channels of the start-up check, at once. Neither the day of
/// rest after a failure nor "Skip upgrade check" holds it back, and the skip value is not counted
/// down (it counts starts, and this is none).
TUserCheckResult RunUserUpdateCheck(IWebUpdate& update);

} // namespace ven
