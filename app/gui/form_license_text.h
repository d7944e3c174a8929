#pragma once
// TfrmLicenseText: the licence text of a program update, to be accepted before it is installed.
#include "rtl/StringList.h"

#include <QDialog>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace ven {

class TfrmLicenseText : public QDialog {
    Q_OBJECT
public:
    /// "End User License", client area 576 x 516, centred on the screen.
    explicit TfrmLicenseText(QWidget* owner = nullptr);

    /// Replaces the memo's text by lines, one memo line each.
    void SetLines(const rtl::TStringList& lines);

    QFrame* pnlHeader;
    QPlainTextEdit* memLicenseText; // read-only, fixed pitch, vertical scroll bar, no border
    QFrame* pnlFooter;
    QPushButton* btnDecline; // closes with Rejected (Cancel)
    QPushButton* btnAccept;  // closes with Accepted (OK)

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace ven
