#pragma once
// TfrmLicenseText: the licence text of a program update, to be accepted before it is installed.
#include "rtl/StringList.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ven {

class TfrmLicenseText : public QDialog {
    Q_OBJECT
public:
    /// "End User License", client area 576 x 516, centred over its owner when that is shown, else
    /// on the screen.
    explicit TfrmLicenseText(QWidget* owner = nullptr);

    /// Replaces the memo's text by lines, one memo line each.
    void SetLines(const rtl::TStringList& lines);
    /// The header's words: which version is offered and what accepting does.
    void SetOffer(const rtl::UnicodeString& version);

    QFrame* pnlHeader;
    QLabel* lblOffer;               // in the header
    QPlainTextEdit* memLicenseText; // read-only, fixed pitch, vertical scroll bar, no border
    QFrame* pnlFooter;
    QPushButton* btnDecline; // closes with Rejected (Cancel)
    QPushButton* btnAccept;  // closes with Accepted (OK)

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace ven
