#pragma once
// The start-up update check of the main window: channel choice (beta suffix), the skip counter,
// and the questions put to the web-update component.
#include "rtl/DateTime.h"
#include "rtl/UnicodeString.h"

#include <functional>
#include <memory>

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
    /// Whether there is a server to ask at all.
    virtual bool HasServer() const { return true; }
    /// Stops the call under way at once; to be called on the thread that made the call.
    virtual void Cancel() {}
    /// A component with the same settings, to be asked NewVersionAvailable on another thread: it
    /// tells nobody and writes nothing to the registry. Null: this one is asked on its own thread.
    virtual std::unique_ptr<IWebUpdate> CloneForCheck() const { return nullptr; }
    /// Takes over what a clone from CloneForCheck came to (its address, what its manifest offered,
    /// what stopped it, and tells the user what the clone could not): as if this one had asked.
    virtual void TakeFinding(IWebUpdate& /*clone*/) {}
};

/// The registry key of the product's own settings (under HKEY_CURRENT_USER).
inline constexpr char16_t kProductRegistryKey[] = u"SOFTWARE\\Corvane\\Venturo MTD\\";

/// What earlier updates left in the registry: the version last installed, and the last failure.
struct TUpdateRecord {
    rtl::UnicodeString InstalledVersion; // empty: none recorded
    rtl::TDateTime LastFailure = 0;      // 0: none since the last install
    rtl::UnicodeString LastFailureReason;
    rtl::TDateTime LastGoodCheck = 0; // the last check that read a believed manifest; 0: none
    rtl::TDateTime FailingSince = 0;  // the first failed check since then; 0: the last one held
};

/// How long the start-up check rests after a failed update or check (days).
inline constexpr double kRetryAfterFailureDays = 1.0;
/// After how long without a good check the user is told (days).
inline constexpr double kStaleCheckDays = 30.0;

/// Reads the record; an unreadable registry gives an empty one.
TUpdateRecord ReadUpdateRecord();
/// Records version as installed and forgets the last failure; false when it cannot be written.
bool RecordInstalledVersion(const rtl::UnicodeString& version);
/// Records a failed update at when, with its reason; false when it cannot be written.
bool RecordUpdateFailure(const rtl::UnicodeString& reason, rtl::TDateTime when);
/// Records a check made at when: a good one (a manifest read and believed) or a failed one.
bool RecordCheckOutcome(bool good, rtl::TDateTime when);
/// What to tell the user when checks have failed for more than kStaleCheckDays by now (counted
/// from the last good check, or the first failure when there never was one); empty otherwise.
rtl::UnicodeString StaleCheckWarning(const TUpdateRecord& record, rtl::TDateTime now,
                                     const rtl::UnicodeString& reason);

/// What a check came to.
enum class TUserCheckResult {
    UpToDate,    // no channel offers a newer version
    Updated,     // a newer version was installed (and the program started anew unless declined)
    NotUpdated,  // one was offered but not installed: declined, cancelled, or a failure already shown
    CheckFailed, // the manifest could not be read or believed; UntoldError says why unless told
};

/// What this start's check is to do: whether to check at all, and the beta channel (empty: none).
struct TStartupPlan {
    bool Check = false;
    rtl::UnicodeString Beta;
};
/// Reads "Beta Programme" and "Skip upgrade check" and counts the skip value down. No check when
/// this start is skipped (by the counter, or by a failure less than kRetryAfterFailureDays ago) or
/// the component has no server.
TStartupPlan PlanStartupCheck(const IWebUpdate& update);

/// Which channel offers a newer version.
struct TChannelFinding {
    rtl::UnicodeString OfferUrl; // the manifest that offers one; empty: none does
    rtl::UnicodeString PlainUrl; // the plain channel's manifest
};
/// Asks the beta channel first (when set), then the plain one, and stops at the first that offers
/// a newer version; stop, when given, is asked before each channel.
TChannelFinding FindNewVersion(IWebUpdate& update, const rtl::UnicodeString& beta,
                               const std::function<bool()>& stop = {});

/// What the start-up check came to, and what the user is to be told of checks failing for long.
struct TStartupCheckResult {
    TUserCheckResult Outcome = TUserCheckResult::UpToDate;
    rtl::UnicodeString StaleWarning; // empty: nothing
};
/// Acts on what the channels answered the component: installs from the channel that offered a
/// newer version, or records the check as good or failed (a failure rests the next starts, a
/// manifest that never arrived included).
TStartupCheckResult FinishStartupCheck(IWebUpdate& update, const TChannelFinding& finding);

/// PlanStartupCheck, FindNewVersion and FinishStartupCheck in one, on the caller's thread (the
/// program makes the check off its GUI thread with TStartupUpdateCheck). Returns whether a check
/// was made.
bool RunStartupUpdateCheck(IWebUpdate& update);

/// The check the user asks for: the channels of the start-up check, at once. Neither the day of
/// rest after a failure nor "Skip upgrade check" holds it back, and the skip value is not counted
/// down (it counts starts, and this is none).
TUserCheckResult RunUserUpdateCheck(IWebUpdate& update);

} // namespace ven
