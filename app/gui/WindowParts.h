#pragma once
// Parts the windows share: coloured panels, the silver read-only name edits with their edit
// toggle, and the Submit/Cancel footer of the selection windows.
#include "rtl/UnicodeString.h"

#include <QString>

class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace ven {

/// Lays header, content and footer out top to bottom, edge to edge; the content takes the room left.
void StackPanels(QWidget* window, QWidget* header, QWidget* content, QWidget* footer);
/// A panel that paints its own background, so the test-mode colour shows.
QFrame* MakePanel(const QString& name, QWidget* parent);
/// A read-only edit on a silver background, optionally in bold.
QLineEdit* MakeReadOnlyEdit(const QString& name, QWidget* parent, bool bold = false);
/// Down: the name can be typed over, on the system's window colour; up: read-only and silver.
void SetNameEditable(QLineEdit* edit, bool editable);
/// The "Edit" toggle beside a name edit (Alt+E), hinted "Change VAT Return Name".
QToolButton* MakeEditNameButton(QWidget* parent);
/// The footer of a selection window: Submit (btnSubmitVAT, Alt+S) and Cancel (btnCancel, Alt+C,
/// which rejects) at the right, and at the left the label lblTestMode saying what a test hand-off
/// sends, shown only in test mode (ShowTestModeNotice).
QFrame* MakeSubmitFooter(QDialog* dialog, QPushButton*& btnSubmitVAT, QPushButton*& btnCancel);
/// Shows or hides the footer's test-mode label.
void ShowTestModeNotice(QFrame* footer, bool testMode);
/// The footer's test-mode label.
QLabel* TestModeNoticeOf(QFrame* footer);

/// Puts a top-level window where it stood when last saved under section, when that is still on a
/// screen; false (the window untouched) otherwise.
bool RestoreWindowBounds(QWidget* window, const rtl::UnicodeString& section);
/// Keeps a top-level window on the available area of its screen: no larger than that area (but
/// never below the window's minimum size) and moved so that as much of it as possible is on it.
void FitToScreen(QWidget* window);
/// Centres a top-level window on its screen unless it was put back where it was saved (placed), then
/// keeps it on the screen's available area.
void PlaceOnScreen(QWidget* window, bool placed);
/// Saves a top-level window's normal frame and maximised state under section.
void SaveWindowBounds(QWidget* window, const rtl::UnicodeString& section);

} // namespace ven
