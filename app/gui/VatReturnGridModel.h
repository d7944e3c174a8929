#pragma once
// TVatReturnGridModel: the return table of the single-dataset window. Rows come from mtVatReturns;
// the text of each row is read from the dataset's own return of that row, amounts as "£#,##0.00".
#include "app/gui/MemTableModel.h"

namespace sage {
class TSageDataset;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

class TVatReturnGridModel : public TMemTableModel {
    Q_OBJECT
public:
    enum TColumn { colPeriod, colBox1, colBox9 = colBox1 + 8, colCount };

    explicit TVatReturnGridModel(TMemTable& table, QObject* parent = nullptr);

    /// The dataset whose returns the rows show (not owned); null shows the table's own values.
    void SetDataset(sage::TSageDataset* dataset) { _pDataset = dataset; }
    /// The return of a model row (row r is the dataset's return r), null outside the returns.
    sage::TSageDatasetVatReturn* ReturnAt(int row) const;
    /// The text of a grid cell, grid row 0 being the header row: the column header, the period,
    /// a box as "£#,##0.00", or "Invlaid Cell Index" for a row beyond the returns.
    QString GetDisplText(int gridRow, int column) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// Headers; the box columns' hints give HMRC's description of the box.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    sage::TSageDataset* _pDataset = nullptr;
};

} // namespace ven
