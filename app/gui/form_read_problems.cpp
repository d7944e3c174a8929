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
    lvProblems->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Reason")});
    lvProblems->setRootIsDecorated(false);
    lvProblems->setAlternatingRowColors(true);
    lvProblems->setWordWrap(false);
    lvProblems->setTextElideMode(Qt::ElideMiddle); // paths differ at their ends
    lvProblems->header()->setStretchLastSection(true);
    lvProblems->setColumnWidth(0, 420);
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
    resize(760, 320);
}

void TfrmReadProblems::SetProblems(const TReadProblems& problems) {
    lblSummary->setText(
        ToQString(ProblemsSummaryText(problems.size())) +
        QStringLiteral(". What cannot be read is left out: a dataset from the list, a return from its "
                       "dataset's returns."));
    lvProblems->clear();
    for (const TReadProblem& problem : problems) {
        auto* item = new QTreeWidgetItem(lvProblems);
        item->setText(0, ToQString(problem.Path));
        item->setText(1, ToQString(ProblemReasonText(problem)));
        // Long paths are elided in the list; the whole text shows on hovering.
        item->setToolTip(0, item->text(0));
        item->setToolTip(1, item->text(1));
    }
    if (lvProblems->topLevelItemCount() > 0) {
        lvProblems->setCurrentItem(lvProblems->topLevelItem(0));
    }
}

} // namespace ven
