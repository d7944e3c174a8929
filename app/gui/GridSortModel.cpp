#include "app/gui/GridSortModel.h"

#include "app/gui/MemTableModel.h"

namespace ven {

TGridSortModel::TGridSortModel(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(TMemTableModel::SortRole);
    _collator.setNumericMode(true);
    _collator.setCaseSensitivity(Qt::CaseInsensitive);
}

bool TGridSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(sortRole());
    const QVariant b = right.data(sortRole());
    const bool aEmpty = !a.isValid() || (a.typeId() == QMetaType::QString && a.toString().isEmpty());
    const bool bEmpty = !b.isValid() || (b.typeId() == QMetaType::QString && b.toString().isEmpty());
    if (aEmpty || bEmpty) {
        // Empty cells after the filled ones, whichever way the column is sorted.
        const bool emptyFirst = sortOrder() == Qt::DescendingOrder;
        return aEmpty != bEmpty && (aEmpty == emptyFirst);
    }
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString) {
        return _collator.compare(a.toString(), b.toString()) < 0;
    }
    return a.toDouble() < b.toDouble();
}

} // namespace ven
