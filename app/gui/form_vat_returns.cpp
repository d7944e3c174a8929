#include "app/gui/form_vat_returns.h"

#include "app/gui/WindowParts.h"

#include "app/core/GridColumnSizes.h"
#include "app/core/ReadProblems.h"
#include "app/core/VenDataModule.h"
#include "app/gui/DataGrid.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/TestModeColours.h"
#include "app/gui/VatReturnGridModel.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ven {

Tform_vat_returns::Tform_vat_returns(TdmVenMTD& dataModule, QWidget* parent)
    : QDialog(parent), _dataModule(dataModule) {
    setObjectName(QStringLiteral("form_vat_returns"));
    setWindowTitle(QStringLiteral("Select VAT Return"));
    BuildHeader();
    BuildContent();
    BuildFooter();
    StackPanels(this, pnlHeader, pnlContent, pnlFooter);
    resize(1116, 373);
    _blPlaced = RestoreWindowBounds(this, kVatReturnGridSection);
}

Tform_vat_returns::~Tform_vat_returns() {
    // The table holds this window's rows only while it is open.
    _dataModule.mtVatReturns.Close();
}

void Tform_vat_returns::BuildHeader() {
    pnlHeader = MakePanel(QStringLiteral("pnlHeader"), this);
    pnlHeader->setFixedHeight(74);
    lblCompany = new QLabel(QStringLiteral("Company Name"), pnlHeader);
    lblCompany->setObjectName(QStringLiteral("lblCompany"));
    txtCompany = MakeReadOnlyEdit(QStringLiteral("txtCompany"), pnlHeader);
    txtCompany->setFixedWidth(360);
    btnEditName = MakeEditNameButton(pnlHeader);
    lblVATNo = new QLabel(QStringLiteral("VAT no"), pnlHeader);
    lblVATNo->setObjectName(QStringLiteral("lblVATNo"));
    txtVatNo = MakeReadOnlyEdit(QStringLiteral("txtVatNo"), pnlHeader);
    txtVatNo->setFixedWidth(160);
    connect(btnEditName, &QToolButton::toggled, this, &Tform_vat_returns::btnEditNameClick);

    auto* grid = new QGridLayout(pnlHeader);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->addWidget(lblCompany, 0, 0);
    grid->addWidget(txtCompany, 0, 1);
    grid->addWidget(btnEditName, 0, 2);
    grid->addWidget(lblVATNo, 1, 0);
    grid->addWidget(txtVatNo, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
}

void Tform_vat_returns::BuildContent() {
    pnlContent = MakePanel(QStringLiteral("pnlContent"), this);
    _pGridModel = new TVatReturnGridModel(_dataModule.mtVatReturns, this);
    gridReturns = new TDataGrid(pnlContent);
    gridReturns->setObjectName(QStringLiteral("gridReturns"));
    // The column widths were chosen for a compact font, as in the dataset grid.
    QFont gridFont = gridReturns->font();
    gridFont.setPointSizeF(gridFont.pointSizeF() * 0.9);
    gridReturns->setFont(gridFont);
    gridReturns->setModel(_pGridModel);
    gridReturns->verticalHeader()->hide();
    gridReturns->verticalHeader()->setDefaultSectionSize(gridReturns->fontMetrics().height() + 8);
    gridReturns->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    gridReturns->horizontalHeader()->setHighlightSections(false);
    gridReturns->horizontalHeader()->setStretchLastSection(true);
    RestoreColumnWidths();
    connect(gridReturns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &Tform_vat_returns::gridReturnsSelectionChanged);
    // The table's current row and the grid's selected row follow each other, as a data-aware grid's do.
    connect(_pGridModel, &TMemTableModel::CurrentRowChanged, this, [this](int row) {
        if (row >= 0 && row != gridReturns->currentIndex().row()) {
            gridReturns->selectRow(row);
        }
    });
    auto* box = new QVBoxLayout(pnlContent);
    box->setContentsMargins(6, 6, 6, 6);
    box->addWidget(gridReturns);
}

void Tform_vat_returns::BuildFooter() {
    pnlFooter = MakeSubmitFooter(this, btnSubmitVAT, btnCancel);
    btnSubmitVAT->setDefault(true);
    connect(btnSubmitVAT, &QPushButton::clicked, this, &Tform_vat_returns::btnSubmitVATClick);
    // A double-click on a return submits it, as Submit does.
    connect(gridReturns, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && btnSubmitVAT->isEnabled()) {
            btnSubmitVAT->click();
        }
    });
}

void Tform_vat_returns::SetDataset(sage::TSageDataset* dataset) {
    FDataset = dataset;
    _pGridModel->SetDataset(dataset);
    _blSelecting = true;
    if (dataset) {
        txtCompany->setText(ToQString(dataset->CompanyName()));
        txtVatNo->setText(ToQString(dataset->VatNumber()));
        _dataModule.FillVatReturns(dataset);
    } else {
        txtCompany->clear();
        txtVatNo->clear();
        _dataModule.mtVatReturns.Open();
        _dataModule.mtVatReturns.EmptyDataSet();
    }
    _pGridModel->Reload();
    WidenColumnsToFit();
    SelectCurrentRow();
    gridReturnsSelectionChanged();
    _blSelecting = false;
}

void Tform_vat_returns::SelectCurrentRow() {
    int row = _dataModule.mtVatReturns.RecNo();
    if (row >= 0 && row < _pGridModel->rowCount()) {
        gridReturns->selectRow(row);
    } else {
        gridReturns->clearSelection();
        gridReturns->setCurrentIndex({});
    }
}

sage::TSageDatasetVatReturn* Tform_vat_returns::SelectedReturn() const {
    QModelIndexList rows = gridReturns->selectionModel()->selectedRows();
    return _pGridModel->ReturnAt(rows.isEmpty() ? gridReturns->currentIndex().row() : rows.first().row());
}

void Tform_vat_returns::gridReturnsSelectionChanged() {
    int row = gridReturns->currentIndex().row();
    if (row >= 0 && row != _dataModule.mtVatReturns.RecNo()) {
        _dataModule.mtVatReturns.SetRecNo(row);
    }
    // A disabled button says why it cannot be pressed.
    const bool chosen = _pGridModel->ReturnAt(row) != nullptr;
    btnSubmitVAT->setEnabled(chosen);
    btnSubmitVAT->setToolTip(chosen ? QString() : QStringLiteral("Select a return to submit."));
    if (_blSelecting) {
        return;
    }
    // A return file may carry its own company name; it then goes to the portal with that return.
    if (sage::TSageDatasetVatReturn* vatReturn = _pGridModel->ReturnAt(row)) {
        if (!vatReturn->CompanyName().empty()) {
            txtCompany->setText(ToQString(vatReturn->CompanyName()));
        }
    }
}

void Tform_vat_returns::btnEditNameClick() {
    SetNameEditable(txtCompany, btnEditName->isChecked());
    if (btnEditName->isChecked()) {
        txtCompany->setFocus(Qt::OtherFocusReason);
        txtCompany->selectAll();
    }
}

void Tform_vat_returns::btnSubmitVATClick() {
    if (sage::TSageDatasetVatReturn* chosen = SelectedReturn(); chosen && chosen->Conflicting()) {
        MessageBox::warning(this, ToQString(ConflictingReturnText(*chosen)));
        return;
    }
    accept();
}

void Tform_vat_returns::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void Tform_vat_returns::FormShow() {
    ApplyTestModeColours(_blTestMode, {pnlHeader, pnlContent, pnlFooter},
                         {lblCompany, lblVATNo, TestModeNoticeOf(pnlFooter)});
    ShowTestModeNotice(pnlFooter, _blTestMode);
    KeepOrdinaryColours(gridReturns);
    // The returns are what the window is for; the name box is reached with Edit.
    gridReturns->setFocus(Qt::OtherFocusReason);
    PlaceOnScreen(this, _blPlaced);
}

void Tform_vat_returns::hideEvent(QHideEvent* event) {
    SaveColumnWidths();
    SaveWindowBounds(this, kVatReturnGridSection);
    QDialog::hideEvent(event);
}

void Tform_vat_returns::RestoreColumnWidths() {
    const std::vector<TGridColumn>& columns = _pGridModel->Columns();
    std::vector<int> saved = LoadColumnWidths(kVatReturnGridSection, static_cast<int>(columns.size()));
    for (size_t i = 0; i < columns.size(); ++i) {
        gridReturns->setColumnWidth(static_cast<int>(i), saved[i] > 0 ? saved[i] : DefaultColumnWidth(i));
    }
}

// The design widths, widened where the grid's font needs more for a period or a six-figure amount.
int Tform_vat_returns::DefaultColumnWidth(size_t column) const {
    const QFontMetrics fm = gridReturns->fontMetrics();
    int width = _pGridModel->Columns()[column].Width;
    QString sample = column == TVatReturnGridModel::colPeriod ? QStringLiteral("00/00/0000 - 00/00/0000")
                                                              : QStringLiteral("£888,888.88");
    return std::max(width, fm.horizontalAdvance(sample) + 8);
}

// No amount is ever cut: a column too narrow for its widest text widens.
void Tform_vat_returns::WidenColumnsToFit() {
    for (int c = 0; c < _pGridModel->columnCount(); ++c) {
        const int needed = static_cast<QAbstractItemView*>(gridReturns)->sizeHintForColumn(c);
        if (needed > gridReturns->columnWidth(c)) {
            gridReturns->setColumnWidth(c, needed);
        }
    }
}

void Tform_vat_returns::SaveColumnWidths() {
    std::vector<int> widths;
    // The last column fills what is left of the window: that is no width of its own to keep.
    for (int i = 0; i < _pGridModel->columnCount(); ++i) {
        widths.push_back(i + 1 < _pGridModel->columnCount() ? gridReturns->columnWidth(i) : 0);
    }
    ven::SaveColumnWidths(kVatReturnGridSection, widths);
}

} // namespace ven
