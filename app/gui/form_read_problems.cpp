#include "app/gui/form_read_problems.h"

#include "app/gui/QtText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ven {

TfrmReadProblems::TfrmReadProblems(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmReadProblems"));
    setWindowTitle(QStringLiteral("Items that could not be read"));
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    lvProblems = new QTreeWidget(this);
    lvProblems->setObjectName(QStringLiteral("lvProblems"));
    lvProblems->setHeaderLabels({QStringLiteral("Company"), QStringLiteral("Item"), QStringLiteral("Listed in"),
                                 QStringLiteral("Reason"), QStringLiteral("Details")});
    lvProblems->setRootIsDecorated(false);
    lvProblems->setAlternatingRowColors(true);
    lvProblems->setWordWrap(false);
    // Paths are shown whole: a path cut in the middle cannot be found on the disk.
    lvProblems->setTextElideMode(Qt::ElideNone);
    // Each column takes what its texts need and the last takes the rest: a wider window widens it.
    lvProblems->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvProblems->header()->setStretchLastSection(true);
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* box = new QVBoxLayout(this);
    box->addWidget(lblSummary);
    box->addWidget(lvProblems, 1);
    box->addLayout(buttons);
    resize(980, 340);
}

void TfrmReadProblems::SetProblems(const TReadProblems& problems) {
    lblSummary->setText(
        ToQString(ProblemsSummaryText(problems.size())) +
        QStringLiteral(". What cannot be read is left out: a dataset from the list, a return from its "
                       "dataset's returns."));
    lvProblems->clear();
    for (const TReadProblem& problem : problems) {
        auto* item = new QTreeWidgetItem(lvProblems);
        const rtl::UnicodeString plain = ProblemPlainText(problem);
        const rtl::UnicodeString technical = ProblemReasonText(problem);
        item->setText(colCompany, ToQString(problem.CompanyName));
        item->setText(colItem, ToQString(problem.Path));
        item->setText(colListedIn, ToQString(problem.CompanyFile));
        // Plain words first; the system's own text after, for whoever looks into it.
        item->setText(colReason, ToQString(plain.empty() ? technical : plain));
        item->setText(colDetails, plain.empty() ? QString() : ToQString(technical));
        for (int c = 0; c < lvProblems->columnCount(); ++c) {
            item->setToolTip(c, item->text(c));
        }
    }
    if (lvProblems->topLevelItemCount() > 0) {
        lvProblems->setCurrentItem(lvProblems->topLevelItem(0));
    }
}

} // namespace ven
