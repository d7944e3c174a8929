#include "app/gui/frmUpdateProgress.h"

#include "app/update/WebUpdate.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"

#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace ven {

namespace {
QLabel* AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* value) {
    auto* label = new QLabel(caption);
    grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(value, row, 1);
    return label;
}
} // namespace

// A title only: the window goes when the download ends; Cancel (or Escape) ends it early.
TfrmUpdateProgress::TfrmUpdateProgress(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmUpdateProgress"));
    setWindowTitle(QStringLiteral("Update Progress"));
    setFixedSize(420, 176);
    // While it shows, the download's event loop takes input: only this window may receive it.
    setWindowModality(Qt::ApplicationModal);

    lblTotalFiles = new QLabel(QStringLiteral("Unknown"));
    lblTotalFiles->setObjectName(QStringLiteral("lblTotalFiles"));
    lblCurrentFile = new QLabel(QStringLiteral("Unknown"));
    lblCurrentFile->setObjectName(QStringLiteral("lblCurrentFile"));
    pbFileProgress = new QProgressBar;
    pbFileProgress->setObjectName(QStringLiteral("pbFileProgress"));
    pbFileProgress->setRange(0, 100);
    pbFileProgress->setValue(0);
    pbFileProgress->setFormat(QStringLiteral("%p%"));
    pbFileProgress->setTextVisible(true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(1, 1);
    AddRow(grid, 0, QStringLiteral("Total Files:"), lblTotalFiles);
    AddRow(grid, 1, QStringLiteral("Current File:"), lblCurrentFile);
    AddRow(grid, 2, QStringLiteral("File Progress:"), pbFileProgress);
    btnCancel = new QPushButton(QStringLiteral("Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    grid->addWidget(btnCancel, 3, 1, Qt::AlignRight);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmUpdateProgress::btnCancelClick);
}

TfrmUpdateProgress::~TfrmUpdateProgress() {
    Detach();
}

void TfrmUpdateProgress::Attach(TWebUpdate& update) {
    Detach();
    _pUpdate = &update;
    update.Config.UserInputWhileDownloading = true;
    update.OnDownloading = [this](TWebUpdate& sender, bool downloading) {
        downloading ? DownloadsBegin() : DownloadsEnd(sender.Cancelled());
    };
    update.OnProgress = [this](TWebUpdate&, int fileIndex, int fileCount, const rtl::UnicodeString& name,
                               double percent) { ShowProgress(fileIndex, fileCount, name, percent); };
}

void TfrmUpdateProgress::Detach() {
    if (_pUpdate) {
        _pUpdate->OnDownloading = nullptr;
        _pUpdate->OnProgress = nullptr;
        _pUpdate->Config.UserInputWhileDownloading = false;
        _pUpdate = nullptr;
    }
}

void TfrmUpdateProgress::DownloadsBegin() {
    lblTotalFiles->setText(QStringLiteral("Unknown"));
    lblCurrentFile->setText(QStringLiteral("Unknown"));
    pbFileProgress->setValue(0);
    btnCancel->setEnabled(true);
    show();
    raise();
    activateWindow();
}

void TfrmUpdateProgress::DownloadsEnd(bool cancelled) {
    hide();
    // A cancel is no failure, so the component reports nothing: the user hears it here.
    if (cancelled) {
        MessageBox::information(parentWidget(),
                                QStringLiteral("The update was cancelled. Nothing was installed."));
    }
}

void TfrmUpdateProgress::ShowProgress(int fileIndex, int fileCount, const rtl::UnicodeString& name,
                                      double percent) {
    lblTotalFiles->setText(QString::number(fileCount));
    // File 0 is the licence text, fetched before the files.
    lblCurrentFile->setText(
        fileIndex > 0 ? QStringLiteral("%1 of %2: %3").arg(fileIndex).arg(fileCount).arg(ToQString(name))
                      : ToQString(name));
    pbFileProgress->setValue(static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0))));
}

void TfrmUpdateProgress::btnCancelClick() {
    if (_pUpdate && btnCancel->isEnabled()) {
        btnCancel->setEnabled(false);
        lblCurrentFile->setText(QStringLiteral("Cancelling..."));
        _pUpdate->Cancel();
    }
}

void TfrmUpdateProgress::reject() {
    if (isVisible()) {
        btnCancelClick();
    }
}

void TfrmUpdateProgress::showEvent(QShowEvent* event) {
    if (QWidget* owner = parentWidget()) {
        move(owner->geometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void TfrmUpdateProgress::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    QLinearGradient g(rect().topLeft(), rect().bottomLeft());
    g.setColorAt(0, palette().color(QPalette::Window).lighter(108));
    g.setColorAt(1, palette().color(QPalette::Window).darker(104));
    p.fillRect(rect(), g);
    QDialog::paintEvent(event);
}

} // namespace ven
