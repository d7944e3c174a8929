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

    /// Lists the problems, in order: the item left out, and why.
    void SetProblems(const TReadProblems& problems);

    QLabel* lblSummary;
    QTreeWidget* lvProblems; // columns "Item" and "Reason"
    QPushButton* btnClose;   // closes with Accepted
};

} // namespace ven
