#include "app/gui/UpdateCommand.h"

#include "app/update/UpdateCheck.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"

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

} // namespace ven
