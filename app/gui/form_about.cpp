#include "app/gui/form_about.h"

#include "app/core/ProductInfo.h"
#include "app/update/UpdateCheck.h"
#include "app/gui/QtText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ven {

namespace {

QLabel* MakeValue(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse); // copied into a support request
    return label;
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Venturo MTD"));
    lblVersion = MakeValue(QStringLiteral("lblVersion"), ToQString(ProductVersionText()), this);
    QFont bold = lblVersion->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lblVersion->setFont(bold);
    const rtl::UnicodeString installed = ReadUpdateRecord().InstalledVersion;
    lblInstalledVersion = MakeValue(QStringLiteral("lblInstalledVersion"),
                                    installed.empty() ? QStringLiteral("None recorded (installed by hand)")
                                                      : ToQString(installed),
                                    this);
    lblUpdateServer = MakeValue(QStringLiteral("lblUpdateServer"), ToQString(UpdateServerText()), this);
    memLicence = new QPlainTextEdit(ToQString(LicenceText()), this);
    memLicence->setObjectName(QStringLiteral("memLicence"));
    memLicence->setReadOnly(true);
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* facts = new QFormLayout;
    facts->addRow(QStringLiteral("Installed by update:"), lblInstalledVersion);
    facts->addRow(QStringLiteral("Update server:"), lblUpdateServer);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* box = new QVBoxLayout(this);
    box->addWidget(lblVersion);
    box->addLayout(facts);
    box->addWidget(new QLabel(QStringLiteral("Licence:"), this));
    box->addWidget(memLicence, 1);
    box->addLayout(buttons);
    resize(520, 420);
}

} // namespace ven
