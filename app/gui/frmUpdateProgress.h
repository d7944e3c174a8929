#pragma once
// TfrmUpdateProgress: the progress window of a program update (files in total, current file, its
// progress). Created at start-up and kept; the update run is the one that feeds it.
#include <QDialog>

class QLabel;
class QProgressBar;

namespace ven {

class TfrmUpdateProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdateProgress(QWidget* owner = nullptr);

    QLabel* lblTotalFiles;
    QLabel* lblCurrentFile;
    QProgressBar* pbFileProgress;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace ven
