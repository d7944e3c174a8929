#include "app/gui/frm_group_return.h"

#include "app/gui/WindowParts.h"

#include "app/core/GridColumnSizes.h"
#include "app/core/VenDataModule.h"
#include "app/gui/GroupReturnTreeModel.h"
#include "app/gui/QtText.h"
#include "app/gui/TestModeColours.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace ven {

namespace {

// The saved layout keeps a first column for the node buttons, which this tree draws without.
constexpr int kNodeColumnWidth = 24;

// The design widths, widened where the grid's font needs more for a period or a six-figure amount.
int DefaultColumnWidth(int column, QFont font) {
    font.setBold(true); // the periods' rows, the widest texts
    const QFontMetrics fm(font);
    switch (column) {
    case TGroupReturnTreeModel::colPeriod:
        return std::max(184, fm.horizontalAdvance(QStringLiteral("00/00/0000 - 00/00/0000")) + 28);
    case TGroupReturnTreeModel::colInclude:
        return 64;
    default:
        return std::max(80, fm.horizontalAdvance(QStringLiteral("£888,888.88")) + 7);
    }
}

// Paints the tree as a grid of coloured cells: no selection highlight (the selected period shows by
// its colour), member names set in from their period's, and the Include box centred in its cell
// and toggled by a click anywhere in the cell.
class TGroupTreeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (HasCheckBox(index)) {
            QStyleOptionViewItem check = opt;
            check.rect = CheckRect(opt, style);
            check.state =
                (opt.state & ~QStyle::State_HasFocus) |
                (index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked ? QStyle::State_On
                                                                                       : QStyle::State_Off);
            style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);
        }
        PaintCurrentRow(painter, opt, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + 8));
        return size;
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (!HasCheckBox(index)) {
            return false;
        }
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton ||
                !option.rect.contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                return false;
            }
            break;
        case QEvent::KeyPress: {
            int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) {
                return false;
            }
            break;
        }
        default:
            return false;
        }
        bool checked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        // The box is drawn centred by paint, not at the cell's left edge.
        option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
    }

private:
    // The cells keep their colours, so the row the keys are on is marked over them, across the row.
    static void PaintCurrentRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
        const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
        const QModelIndex current = view ? view->currentIndex() : QModelIndex();
        if (!current.isValid() || current.row() != index.row() || current.parent() != index.parent()) {
            return;
        }
        QColor tint = option.palette.color(QPalette::Active, QPalette::Highlight);
        const QColor line = tint;
        tint.setAlpha(view->hasFocus() ? 80 : 45);
        painter->fillRect(option.rect, tint);
        painter->setPen(QPen(line, 1));
        painter->drawLine(option.rect.topLeft(), option.rect.topRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
    static bool HasCheckBox(const QModelIndex& index) {
        return index.flags().testFlag(Qt::ItemIsUserCheckable);
    }
    static QRect CheckRect(const QStyleOptionViewItem& option, QStyle* style) {
        int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
        int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
        QRect rect(0, 0, w, h);
        rect.moveCenter(option.rect.center());
        return rect;
    }
};

} // namespace

TfrmGroupReturn::TfrmGroupReturn(TdmVenMTD& dataModule, QWidget* parent)
    : QDialog(parent), _dataModule(dataModule) {
    setObjectName(QStringLiteral("frmGroupReturn"));
    setWindowTitle(QStringLiteral("Group VAT Return"));
    BuildHeader();
    BuildContent();
    BuildFooter();
    StackPanels(this, pnlHeader, pnlContent, pnlFooter);
    _blPlaced = RestoreWindowBounds(this, kGroupReturnGridSection);
    tmrSelect = new QTimer(this);
    tmrSelect->setObjectName(QStringLiteral("tmrSelect"));
    tmrSelect->setSingleShot(true);
    tmrSelect->setInterval(10);
    connect(tmrSelect, &QTimer::timeout, this, &TfrmGroupReturn::tmrSelectTimer);
    if (!_blPlaced) {
        resize(1017, 402);
    }
}

TfrmGroupReturn::~TfrmGroupReturn() {
    // The view lets go of the tree before the group model and its combined returns go.
    gridReturns->setModel(nullptr);
}

void TfrmGroupReturn::BuildHeader() {
    pnlHeader = MakePanel(QStringLiteral("pnlHeader"), this);
    pnlHeader->setFixedHeight(74);
    lblCompany = new QLabel(QStringLiteral("Return Name"), pnlHeader);
    lblCompany->setObjectName(QStringLiteral("lblCompany"));
    txtReturnName = MakeReadOnlyEdit(QStringLiteral("txtReturnName"), pnlHeader, true);
    txtReturnName->setFixedWidth(360);
    btnEditName = MakeEditNameButton(pnlHeader);
    lblVATNo = new QLabel(QStringLiteral("VAT no"), pnlHeader);
    lblVATNo->setObjectName(QStringLiteral("lblVATNo"));
    txtVatNo = MakeReadOnlyEdit(QStringLiteral("txtVatNo"), pnlHeader, true);
    txtVatNo->setFixedWidth(160);
    lblSelectedPeriod = new QLabel(pnlHeader);
    lblSelectedPeriod->setObjectName(QStringLiteral("lblSelectedPeriod"));
    connect(btnEditName, &QToolButton::toggled, this, &TfrmGroupReturn::btnEditNameClick);

    auto* grid = new QGridLayout(pnlHeader);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->addWidget(lblCompany, 0, 0);
    grid->addWidget(txtReturnName, 0, 1);
    grid->addWidget(btnEditName, 0, 2);
    grid->addWidget(lblVATNo, 1, 0);
    grid->addWidget(txtVatNo, 1, 1, Qt::AlignLeft);
    grid->addWidget(lblSelectedPeriod, 1, 3);
    grid->setColumnStretch(3, 1);
}

void TfrmGroupReturn::BuildContent() {
    pnlContent = MakePanel(QStringLiteral("pnlContent"), this);
    _pTreeModel = new TGroupReturnTreeModel(_model, this);
    gridReturns = new QTreeView(pnlContent);
    gridReturns->setObjectName(QStringLiteral("gridReturns"));
    // The column widths were chosen for a compact font: the bold sums of a period fit them.
    QFont gridFont = gridReturns->font();
    gridFont.setPointSizeF(gridFont.pointSizeF() * 0.85);
    gridReturns->setFont(gridFont);
    gridReturns->setModel(_pTreeModel);
    gridReturns->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridReturns->setSelectionMode(QAbstractItemView::SingleSelection);
    gridReturns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridReturns->setUniformRowHeights(true);
    // Tab leaves the tree; the arrows move from row to row.
    gridReturns->setTabKeyNavigation(false);
    // A period opens by its row, by its node button or by the arrow keys, and the others close.
    gridReturns->setRootIsDecorated(true);
    gridReturns->setExpandsOnDoubleClick(false);
    gridReturns->setIndentation(16);
    gridReturns->installEventFilter(this);
    gridReturns->setItemDelegate(new TGroupTreeDelegate(gridReturns));
    gridReturns->setAllColumnsShowFocus(true);
    gridReturns->header()->setSectionResizeMode(QHeaderView::Interactive);
    gridReturns->header()->setStretchLastSection(true);
    gridReturns->header()->setHighlightSections(false);
    RestoreColumnWidths();
    connect(gridReturns, &QTreeView::clicked, this, &TfrmGroupReturn::gridReturnsClickCell);
    connect(gridReturns->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmGroupReturn::gridReturnsSelectionChanged);
    connect(gridReturns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TfrmGroupReturn::gridReturnsCurrentChanged);
    connect(gridReturns, &QTreeView::expanded, this, &TfrmGroupReturn::gridReturnsExpanded);
    connect(_pTreeModel, &TGroupReturnTreeModel::IncludeChanged, this,
            &TfrmGroupReturn::gridReturnsCheckBoxChange);
    auto* box = new QVBoxLayout(pnlContent);
    box->setContentsMargins(6, 6, 6, 6);
    box->addWidget(gridReturns);
}

void TfrmGroupReturn::BuildFooter() {
    pnlFooter = MakeSubmitFooter(this, btnSubmitVAT, btnCancel);
    btnSubmitVAT->setEnabled(false);
    connect(btnSubmitVAT, &QPushButton::clicked, this, &TfrmGroupReturn::btnSubmitVATClick);
}

void TfrmGroupReturn::SetDataset(sage::TSageDataset* dataset) {
    _pDataset = dataset;
    tmrSelect->stop();
    _nSelected = -1;
    bool built = false;
    if (rtl::TStringList* datasets = _dataModule.DataSets()) {
        built = _model.Build(dataset, *datasets);
    }
    _pTreeModel->Reset();
    FitPeriodColumn();
    txtVatNo->setText(built ? ToQString(_model.VatNumberText()) : ToQString(kNoVatInfo));
    txtReturnName->setText(ToQString(_model.ReturnName()));
    gridReturnsSelectionChanged();
    if (!built) {
        return;
    }
    // The first period stands open, but is selected only by the timer, as before any choice.
    _blOpening = true;
    gridReturns->collapseAll();
    gridReturns->expand(_pTreeModel->index(0, 0));
    _blOpening = false;
    tmrSelect->start();
}

// Opens one period and closes the others, selecting its header row.
void TfrmGroupReturn::OpenPeriod(int period) {
    if (_blOpening) {
        return;
    }
    _blOpening = true;
    _nSelected = period;
    QModelIndex header = _pTreeModel->index(period, 0);
    gridReturns->setCurrentIndex(header);
    gridReturns->collapseAll();
    gridReturns->expand(header);
    _blOpening = false;
}

// Moving onto another period's row with the keys opens it as a click does, so that a heading never
// stands over the members of the period before.
void TfrmGroupReturn::gridReturnsCurrentChanged(const QModelIndex& current) {
    int period = _pTreeModel->PeriodOf(current);
    if (period >= 0 && period != _nSelected) {
        OpenPeriod(period);
    }
}

void TfrmGroupReturn::gridReturnsExpanded(const QModelIndex& index) {
    int period = _pTreeModel->PeriodOf(index);
    if (period >= 0 && period != _nSelected) {
        OpenPeriod(period);
    }
}

// Space ticks or unticks the member of the current row, whichever of its cells has the focus.
bool TfrmGroupReturn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == gridReturns && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        QModelIndex current = gridReturns->currentIndex();
        QModelIndex include = current.sibling(current.row(), TGroupReturnTreeModel::colInclude);
        if (include.isValid() && include.flags().testFlag(Qt::ItemIsUserCheckable)) {
            bool checked = include.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
            _pTreeModel->setData(include, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmGroupReturn::gridReturnsClickCell(const QModelIndex& index) {
    int period = _pTreeModel->PeriodOf(index);
    if (period >= 0 && period != _nSelected) {
        OpenPeriod(period);
    }
}

void TfrmGroupReturn::gridReturnsCheckBoxChange(int period) {
    (void)period; // the tree model has summed the period again already
    tmrSelect->start();
}

void TfrmGroupReturn::gridReturnsSelectionChanged() {
    QModelIndexList rows = gridReturns->selectionModel()->selectedRows();
    int period = rows.isEmpty() ? -1 : _pTreeModel->PeriodOf(rows.first());
    _pTreeModel->SelectPeriod(period);
    if (sage::TSageDatasetVatReturn* combined = _model.SelectedReturn()) {
        btnSubmitVAT->setEnabled(true);
        btnSubmitVAT->setToolTip(QString());
        lblSelectedPeriod->setText(QStringLiteral("Selected Period: ") + ToQString(combined->Period()));
    } else {
        btnSubmitVAT->setEnabled(false);
        // A disabled button says why it cannot be pressed.
        btnSubmitVAT->setToolTip(_model.PeriodCount() == 0
                                     ? QStringLiteral("This company has no VAT number or no VAT returns in "
                                                      "Sage, so there is no group return to submit.")
                                     : QStringLiteral("Select a period to submit."));
        lblSelectedPeriod->clear();
    }
}

// Selects the open period's header again once a tick has changed its sums (the first period
// until the user opens another); a member row the keys are on stays current, so that Space can go
// on to the next member.
void TfrmGroupReturn::tmrSelectTimer() {
    tmrSelect->stop();
    int period = _nSelected >= 0 ? _nSelected : 0;
    if (period < _pTreeModel->rowCount()) {
        if (_pTreeModel->PeriodOf(gridReturns->currentIndex()) != period ||
            TGroupReturnTreeModel::MemberOf(gridReturns->currentIndex()) < 0) {
            gridReturns->setCurrentIndex(_pTreeModel->index(period, 0));
        }
        _nSelected = period;
        gridReturnsSelectionChanged();
    }
    update();
}

void TfrmGroupReturn::btnEditNameClick() {
    SetNameEditable(txtReturnName, btnEditName->isChecked());
    if (btnEditName->isChecked()) {
        txtReturnName->setFocus(Qt::OtherFocusReason);
        txtReturnName->selectAll();
    }
}

void TfrmGroupReturn::btnSubmitVATClick() {
    if (sage::TSageDatasetVatReturn* combined = _model.SelectedReturn()) {
        combined->SetCompanyName(FromQString(txtReturnName->text()));
    }
    accept();
}

void TfrmGroupReturn::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TfrmGroupReturn::FormShow() {
    ApplyTestModeColours(_blTestMode, {pnlHeader, pnlContent, pnlFooter},
                         {lblCompany, lblVATNo, lblSelectedPeriod, TestModeNoticeOf(pnlFooter)});
    ShowTestModeNotice(pnlFooter, _blTestMode);
    // Only the panels take the test colours; the tree keeps the ordinary look.
    KeepOrdinaryColours(gridReturns);
    gridReturns->setFocus(Qt::OtherFocusReason);
    PlaceOnScreen(this, _blPlaced);
}

void TfrmGroupReturn::hideEvent(QHideEvent* event) {
    SaveColumnWidths();
    SaveWindowBounds(this, kGroupReturnGridSection);
    QDialog::hideEvent(event);
}

// Without a saved width the period column is widened, when needed, to the longest company name of
// the group, set in under its period.
void TfrmGroupReturn::FitPeriodColumn() {
    // Measured as shown, marks included, in the wider of the member rows' fonts (italic or not).
    QFont font = gridReturns->font();
    font.setItalic(true);
    const QFontMetrics italic(font);
    const QFontMetrics plain(gridReturns->font());
    int widest = DefaultColumnWidth(TGroupReturnTreeModel::colPeriod, gridReturns->font());
    for (int p = 0; p < _pTreeModel->rowCount(); ++p) {
        const QModelIndex period = _pTreeModel->index(p, 0);
        for (int m = 0; m < _pTreeModel->rowCount(period); ++m) {
            const QString text = _pTreeModel->index(m, TGroupReturnTreeModel::colPeriod, period).data().toString();
            widest = std::max(widest, std::max(plain.horizontalAdvance(text), italic.horizontalAdvance(text)) +
                                          2 * gridReturns->indentation() + 16);
        }
    }
    const int current = gridReturns->columnWidth(TGroupReturnTreeModel::colPeriod);
    // A width the user chose stays, unless it would cut a name.
    gridReturns->setColumnWidth(TGroupReturnTreeModel::colPeriod, _blFitPeriod ? widest : std::max(current, widest));
    // No amount is cut either: a box column too narrow for its widest figure widens.
    for (int c = TGroupReturnTreeModel::colBox1; c + 1 < TGroupReturnTreeModel::colCount; ++c) {
        const int needed = static_cast<QAbstractItemView*>(gridReturns)->sizeHintForColumn(c);
        if (needed > gridReturns->columnWidth(c)) {
            gridReturns->setColumnWidth(c, needed);
        }
    }
}

void TfrmGroupReturn::RestoreColumnWidths() {
    std::vector<int> saved = LoadColumnWidths(kGroupReturnGridSection, TGroupReturnTreeModel::colCount + 1);
    _blFitPeriod = saved[1 + TGroupReturnTreeModel::colPeriod] <= 0;
    for (int c = 0; c < TGroupReturnTreeModel::colCount; ++c) {
        int width = saved[static_cast<size_t>(c) + 1];
        gridReturns->setColumnWidth(c, width > 0 ? width : DefaultColumnWidth(c, gridReturns->font()));
    }
}

void TfrmGroupReturn::SaveColumnWidths() {
    std::vector<int> widths{kNodeColumnWidth};
    // The last column fills what is left of the window: that is no width of its own to keep.
    for (int c = 0; c < TGroupReturnTreeModel::colCount; ++c) {
        widths.push_back(c + 1 < TGroupReturnTreeModel::colCount ? gridReturns->columnWidth(c) : 0);
    }
    ven::SaveColumnWidths(kGroupReturnGridSection, widths);
}

} // namespace ven
