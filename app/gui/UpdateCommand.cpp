#include "app/gui/UpdateCommand.h"

#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/update/StartupUpdateCheck.h"
#include "app/update/UpdateCheck.h"

namespace ven {

void ShowUserUpdateCheck(QWidget* parent, IWebUpdate& update) {
    switch (RunUserUpdateCheck(update)) {
    case TUserCheckResult::UpToDate:
        MessageBox::information(parent, QStringLiteral("There is no newer version of Venturo MTD."));
        break;
    case TUserCheckResult::CheckFailed:
        if (rtl::UnicodeString reason = update.UntoldError(); !reason.empty()) {
            MessageBox::warning(parent, ToQString(u"The update check failed: " + reason));
        }
        break;
    case TUserCheckResult::Updated:
    case TUserCheckResult::NotUpdated:
        break;
    }
}

std::unique_ptr<TStartupUpdateCheck> StartStartupUpdateCheck(QWidget* window, IWebUpdate& update) {
    auto check = std::make_unique<TStartupUpdateCheck>(update);
    bool started = check->Start([window](const TStartupCheckResult& result) {
        if (!result.StaleWarning.empty()) {
            MessageBox::warning(window, ToQString(result.StaleWarning));
        }
    });
    return started ? std::move(check) : nullptr;
}

} // namespace ven
