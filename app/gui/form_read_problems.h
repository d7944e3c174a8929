#pragma once
// TfrmReadProblems: the details of what could not be read while datasets were loaded, one row per
// item with its reason.
#include "app/core/ReadProblems.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ven {

class TfrmReadProblems : public QDialog {
    Q_OBJECT
public:
    /// "Items that could not be read": a summary line, the list and a Close button.
    explicit TfrmReadProblems(QWidget* owner = nullptr);

    /// Lists the problems, in order: the item left out, where it was listed, and why.
    void SetProblems(const TReadProblems& problems);

    QLabel* lblSummary;
    enum TColumn { colCompany, colItem, colListedIn, colReason, colDetails };
    /// Per item: its company when known, its path, the COMPANY file that listed it, the reason in
    /// plain words and the technical text.
    QTreeWidget* lvProblems;
    QPushButton* btnClose;   // closes with Accepted
};

} // namespace ven
