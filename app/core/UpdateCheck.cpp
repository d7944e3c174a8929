#include "app/core/UpdateCheck.h"

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
TCheckPlan ReadCheckPlan() {
    TCheckPlan plan;
    auto reg = std::make_unique<rtl::TRegistry>();
    reg->RootKey = rtl::TRootKey::CurrentUser;
    try {
        if (reg->KeyExists(kProductRegistryKey) && reg->OpenKey(kProductRegistryKey, false)) {
            if (reg->ValueExists(u"Beta Programme")) {
                plan.Beta = reg->ReadString(u"Beta Programme");
            }
            if (reg->ValueExists(u"Skip upgrade check")) {
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

} // namespace

bool RunStartupUpdateCheck(IWebUpdate& update) {
    TCheckPlan plan = ReadCheckPlan();
    if (!plan.Check) {
        return false;
    }
    if (!plan.Beta.empty()) {
        update.SetManifestUrl(update.ManifestUrl() + u"." + plan.Beta);
    }
    if (update.NewVersionAvailable(false)) {
        update.DoUpdate(true);
    } else if (!plan.Beta.empty()) {
        UnicodeString url = update.ManifestUrl();
        url.resize(url.size() >= plan.Beta.size() + 1 ? url.size() - plan.Beta.size() - 1 : 0);
        update.SetManifestUrl(url);
        if (update.NewVersionAvailable(false)) {
            update.DoUpdate(true);
        }
    }
    return true;
}

} // namespace ven
