#include "app/gui/GroupReturnTreeModel.h"

#include "app/core/GroupReturnModel.h"
#include "app/core/ReadProblems.h"
#include "app/core/VatBoxDescriptions.h"
#include "app/gui/QtText.h"
#include "rtl/Currency.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QFont>

namespace ven {

namespace {

// A period row's internal id is 0; a member row's is its period's row plus one.
constexpr quintptr kPeriodRowId = 0;

constexpr char16_t kLikelyCopyMark[] = u"(likely copy)";
// Shown in the box cells of a period whose ticked boxes add up beyond what an amount can hold.
constexpr char16_t kOverflowMark[] = u"Too large";
constexpr char16_t kOverflowTip[] =
    u"The ticked returns' boxes add up to more than an amount can hold; this period cannot be sent.";

constexpr char16_t kConflictTip[] =
    u"A member holds this period in two return files with different figures; this period cannot be sent.";

} // namespace

TGroupReturnTreeModel::TGroupReturnTreeModel(TGroupReturnModel& model, QObject* parent)
    : QAbstractItemModel(parent), _model(model) {}

void TGroupReturnTreeModel::Reset() {
    beginResetModel();
    endResetModel();
}

void TGroupReturnTreeModel::SelectPeriod(int period) {
    int before = _model.SelectedPeriod();
    _model.Select(period);
    for (int p : {before, _model.SelectedPeriod()}) {
        if (p >= 0 && p < _model.PeriodCount()) {
            emit dataChanged(index(p, 0), index(p, colCount - 1), {Qt::BackgroundRole});
        }
    }
}

int TGroupReturnTreeModel::PeriodOf(const QModelIndex& index) const {
    if (!index.isValid()) {
        return -1;
    }
    return index.internalId() == kPeriodRowId ? index.row() : static_cast<int>(index.internalId() - 1);
}

int TGroupReturnTreeModel::MemberOf(const QModelIndex& index) {
    return index.isValid() && index.internalId() != kPeriodRowId ? index.row() : -1;
}

sage::TSageDatasetVatReturn* TGroupReturnTreeModel::ReturnOf(const QModelIndex& index) const {
    int period = PeriodOf(index);
    if (period < 0 || period >= _model.PeriodCount()) {
        return nullptr;
    }
    const TGroupPeriod& p = _model.Period(period);
    int member = MemberOf(index);
    if (member < 0) {
        return p.Combined;
    }
    return member < static_cast<int>(p.Members.size()) ? p.Members[static_cast<size_t>(member)].Return
                                                       : nullptr;
}

QModelIndex TGroupReturnTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) {
        return {};
    }
    if (!parent.isValid()) {
        return createIndex(row, column, kPeriodRowId);
    }
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex TGroupReturnTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kPeriodRowId) {
        return {};
    }
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kPeriodRowId);
}

int TGroupReturnTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return _model.PeriodCount();
    }
    if (parent.internalId() != kPeriodRowId || parent.column() != 0) {
        return 0;
    }
    return static_cast<int>(_model.Period(parent.row()).Members.size());
}

int TGroupReturnTreeModel::columnCount(const QModelIndex&) const {
    return colCount;
}

bool TGroupReturnTreeModel::HasCheckBox(const QModelIndex& index) const {
    return index.column() == colInclude && MemberOf(index) >= 0 && ReturnOf(index) != nullptr;
}

QVariant TGroupReturnTreeModel::DisplayText(const QModelIndex& index) const {
    const TGroupPeriod& p = _model.Period(PeriodOf(index));
    int member = MemberOf(index);
    if (index.column() == colPeriod) {
        if (member < 0) {
            return ToQString(p.Period);
        }
        const TGroupMember& m = p.Members[static_cast<size_t>(member)];
        return ToQString(m.LikelyCopyOf.empty() ? m.CompanyName : m.CompanyName + u" " + kLikelyCopyMark);
    }
    if (member < 0 && index.column() == colInclude) {
        // A closed period shows here that its total leaves a member out.
        const int included = p.IncludedCount();
        const int members = static_cast<int>(p.Members.size());
        return included < members ? QStringLiteral("%1 of %2").arg(included).arg(members) : QVariant();
    }
    if (member < 0 && p.Overflow && index.column() >= colBox1) {
        return ToQString(kOverflowMark);
    }
    if (index.column() >= colBox1) {
        if (sage::TSageDatasetVatReturn* vatReturn = ReturnOf(index)) {
            return ToQString(rtl::FormatCurr(u"£#,##0.00", vatReturn->GetBox(index.column() - colBox1 + 1)));
        }
    }
    return {};
}

QVariant TGroupReturnTreeModel::ToolTip(const QModelIndex& index) const {
    const TGroupPeriod& p = _model.Period(PeriodOf(index));
    const int member = MemberOf(index);
    if (member < 0) {
        if (p.Overflow) {
            return ToQString(kOverflowTip);
        }
        if (p.HasConflict()) {
            return ToQString(kConflictTip);
        }
        const int included = p.IncludedCount();
        const int members = static_cast<int>(p.Members.size());
        return included < members ? QStringLiteral("%1 of %2 included: the total leaves out the members "
                                                   "without a return for this period or not ticked.")
                                        .arg(included)
                                        .arg(members)
                                  : QVariant();
    }
    const TGroupMember& m = p.Members[static_cast<size_t>(member)];
    if (!m.Return) {
        return ToQString(m.CompanyName) +
               QStringLiteral(" has no VAT return stored for this period; nothing of it is in the total.");
    }
    if (!m.ConflictingFile.empty()) {
        return ToQString(ConflictingReturnText(*m.Return));
    }
    if (m.LikelyCopyOf.empty()) {
        return m.Included ? QVariant()
                          : QStringLiteral("Not included: this return's boxes are left out of the period's "
                                           "total. Tick Include (or press Space) to add them.");
    }
    return ToQString(u"Likely a copy of the dataset in " + m.LikelyCopyOf +
                     u" (same dataset UUID and company name). Its boxes are added only if you tick it.");
}

QVariant TGroupReturnTreeModel::Background(const QModelIndex& index) const {
    int member = MemberOf(index);
    if (member < 0) {
        return PeriodOf(index) == _model.SelectedPeriod() ? kSelectedPeriodColour : kPeriodColour;
    }
    return ReturnOf(index) ? kMemberColour : kMissingMemberColour;
}

QVariant TGroupReturnTreeModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(index);
    case Qt::CheckStateRole:
        if (HasCheckBox(index)) {
            const TGroupMember& m =
                _model.Period(PeriodOf(index)).Members[static_cast<size_t>(MemberOf(index))];
            return m.Included ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case Qt::ToolTipRole: {
        // An amount shows whole on hovering, however narrow its column.
        const QVariant tip = ToolTip(index);
        const QString amount = index.column() >= colBox1 ? DisplayText(index).toString() : QString();
        if (amount.isEmpty()) {
            return tip;
        }
        return tip.isValid() ? amount + QLatin1Char('\n') + tip.toString() : QVariant(amount);
    }
    case Qt::BackgroundRole:
        return Background(index);
    case Qt::ForegroundRole:
        // Fixed light backgrounds need dark text whatever the desktop's theme; a member left out
        // of the total is greyed.
        return IsExcluded(index) ? kExcludedTextColour : QColor(Qt::black);
    case Qt::FontRole: {
        QFont font;
        if (MemberOf(index) < 0) {
            font.setBold(true);
        } else if (!ReturnOf(index)) {
            font.setItalic(true);
        }
        return font;
    }
    case Qt::TextAlignmentRole:
        if (index.column() == colPeriod) {
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
        return QVariant::fromValue((index.column() == colInclude ? Qt::AlignHCenter : Qt::AlignRight) |
                                   Qt::AlignVCenter);
    default:
        return {};
    }
}

bool TGroupReturnTreeModel::IsExcluded(const QModelIndex& index) const {
    const int member = MemberOf(index);
    if (member < 0 || !ReturnOf(index)) {
        return false;
    }
    return !_model.Period(PeriodOf(index)).Members[static_cast<size_t>(member)].Included;
}

bool TGroupReturnTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        !HasCheckBox(index)) {
        return false;
    }
    int period = PeriodOf(index);
    _model.SetIncluded(period, MemberOf(index), value.value<Qt::CheckState>() == Qt::Checked);
    emit dataChanged(this->index(index.row(), 0, index.parent()),
                     this->index(index.row(), colCount - 1, index.parent()),
                     {Qt::CheckStateRole, Qt::ForegroundRole, Qt::ToolTipRole});
    emit dataChanged(this->index(period, colInclude), this->index(period, colBox9),
                     {Qt::DisplayRole, Qt::ToolTipRole});
    emit IncludeChanged(period);
    return true;
}

Qt::ItemFlags TGroupReturnTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (MemberOf(index) >= 0) {
        f |= Qt::ItemNeverHasChildren;
    }
    if (HasCheckBox(index)) {
        f |= Qt::ItemIsUserCheckable;
    }
    return f;
}

QVariant TGroupReturnTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= colCount) {
        return QAbstractItemModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case colPeriod:
            return QStringLiteral("Period");
        case colInclude:
            return QStringLiteral("Include");
        default:
            return QStringLiteral("Box %1").arg(section - colBox1 + 1);
        }
    }
    if (role == Qt::ToolTipRole && section >= colBox1) {
        return ToQString(VatBoxDescription(section - colBox1 + 1));
    }
    if (role == Qt::TextAlignmentRole) {
        Qt::Alignment h = section == colPeriod ? Qt::AlignLeft
                                               : (section == colInclude ? Qt::AlignHCenter : Qt::AlignRight);
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    return {};
}

} // namespace ven
