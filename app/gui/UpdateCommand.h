#pragma once
// The update check that the user asks for from the main window, and what it tells the user.
class QWidget;

namespace ven {

class IWebUpdate;

/// Runs RunUserUpdateCheck on update and tells the user its outcome in a box owned by parent,
/// unless the user has already seen it (a failure shown by the component, a cancel, a licence
/// declined, or the restart into the new version).
void ShowUserUpdateCheck(QWidget* parent, IWebUpdate& update);

} // namespace ven
