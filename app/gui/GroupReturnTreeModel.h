#pragma once
// TGroupReturnTreeModel: the group window's tree over the VAT-group model. One top-level row per
// period (the combined return), with one child row per dataset of the group; members that have a
// return for the period carry an "Include" check box.
#include <QAbstractItemModel>
#include <QColor>

namespace sage {
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

class TGroupReturnModel;

class TGroupReturnTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum TColumn { colPeriod, colInclude, colBox1, colBox9 = colBox1 + 8, colCount };

    static inline const QColor kSelectedPeriodColour{173, 216, 230};
    static inline const QColor kPeriodColour{255, 255, 255};
    static inline const QColor kMemberColour{144, 238, 144};
    static inline const QColor kMissingMemberColour{255, 182, 193};
    /// Text of a member row whose return is left out of the total.
    static inline const QColor kExcludedTextColour{128, 128, 128};

    /// Shows model (not owned); call Reset after the model is built again.
    explicit TGroupReturnTreeModel(TGroupReturnModel& model, QObject* parent = nullptr);

    /// Re-reads the whole group model.
    void Reset();
    /// Selects a period in the group model (-1: none) and repaints the period rows' colours.
    void SelectPeriod(int period);
    /// The period an index belongs to (its own row for a period row), -1 for an invalid index.
    int PeriodOf(const QModelIndex& index) const;
    /// The member row's member index, -1 for a period row or an invalid index.
    static int MemberOf(const QModelIndex& index);
    /// The return a row carries: the period's combined return, or a member's own return (or null).
    sage::TSageDatasetVatReturn* ReturnOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    /// A member was ticked or unticked and its period summed again.
    void IncludeChanged(int period);

private:
    QVariant DisplayText(const QModelIndex& index) const;
    QVariant ToolTip(const QModelIndex& index) const;
    QVariant Background(const QModelIndex& index) const;
    bool HasCheckBox(const QModelIndex& index) const;
    bool IsExcluded(const QModelIndex& index) const;

    TGroupReturnModel& _model;
};

} // namespace ven
