#pragma once
// Parts the windows share: coloured panels, the silver read-only name edits with their edit
// toggle, and the Submit/Cancel footer of the selection windows.
#include <QString>

class QDialog;
class QFrame;
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
/// The "Edit" toggle beside a name edit, hinted "Change VAT Return Name".
QToolButton* MakeEditNameButton(QWidget* parent);
/// The footer of a selection window: Submit (btnSubmitVAT) and Cancel (btnCancel, which rejects),
/// at the right.
QFrame* MakeSubmitFooter(QDialog* dialog, QPushButton*& btnSubmitVAT, QPushButton*& btnCancel);

} // namespace ven
