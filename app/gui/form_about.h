#pragma once
// TfrmAbout: Help > About: the program's version, the version an update recorded as installed,
// the update server and the licence text.
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ven {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner = nullptr);

    QLabel* lblVersion;          // "Venturo MTD <version>"
    QLabel* lblInstalledVersion; // the version an update recorded, or that none did
    QLabel* lblUpdateServer;
    QPlainTextEdit* memLicence; // read-only
    QPushButton* btnClose;      // closes with Accepted
};

} // namespace ven
