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

} // namespace ven
