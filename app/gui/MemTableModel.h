#pragma once
// TMemTableModel: a thin Qt model over one of the data module's in-memory tables, showing chosen
// fields as columns. The table may change on another thread (the loader); the model hears of it
// through the table's observer calls and re-reads on its own thread.
#include "app/core/MemTable.h"

#include <QAbstractTableModel>

#include <atomic>
#include <vector>

namespace ven {

/// One column of a grid: the table field it shows, its header, default width and alignment, and
/// the field its rows are sorted by (empty: the field shown).
struct TGridColumn {
    rtl::UnicodeString Field;
    QString Header;
    int Width = 64;
    Qt::Alignment Alignment = Qt::AlignLeft;
    /// A table field whose text, when the row has one, puts a warning mark in this column and adds
    /// the text to its tooltip; empty for none.
    rtl::UnicodeString MarkField = {};
    rtl::UnicodeString SortField = {};
};

class TMemTableModel : public QAbstractTableModel, private ITableObserver {
    Q_OBJECT
public:
    /// The role giving a cell's value to sort by: a number, a date as its day count, or the text.
    static constexpr int SortRole = Qt::UserRole + 1;

    TMemTableModel(TMemTable& table, std::vector<TGridColumn> columns, QObject* parent = nullptr);
    ~TMemTableModel() override;

    const std::vector<TGridColumn>& Columns() const { return _columns; }
    TMemTable& Table() const { return _table; }
    /// Re-reads the row count and tells the views to re-read everything (the model's thread only).
    void Reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// The text of the row's mark in the column, empty for none.
    QString MarkText(const QModelIndex& index) const;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The display text of a table value: dates as dd/mm/yyyy, amounts with two decimals.
    static QString DisplayText(const TFieldValue& value);
    /// The value a sort compares: numbers and dates as numbers, text as text, nothing as null.
    static QVariant SortValue(const TFieldValue& value);

signals:
    /// The table's current row moved (delivered on the model's thread).
    void CurrentRowChanged(int row);

private:
    void TableReset() override;
    void RowChanged(int row) override;
    void CurrentChanged(int row) override;
    /// Runs call on the model's thread: at once when already there, else queued without waiting.
    template <class F> void OnModelThread(F call);

    TMemTable& _table;
    std::vector<TGridColumn> _columns;
    std::vector<int> _fieldIndexes;
    std::vector<int> _markIndexes; // -1 for a column without a mark
    std::vector<int> _sortFieldIndexes;
    int _nRows = 0;
    // Many changes from the loader collapse into one queued reset.
    std::atomic<bool> _blResetQueued{false};
};

} // namespace ven
