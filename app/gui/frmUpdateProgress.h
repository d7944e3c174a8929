#pragma once
// TfrmUpdateProgress: the progress window of a program update (files in total, current file, its
// progress) with a Cancel button. Created at start-up and kept; attached to the web-update
// component, it shows itself, modal, while files download and stops the download on Cancel.
#include "rtl/UnicodeString.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace ven {

class TWebUpdate;

class TfrmUpdateProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdateProgress(QWidget* owner = nullptr);
    ~TfrmUpdateProgress() override;

    /// Feeds the window from update's download events and lets btnCancel cancel it; update must
    /// outlive the window or be detached first (Attach of another, or the window's end).
    void Attach(TWebUpdate& update);

    QLabel* lblTotalFiles;
    QLabel* lblCurrentFile;
    QProgressBar* pbFileProgress;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    /// Escape cancels the download rather than hiding the window with the download still going.
    void reject() override;

private:
    void Detach();
    void DownloadsBegin();
    void DownloadsEnd(bool cancelled);
    void ShowProgress(int fileIndex, int fileCount, const rtl::UnicodeString& name, double percent);
    void btnCancelClick();

    TWebUpdate* _pUpdate = nullptr;
};

} // namespace ven
