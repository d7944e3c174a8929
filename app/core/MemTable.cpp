#include "app/core/MemTable.h"

#include "rtl/Exceptions.h"

#include <algorithm>

namespace ven {

using rtl::UnicodeString;
using rtl::UnicodeStringView;
using Lock = std::lock_guard<std::recursive_mutex>;

TMemTable::TMemTable(std::vector<TFieldDef> fieldDefs) : _fieldDefs(std::move(fieldDefs)) {}

int TMemTable::FieldIndex(UnicodeStringView name) const {
    for (int i = 0; i < FieldCount(); ++i) {
        if (rtl::SameText(_fieldDefs[i].Name, name)) {
            return i;
        }
    }
    return -1;
}

bool TMemTable::Active() const {
    Lock lock(_csRows);
    return _blActive;
}

void TMemTable::Open() {
    {
        Lock lock(_csRows);
        if (_blActive) {
            return;
        }
        _blActive = true;
    }
    NotifyReset();
}

void TMemTable::Close() {
    {
        Lock lock(_csRows);
        _blActive = false;
        _rows.clear();
        _nRecNo = -1;
        _state = TEditState::dsBrowse;
    }
    NotifyReset();
}

void TMemTable::EmptyDataSet() {
    {
        Lock lock(_csRows);
        _rows.clear();
        _nRecNo = -1;
        _state = TEditState::dsBrowse;
    }
    NotifyReset();
}

int TMemTable::RecordCount() const {
    Lock lock(_csRows);
    return static_cast<int>(_rows.size());
}

int TMemTable::RecNo() const {
    Lock lock(_csRows);
    return _nRecNo;
}

void TMemTable::SetRecNo(int row) {
    int now;
    {
        Lock lock(_csRows);
        if (_rows.empty()) {
            return;
        }
        now = std::clamp(row, 0, static_cast<int>(_rows.size()) - 1);
        if (now == _nRecNo) {
            return;
        }
        _nRecNo = now;
    }
    NotifyCurrent(now);
}

TFieldValue TMemTable::Value(int row, int field) const {
    Lock lock(_csRows);
    if (row < 0 || row >= static_cast<int>(_rows.size()) || field < 0 || field >= FieldCount()) {
        return {};
    }
    return _rows[row][field];
}

TFieldValue TMemTable::Value(int row, UnicodeStringView fieldName) const {
    return Value(row, FieldIndex(fieldName));
}

UnicodeString TMemTable::AsString(int row, UnicodeStringView fieldName) const {
    TFieldValue v = Value(row, fieldName);
    if (const auto* s = std::get_if<UnicodeString>(&v)) {
        return *s;
    }
    if (const auto* n = std::get_if<int>(&v)) {
        return rtl::IntToStr(*n);
    }
    return {};
}

void TMemTable::Append() {
    Lock lock(_csRows);
    _blActive = true;
    _editRow.assign(_fieldDefs.size(), TFieldValue{});
    _nEditIndex = -1;
    _state = TEditState::dsInsert;
}

void TMemTable::Edit(int row) {
    Lock lock(_csRows);
    if (row < 0 || row >= static_cast<int>(_rows.size())) {
        throw rtl::EListError(u"Row index out of bounds (" + rtl::IntToStr(row) + u")", row);
    }
    _editRow = _rows[row];
    _nEditIndex = row;
    _state = TEditState::dsEdit;
}

void TMemTable::SetField(UnicodeStringView fieldName, TFieldValue value) {
    Lock lock(_csRows);
    if (_state == TEditState::dsBrowse) {
        throw rtl::Exception(u"Table not in edit or insert mode");
    }
    int field = FieldIndex(fieldName);
    if (field < 0) {
        throw rtl::Exception(u"Field '" + UnicodeString(fieldName) + u"' not found");
    }
    _editRow[field] = std::move(value);
}

void TMemTable::Post() {
    int row;
    bool appended;
    {
        Lock lock(_csRows);
        if (_state == TEditState::dsBrowse) {
            return;
        }
        for (int i = 0; i < FieldCount(); ++i) {
            if (_fieldDefs[i].Calculated) {
                _editRow[i] = TFieldValue{};
            }
        }
        appended = _state == TEditState::dsInsert;
        if (appended) {
            _rows.push_back(std::move(_editRow));
            row = static_cast<int>(_rows.size()) - 1;
        } else {
            row = _nEditIndex;
            _rows[row] = std::move(_editRow);
        }
        _editRow.clear();
        _state = TEditState::dsBrowse;
        _nRecNo = row;
    }
    if (appended) {
        NotifyReset();
    } else {
        NotifyRow(row);
    }
    NotifyCurrent(row);
}

void TMemTable::Cancel() {
    Lock lock(_csRows);
    _editRow.clear();
    _state = TEditState::dsBrowse;
}

bool TMemTable::Editing() const {
    Lock lock(_csRows);
    return _state != TEditState::dsBrowse;
}

int TMemTable::Locate(UnicodeStringView fieldName, UnicodeStringView value, bool ignoreCase) const {
    int field = FieldIndex(fieldName);
    Lock lock(_csRows);
    if (field < 0) {
        return -1;
    }
    for (int row = 0; row < static_cast<int>(_rows.size()); ++row) {
        const auto* s = std::get_if<UnicodeString>(&_rows[row][field]);
        if (s && (ignoreCase ? rtl::SameText(*s, value) : *s == value)) {
            return row;
        }
    }
    return -1;
}

void TMemTable::BeginUpdate() {
    Lock lock(_csRows);
    ++_nUpdateDepth;
}

void TMemTable::EndUpdate() {
    {
        Lock lock(_csRows);
        if (_nUpdateDepth == 0 || --_nUpdateDepth > 0) {
            return;
        }
    }
    NotifyReset();
}

void TMemTable::AddObserver(ITableObserver* observer) {
    Lock lock(_csRows);
    if (std::find(_observers.begin(), _observers.end(), observer) == _observers.end()) {
        _observers.push_back(observer);
    }
}

void TMemTable::RemoveObserver(ITableObserver* observer) {
    Lock lock(_csRows);
    _observers.erase(std::remove(_observers.begin(), _observers.end(), observer), _observers.end());
}

// Observers are told outside any row access of their own, but under the table's lock so that an
// observer removed on another thread is never called afterwards.
void TMemTable::NotifyReset() {
    Lock lock(_csRows);
    if (_nUpdateDepth > 0) {
        return;
    }
    for (ITableObserver* o : _observers) {
        o->TableReset();
    }
}

void TMemTable::NotifyRow(int row) {
    Lock lock(_csRows);
    if (_nUpdateDepth > 0) {
        return;
    }
    for (ITableObserver* o : _observers) {
        o->RowChanged(row);
    }
}

void TMemTable::NotifyCurrent(int row) {
    Lock lock(_csRows);
    if (_nUpdateDepth > 0) {
        return;
    }
    for (ITableObserver* o : _observers) {
        o->CurrentChanged(row);
    }
}

} // namespace ven
