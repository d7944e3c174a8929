#pragma once
// Tform_vat_returns: picks one of a dataset's VAT returns and lets the user change the company
// name that goes to the portal with it. Modal; created by the main window, read after OK.
#include <QDialog>

#include <cstddef>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

namespace sage {
class TSageDataset;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

class TdmVenMTD;
class TVatReturnGridModel;

class Tform_vat_returns : public QDialog {
    Q_OBJECT
public:
    /// The grid shows the data module's return table, which the window refills and closes.
    explicit Tform_vat_returns(TdmVenMTD& dataModule, QWidget* parent = nullptr);
    ~Tform_vat_returns() override;

    /// Fills the return table with the dataset's returns and selects the latest one's row.
    void SetDataset(sage::TSageDataset* dataset);
    sage::TSageDataset* Dataset() const { return FDataset; }
    /// The test-mode colours are taken when the window is shown with this on.
    void SetTestMode(bool testMode) { _blTestMode = testMode; }
    bool TestMode() const { return _blTestMode; }
    /// The return of the selected row, or null when no row is selected.
    sage::TSageDatasetVatReturn* SelectedReturn() const;
    /// The grid's model (rows of the return table).
    TVatReturnGridModel* GridModel() const { return _pGridModel; }

    QFrame* pnlHeader;
    QLabel* lblCompany;
    QLineEdit* txtCompany;
    QToolButton* btnEditName;
    QLabel* lblVATNo;
    QLineEdit* txtVatNo;
    QFrame* pnlContent;
    QTableView* gridReturns;
    QFrame* pnlFooter;
    QPushButton* btnSubmitVAT;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildHeader();
    void BuildContent();
    void BuildFooter();
    void FormShow();
    void SelectCurrentRow();
    void gridReturnsSelectionChanged();
    void btnEditNameClick();
    void btnSubmitVATClick();
    void RestoreColumnWidths();
    int DefaultColumnWidth(size_t column) const;
    void WidenColumnsToFit();
    void SaveColumnWidths();

    TdmVenMTD& _dataModule;
    TVatReturnGridModel* _pGridModel = nullptr;
    sage::TSageDataset* FDataset = nullptr;
    bool _blTestMode = false;
    // Put where the user last left it: not centred when shown.
    bool _blPlaced = false;
    // While the window itself selects the latest return, the company field keeps the dataset's name.
    bool _blSelecting = false;
};

} // namespace ven
