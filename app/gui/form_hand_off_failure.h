#pragma once
// TfrmHandOffFailure: tells the user that the portal was not opened, and why, and offers the
// hand-off link to copy into a browser by hand.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ven {

class TfrmHandOffFailure : public QDialog {
    Q_OBJECT
public:
    explicit TfrmHandOffFailure(QWidget* owner = nullptr);

    /// Why the portal was not opened (may hold carriage returns), and the link that was not opened.
    void SetFailure(const QString& message, const QString& url);

    QLabel* lblMessage;
    QLineEdit* txtUrl;     // read-only, selectable
    QPushButton* btnCopy;  // puts the link on the clipboard
    QPushButton* btnClose; // closes with Accepted
};

} // namespace ven
