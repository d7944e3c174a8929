#pragma once
// TMemTable: an in-memory table with field definitions, rows in the order they were appended and a
// current row. The data module's dataset and return tables are TMemTables; the windows see them
// through thin Qt models that observe the table.
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/UnicodeString.h"

#include <mutex>
#include <variant>
#include <vector>

namespace ven {

enum class TFieldType { ftString, ftInteger, ftDate, ftCurrency };

struct TFieldDef {
    rtl::UnicodeString Name;
    TFieldType DataType = TFieldType::ftString;
    int Size = 0; // characters, for text fields
    bool Required = false;
    rtl::UnicodeString DisplayLabel;
    /// Calculated fields hold a value only while their row is being edited; Post drops it.
    bool Calculated = false;
};

/// Null (monostate), text, integer, date or currency.
using TFieldValue = std::variant<std::monostate, rtl::UnicodeString, int, rtl::TDateTime, rtl::Currency>;

/// Notified after the table changes; calls come on the thread that changed the table.
class ITableObserver {
public:
    virtual ~ITableObserver() = default;
    /// Rows were added, removed, replaced or the table opened or closed: re-read everything.
    virtual void TableReset() = 0;
    /// One row's values changed.
    virtual void RowChanged(int row) = 0;
    /// The current row moved.
    virtual void CurrentChanged(int row) = 0;
};

class TMemTable {
public:
    explicit TMemTable(std::vector<TFieldDef> fieldDefs);

    const std::vector<TFieldDef>& FieldDefs() const noexcept { return _fieldDefs; }
    int FieldCount() const noexcept { return static_cast<int>(_fieldDefs.size()); }
    /// Index of the field (names compared without regard to A..Z case), -1 when none.
    int FieldIndex(rtl::UnicodeStringView name) const;

    bool Active() const;
    /// Opening an open table does nothing.
    void Open();
    /// Closing discards every row, as an in-memory table does.
    void Close();
    /// Removes every row; the table stays open.
    void EmptyDataSet();

    int RecordCount() const;
    /// 0-based current row, -1 when the table is empty or closed.
    int RecNo() const;
    /// Moves the current row (clamped to the rows that exist).
    void SetRecNo(int row);

    /// A copy of one value; null for a row or field out of range.
    TFieldValue Value(int row, int field) const;
    TFieldValue Value(int row, rtl::UnicodeStringView fieldName) const;
    rtl::UnicodeString AsString(int row, rtl::UnicodeStringView fieldName) const;

    /// Starts a new row at the end (opening the table if needed); fields are null until set.
    void Append();
    /// Starts editing an existing row.
    void Edit(int row);
    /// Sets a field of the row being appended or edited; raises rtl::Exception when none is, or
    /// when the field does not exist.
    void SetField(rtl::UnicodeStringView fieldName, TFieldValue value);
    /// Stores the row being appended or edited (required-field checks are off) and makes it current.
    void Post();
    void Cancel();
    bool Editing() const;

    /// The first row whose text field equals value (A..Z case folded when ignoreCase), -1 when none.
    int Locate(rtl::UnicodeStringView fieldName, rtl::UnicodeStringView value, bool ignoreCase) const;

    /// While updates are held, observers hear nothing; the last EndUpdate sends one reset.
    void BeginUpdate();
    void EndUpdate();

    void AddObserver(ITableObserver* observer);
    void RemoveObserver(ITableObserver* observer);

private:
    using TRow = std::vector<TFieldValue>;
    void NotifyReset();
    void NotifyRow(int row);
    void NotifyCurrent(int row);

    std::vector<TFieldDef> _fieldDefs;
    // Rows may be registered from the loader thread while the GUI thread reads them.
    mutable std::recursive_mutex _csRows;
    std::vector<TRow> _rows;
    bool _blActive = false;
    int _nRecNo = -1;
    enum class TEditState { dsBrowse, dsInsert, dsEdit } _state = TEditState::dsBrowse;
    TRow _editRow;
    int _nEditIndex = -1;
    int _nUpdateDepth = 0;
    std::vector<ITableObserver*> _observers;
};

} // namespace ven
