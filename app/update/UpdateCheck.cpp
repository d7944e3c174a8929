#include "app/update/UpdateCheck.h"

#include "rtl/Exceptions.h"
#include "rtl/Registry.h"

#include <memory>
#include <vector>

namespace ven {

using rtl::UnicodeString;

namespace {

struct TCheckPlan {
    bool Check = true;
    UnicodeString Beta; // empty: the plain channel only
};

// A registry that cannot be read or written must not stop the program from starting: the check
// then runs with what was read so far.
// countSkip: a start-up, which the skip value counts down and may skip.
TCheckPlan ReadCheckPlan(bool countSkip) {
    TCheckPlan plan;
    auto reg = std::make_unique<rtl::TRegistry>();
    reg->RootKey = rtl::TRootKey::CurrentUser;
    try {
        if (reg->KeyExists(kProductRegistryKey) && reg->OpenKey(kProductRegistryKey, false)) {
            if (reg->ValueExists(u"Beta Programme")) {
                plan.Beta = reg->ReadString(u"Beta Programme");
            }
            if (countSkip && reg->ValueExists(u"Skip upgrade check")) {
                int skip = reg->ReadInteger(u"Skip upgrade check");
                if (skip > 0) {
                    plan.Check = false;
                    reg->WriteInteger(u"Skip upgrade check", skip <= 4 ? skip - 1 : 3);
                }
            }
        }
    } catch (const rtl::Exception&) {
    }
    reg->CloseKey();
    return plan;
}

constexpr char16_t kInstalledVersion[] = u"Installed version";
constexpr char16_t kLastFailure[] = u"Last update failure";
constexpr char16_t kLastFailureReason[] = u"Last update failure reason";
constexpr char16_t kLastGoodCheck[] = u"Last good update check";
constexpr char16_t kFailingSince[] = u"Update checks failing since";

// Moments are kept as whole seconds since day zero: exact in text, unlike a real number, and
// written without the locale.
rtl::TDateTime ReadMoment(rtl::TRegistry& reg, const char16_t* name) {
    return reg.ValueExists(name) ? static_cast<double>(rtl::StrToInt64(reg.ReadString(name))) / 86400.0 : 0;
}

UnicodeString MomentText(rtl::TDateTime when) {
    return rtl::IntToStr(static_cast<std::int64_t>(when * 86400.0));
}

template <typename TWrite> bool WriteProductKey(const TWrite& write) {
    auto reg = std::make_unique<rtl::TRegistry>();
    reg->RootKey = rtl::TRootKey::CurrentUser;
    try {
        if (!reg->OpenKey(kProductRegistryKey, true)) {
            return false;
        }
        write(*reg);
    } catch (const rtl::Exception&) {
        return false;
    }
    return true;
}

} // namespace

TUpdateRecord ReadUpdateRecord() {
    TUpdateRecord record;
    auto reg = std::make_unique<rtl::TRegistry>();
    reg->RootKey = rtl::TRootKey::CurrentUser;
    try {
        if (reg->KeyExists(kProductRegistryKey) && reg->OpenKey(kProductRegistryKey, false)) {
            if (reg->ValueExists(kInstalledVersion)) {
                record.InstalledVersion = reg->ReadString(kInstalledVersion);
            }
            if (reg->ValueExists(kLastFailureReason)) {
                record.LastFailureReason = reg->ReadString(kLastFailureReason);
            }
            record.LastFailure = ReadMoment(*reg, kLastFailure);
            record.LastGoodCheck = ReadMoment(*reg, kLastGoodCheck);
            record.FailingSince = ReadMoment(*reg, kFailingSince);
        }
    } catch (const rtl::Exception&) {
    }
    return record;
}

bool RecordInstalledVersion(const UnicodeString& version) {
    return WriteProductKey([&](rtl::TRegistry& reg) {
        reg.WriteString(kInstalledVersion, version);
        reg.WriteString(kLastFailure, u"0");
        reg.WriteString(kLastFailureReason, u"");
    });
}

bool RecordUpdateFailure(const UnicodeString& reason, rtl::TDateTime when) {
    // The reason goes on one line: the registry keeps values of one line only.
    UnicodeString line =
        rtl::StringReplace(rtl::StringReplace(reason, u"\r", u" ", rtl::TReplaceFlag::rfReplaceAll), u"\n",
                           u" ", rtl::TReplaceFlag::rfReplaceAll);
    return WriteProductKey([&](rtl::TRegistry& reg) {
        reg.WriteString(kLastFailure, MomentText(when));
        reg.WriteString(kLastFailureReason, line);
    });
}

bool RecordCheckOutcome(bool good, rtl::TDateTime when) {
    const bool failingAlready = ReadUpdateRecord().FailingSince > 0;
    return WriteProductKey([&](rtl::TRegistry& reg) {
        if (good) {
            reg.WriteString(kLastGoodCheck, MomentText(when));
            reg.WriteString(kFailingSince, u"0");
        } else if (!failingAlready) {
            reg.WriteString(kFailingSince, MomentText(when));
        }
    });
}

UnicodeString StaleCheckWarning(const TUpdateRecord& record, rtl::TDateTime now,
                                const UnicodeString& reason) {
    if (record.FailingSince <= 0) {
        return UnicodeString();
    }
    rtl::TDateTime since = record.LastGoodCheck > 0 ? record.LastGoodCheck : record.FailingSince;
    if (now - since <= kStaleCheckDays) {
        return UnicodeString();
    }
    UnicodeString text = u"Venturo MTD has not been able to check for updates since " +
                         rtl::FormatDateTime(u"dd/mm/yyyy", since) + u".";
    if (!reason.empty()) {
        text += u"\n\nThe last check failed: " + reason;
    }
    return text + u"\n\nMake sure that this computer can reach the update server, or install the latest "
                  u"version of Venturo MTD from your supplier.";
}

namespace {

// The manifest URL without the beta suffix that an earlier check may have left on it.
UnicodeString PlainUrl(const UnicodeString& url, const UnicodeString& beta) {
    UnicodeString suffix = u"." + beta;
    if (!beta.empty() && url.size() > suffix.size() && url.ends_with(suffix)) {
        return url.substr(0, url.size() - suffix.size());
    }
    return url;
}

// Installs from the channel that offered a newer version, the URL keeping that channel; else says
// whether the check failed. A check that read a believed manifest is recorded as good.
TUserCheckResult ActOnFinding(IWebUpdate& update, const TChannelFinding& finding) {
    update.SetManifestUrl(finding.OfferUrl.empty() ? finding.PlainUrl : finding.OfferUrl);
    // Without a server there is nothing that could fail for long.
    if (update.HasServer()) {
        RecordCheckOutcome(!finding.OfferUrl.empty() || !update.LastCallFailed(), rtl::Now());
    }
    if (!finding.OfferUrl.empty()) {
        return update.DoUpdate(true) ? TUserCheckResult::Updated : TUserCheckResult::NotUpdated;
    }
    return update.LastCallFailed() ? TUserCheckResult::CheckFailed : TUserCheckResult::UpToDate;
}

} // namespace

TStartupPlan PlanStartupCheck(const IWebUpdate& update) {
    if (!update.HasServer()) {
        return {};
    }
    TCheckPlan plan = ReadCheckPlan(true);
    // An update or a check that failed is not tried again at every start.
    TUpdateRecord record = ReadUpdateRecord();
    if (!plan.Check || (record.LastFailure > 0 && rtl::Now() - record.LastFailure < kRetryAfterFailureDays)) {
        return {};
    }
    return {true, plan.Beta};
}

TChannelFinding FindNewVersion(IWebUpdate& update, const UnicodeString& beta,
                               const std::function<bool()>& stop) {
    TChannelFinding finding{UnicodeString(), PlainUrl(update.ManifestUrl(), beta)};
    std::vector<UnicodeString> channels;
    if (!beta.empty()) {
        channels.push_back(finding.PlainUrl + u"." + beta);
    }
    channels.push_back(finding.PlainUrl);
    for (const UnicodeString& url : channels) {
        if (stop && stop()) {
            break;
        }
        update.SetManifestUrl(url);
        if (update.NewVersionAvailable(false)) {
            finding.OfferUrl = url;
            break;
        }
    }
    return finding;
}

TStartupCheckResult FinishStartupCheck(IWebUpdate& update, const TChannelFinding& finding) {
    TStartupCheckResult result;
    result.Outcome = ActOnFinding(update, finding);
    if (result.Outcome == TUserCheckResult::CheckFailed) {
        // A manifest that never arrived rests the next starts as a failed update does.
        UnicodeString reason = update.UntoldError();
        if (!reason.empty()) {
            RecordUpdateFailure(reason, rtl::Now());
        }
        result.StaleWarning = StaleCheckWarning(ReadUpdateRecord(), rtl::Now(), reason);
    }
    return result;
}

bool RunStartupUpdateCheck(IWebUpdate& update) {
    TStartupPlan plan = PlanStartupCheck(update);
    if (!plan.Check) {
        return false;
    }
    FinishStartupCheck(update, FindNewVersion(update, plan.Beta));
    return true;
}

TUserCheckResult RunUserUpdateCheck(IWebUpdate& update) {
    return ActOnFinding(update, FindNewVersion(update, ReadCheckPlan(false).Beta));
}

} // namespace ven
