#pragma once
// TGridSortModel: the order a grid shows its table's rows in once the user sorts by a column.
// Unsorted, rows stand in the table's own order. Numbers and dates compare as numbers, texts as a
// reader expects (letter case ignored, digit runs by value: "Company.9" before "Company.10"),
// empty cells last.
#include <QCollator>
#include <QSortFilterProxyModel>

namespace ven {

class TGridSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    /// Sorts by the source's TMemTableModel::SortRole.
    explicit TGridSortModel(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QCollator _collator;
};

} // namespace ven
