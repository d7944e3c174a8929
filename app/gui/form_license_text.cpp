#include "app/gui/form_license_text.h"

#include "app/gui/QtText.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace ven {

namespace {

// Licence texts are laid out for a fixed-pitch font; without the usual one, the system's own.
QFont LicenseFont() {
    QFont font(QStringLiteral("Lucida Console"));
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).family() != font.family()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    return font;
}

} // namespace

TfrmLicenseText::TfrmLicenseText(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmLicenseText"));
    setWindowTitle(QStringLiteral("End User License"));
    resize(576, 516);

    pnlHeader = new QFrame;
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader->setFixedHeight(49);
    lblOffer = new QLabel;
    lblOffer->setObjectName(QStringLiteral("lblOffer"));
    lblOffer->setWordWrap(true);
    auto* header = new QHBoxLayout(pnlHeader);
    header->setContentsMargins(8, 4, 8, 4);
    header->addWidget(lblOffer);
    SetOffer(rtl::UnicodeString());

    memLicenseText = new QPlainTextEdit;
    memLicenseText->setObjectName(QStringLiteral("memLicenseText"));
    memLicenseText->setReadOnly(true);
    memLicenseText->setFont(LicenseFont());
    memLicenseText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLicenseText->setFrameShape(QFrame::NoFrame);

    btnDecline = new QPushButton(QStringLiteral("&Decline and Cancel"));
    btnDecline->setObjectName(QStringLiteral("btnDecline"));
    btnAccept = new QPushButton(QStringLiteral("&Accept and Update"));
    btnAccept->setObjectName(QStringLiteral("btnAccept"));
    // Accepting takes a deliberate click: Enter must not agree to a licence.
    btnDecline->setAutoDefault(false);
    btnAccept->setAutoDefault(false);
    connect(btnDecline, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnAccept, &QPushButton::clicked, this, &QDialog::accept);

    pnlFooter = new QFrame;
    pnlFooter->setObjectName(QStringLiteral("pnlFooter"));
    auto* footer = new QHBoxLayout(pnlFooter);
    footer->addWidget(btnDecline);
    footer->addStretch(1);
    footer->addWidget(btnAccept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlHeader);
    layout->addWidget(memLicenseText, 1);
    layout->addWidget(pnlFooter);
}

void TfrmLicenseText::SetLines(const rtl::TStringList& lines) {
    memLicenseText->clear();
    QStringList text;
    for (int i = 0; i < lines.Count(); ++i) {
        text << ToQString(lines.Strings(i));
    }
    memLicenseText->setPlainText(text.join(QLatin1Char('\n')));
}

void TfrmLicenseText::SetOffer(const rtl::UnicodeString& version) {
    QString offered = version.empty() ? QStringLiteral("A new version of Venturo MTD is available.")
                                      : ToQString(u"Venturo MTD " + version + u" is available.");
    lblOffer->setText(offered + QStringLiteral(" Accept the licence to download and install it; Venturo MTD "
                                               "then starts again in the new version. Decline to go on "
                                               "with this version."));
}

void TfrmLicenseText::showEvent(QShowEvent* event) {
    // Over the window it is about, so that it is seen to belong to it.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->isVisible()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    } else if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace ven
