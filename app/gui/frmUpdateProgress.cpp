#include "app/gui/frmUpdateProgress.h"

#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>

namespace ven {

namespace {
QLabel* AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* value) {
    auto* label = new QLabel(caption);
    grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(value, row, 1);
    return label;
}
} // namespace

// A title only: the update runs to its end, so there is nothing to close or resize.
TfrmUpdateProgress::TfrmUpdateProgress(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmUpdateProgress"));
    setWindowTitle(QStringLiteral("Update Progress"));
    setFixedSize(420, 140);

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
