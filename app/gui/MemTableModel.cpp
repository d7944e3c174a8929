#include "app/gui/MemTableModel.h"

#include "app/gui/QtText.h"

#include "rtl/Currency.h"
#include "rtl/DateTime.h"

#include <QApplication>
#include <QStyle>
#include <QThread>

namespace ven {

TMemTableModel::TMemTableModel(TMemTable& table, std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), _table(table), _columns(std::move(columns)) {
    for (const TGridColumn& column : _columns) {
        _fieldIndexes.push_back(_table.FieldIndex(column.Field));
        _markIndexes.push_back(column.MarkField.empty() ? -1 : _table.FieldIndex(column.MarkField));
        _sortFieldIndexes.push_back(
            _table.FieldIndex(column.SortField.empty() ? column.Field : column.SortField));
    }
    _nRows = _table.RecordCount();
    _table.AddObserver(this);
}

TMemTableModel::~TMemTableModel() {
    // After this the table calls nothing more; calls already queued die with the object.
    _table.RemoveObserver(this);
}

template <class F> void TMemTableModel::OnModelThread(F call) {
    if (QThread::currentThread() == thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    }
}

void TMemTableModel::Reload() {
    _blResetQueued = false;
    beginResetModel();
    _nRows = _table.RecordCount();
    endResetModel();
}

void TMemTableModel::TableReset() {
    if (QThread::currentThread() == thread()) {
        Reload();
    } else if (!_blResetQueued.exchange(true)) {
        QMetaObject::invokeMethod(this, &TMemTableModel::Reload, Qt::QueuedConnection);
    }
}

void TMemTableModel::RowChanged(int row) {
    OnModelThread([this, row] {
        if (row >= 0 && row < _nRows && !_columns.empty()) {
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        } else {
            Reload();
        }
    });
}

void TMemTableModel::CurrentChanged(int row) {
    OnModelThread([this, row] { emit CurrentRowChanged(row); });
}

int TMemTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : _nRows;
}

int TMemTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(_columns.size());
}

QVariant TMemTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const TGridColumn& column = _columns[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(_table.Value(index.row(), _fieldIndexes[static_cast<size_t>(index.column())]));
    case Qt::ToolTipRole: {
        const QString text =
            DisplayText(_table.Value(index.row(), _fieldIndexes[static_cast<size_t>(index.column())]));
        const QString mark = MarkText(index);
        return mark.isEmpty() ? text : text + QLatin1Char('\n') + mark;
    }
    case Qt::DecorationRole:
        if (!MarkText(index).isEmpty()) {
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.Alignment | Qt::AlignVCenter);
    case SortRole:
        return SortValue(_table.Value(index.row(), _sortFieldIndexes[static_cast<size_t>(index.column())]));
    default:
        return {};
    }
}

QString TMemTableModel::MarkText(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const int field = _markIndexes[static_cast<size_t>(index.column())];
    return field < 0 ? QString() : DisplayText(_table.Value(index.row(), field));
}

QVariant TMemTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const TGridColumn& column = _columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) {
        return column.Header;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(column.Alignment | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags TMemTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QString TMemTableModel::DisplayText(const TFieldValue& value) {
    struct Visitor {
        QString operator()(std::monostate) const { return {}; }
        QString operator()(const rtl::UnicodeString& s) const { return ToQString(s); }
        QString operator()(int n) const { return QString::number(n); }
        QString operator()(rtl::TDateTime d) const {
            return ToQString(rtl::FormatDateTime(u"dd/mm/yyyy", d));
        }
        QString operator()(rtl::Currency c) const { return ToQString(rtl::CurrToStrF2(c)); }
    };
    return std::visit(Visitor{}, value);
}

QVariant TMemTableModel::SortValue(const TFieldValue& value) {
    struct Visitor {
        QVariant operator()(std::monostate) const { return {}; }
        QVariant operator()(const rtl::UnicodeString& s) const { return ToQString(s); }
        QVariant operator()(int n) const { return n; }
        QVariant operator()(rtl::TDateTime d) const { return static_cast<double>(d); }
        QVariant operator()(rtl::Currency c) const { return static_cast<qlonglong>(c.Raw()); }
    };
    return std::visit(Visitor{}, value);
}

} // namespace ven
