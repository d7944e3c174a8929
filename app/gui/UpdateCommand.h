#pragma once
// The update checks of the main window, the one the user asks for and the one at every start, and
// what they tell the user.
#include <memory>

class QWidget;

namespace ven {

class IWebUpdate;
class TStartupUpdateCheck;

/// Runs RunUserUpdateCheck on update and tells the user its outcome in a box owned by parent,
/// unless the user has already seen it (a failure shown by the component, a cancel, a licence
/// declined, or the restart into the new version).
void ShowUserUpdateCheck(QWidget* parent, IWebUpdate& update);

/// Starts this start's update check on update without holding up window (the main window, being
/// shown); a warning that checks have failed for long is shown over window when it is over. Null
/// when this start makes no check. The check must go before update and window.
std::unique_ptr<TStartupUpdateCheck> StartStartupUpdateCheck(QWidget* window, IWebUpdate& update);

} // namespace ven
