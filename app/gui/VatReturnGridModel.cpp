#include "app/gui/VatReturnGridModel.h"

#include "app/core/ReadProblems.h"
#include "app/core/VatBoxDescriptions.h"
#include "app/gui/QtText.h"
#include "rtl/Currency.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QApplication>
#include <QStyle>

namespace ven {

namespace {

std::vector<TGridColumn> VatReturnColumns() {
    std::vector<TGridColumn> columns = {{u"Period", QStringLiteral("Period"), 184, Qt::AlignLeft}};
    for (int box = 1; box <= 9; ++box) {
        columns.push_back(
            {u"Box" + rtl::IntToStr(box), QStringLiteral("Box %1").arg(box), 80, Qt::AlignRight});
    }
    return columns;
}

} // namespace

TVatReturnGridModel::TVatReturnGridModel(TMemTable& table, QObject* parent)
    : TMemTableModel(table, VatReturnColumns(), parent) {}

sage::TSageDatasetVatReturn* TVatReturnGridModel::ReturnAt(int row) const {
    if (!_pDataset || row < 0) {
        return nullptr;
    }
    const rtl::TStringList& returns = _pDataset->VatReturns();
    return row < returns.Count() ? dynamic_cast<sage::TSageDatasetVatReturn*>(returns.Objects(row)) : nullptr;
}

QString TVatReturnGridModel::GetDisplText(int gridRow, int column) const {
    if (gridRow == 0) {
        return headerData(column, Qt::Horizontal).toString();
    }
    if (!_pDataset) {
        return data(index(gridRow - 1, column)).toString();
    }
    sage::TSageDatasetVatReturn* vatReturn = ReturnAt(gridRow - 1);
    if (!vatReturn) {
        return QStringLiteral("Invlaid Cell Index");
    }
    if (column == colPeriod) {
        return ToQString(vatReturn->Period());
    }
    return ToQString(rtl::FormatCurr(u"£#,##0.00", vatReturn->GetBox(column - colBox1 + 1)));
}

QVariant TVatReturnGridModel::data(const QModelIndex& index, int role) const {
    // A return whose period another file of the dataset holds with other figures is shown, marked.
    if (_pDataset && index.column() == colPeriod && (role == Qt::DecorationRole || role == Qt::ToolTipRole)) {
        if (sage::TSageDatasetVatReturn* vatReturn = ReturnAt(index.row()); vatReturn && vatReturn->Conflicting()) {
            return role == Qt::ToolTipRole
                       ? QVariant(ToQString(ConflictingReturnText(*vatReturn)))
                       : QVariant(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
    }
    if (_pDataset && (role == Qt::DisplayRole || role == Qt::ToolTipRole) &&
        checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return GetDisplText(index.row() + 1, index.column());
    }
    return TMemTableModel::data(index, role);
}

QVariant TVatReturnGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal && section >= colBox1 &&
        section <= colBox9) {
        return ToQString(VatBoxDescription(section - colBox1 + 1));
    }
    return TMemTableModel::headerData(section, orientation, role);
}

} // namespace ven
