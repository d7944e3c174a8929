#include "app/gui/form_hand_off_failure.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ven {

TfrmHandOffFailure::TfrmHandOffFailure(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmHandOffFailure"));
    setWindowTitle(QStringLiteral("The portal was not opened"));
    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* lblUrl = new QLabel(QStringLiteral("To submit the return, open this &link in your browser:"), this);
    txtUrl = new QLineEdit(this);
    txtUrl->setObjectName(QStringLiteral("txtUrl"));
    txtUrl->setReadOnly(true);
    lblUrl->setBuddy(txtUrl);
    btnCopy = new QPushButton(QStringLiteral("C&opy Link"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnCopy, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(txtUrl->text());
        txtUrl->selectAll();
        btnCopy->setText(QStringLiteral("C&opied"));
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(lblMessage, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCopy);
    buttons->addWidget(btnClose);
    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addWidget(lblUrl);
    box->addWidget(txtUrl);
    box->addLayout(buttons);
    resize(620, sizeHint().height());
}

void TfrmHandOffFailure::SetFailure(const QString& message, const QString& url) {
    lblMessage->setText(QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    txtUrl->setText(url);
    txtUrl->setCursorPosition(0);
    txtUrl->setFocus();
}

} // namespace ven
