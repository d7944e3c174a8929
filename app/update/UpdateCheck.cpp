#include "app/update/UpdateCheck.h"

#include "rtl/Exceptions.h"
#include "rtl/Registry.h"

#include <memory>

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
            if (reg->ValueExists(kLastFailure)) {
                // Whole seconds since day zero: exact in text, unlike a real number.
                record.LastFailure =
                    static_cast<double>(rtl::StrToInt64(reg->ReadString(kLastFailure))) / 86400.0;
            }
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
        reg.WriteString(kLastFailure, rtl::IntToStr(static_cast<std::int64_t>(when * 86400.0)));
        reg.WriteString(kLastFailureReason, line);
    });
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

// Asks the beta channel first (when set), then the plain one, and updates from the first that
// offers a newer version; the URL keeps the channel that offered it.
TUserCheckResult CheckChannels(IWebUpdate& update, const UnicodeString& beta) {
    UnicodeString plain = PlainUrl(update.ManifestUrl(), beta);
    if (!beta.empty()) {
        update.SetManifestUrl(plain + u"." + beta);
        if (update.NewVersionAvailable(false)) {
            return update.DoUpdate(true) ? TUserCheckResult::Updated : TUserCheckResult::NotUpdated;
        }
    }
    update.SetManifestUrl(plain);
    if (update.NewVersionAvailable(false)) {
        return update.DoUpdate(true) ? TUserCheckResult::Updated : TUserCheckResult::NotUpdated;
    }
    return update.LastCallFailed() ? TUserCheckResult::CheckFailed : TUserCheckResult::UpToDate;
}

} // namespace

bool RunStartupUpdateCheck(IWebUpdate& update) {
    TCheckPlan plan = ReadCheckPlan(true);
    if (!plan.Check) {
        return false;
    }
    // An update that failed is not downloaded again at every start.
    TUpdateRecord record = ReadUpdateRecord();
    if (record.LastFailure > 0 && rtl::Now() - record.LastFailure < kRetryAfterFailureDays) {
        return false;
    }
    CheckChannels(update, plan.Beta);
    return true;
}

TUserCheckResult RunUserUpdateCheck(IWebUpdate& update) {
    return CheckChannels(update, ReadCheckPlan(false).Beta);
}

} // namespace ven
