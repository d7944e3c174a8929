#pragma once
// TfrmGroupReturn: the VAT-group return. Shows the returns of every dataset of the selected
// dataset's VAT number by period, one period open at a time, and submits the chosen period's
// combined return under an editable return name. Modal; created by the main window, read after OK.
#include "app/core/GroupReturnModel.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeView;

namespace sage {
class TSageDataset;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

class TdmVenMTD;
class TGroupReturnTreeModel;

class TfrmGroupReturn : public QDialog {
    Q_OBJECT
public:
    /// The group is gathered from the data module's DataSets list.
    explicit TfrmGroupReturn(TdmVenMTD& dataModule, QWidget* parent = nullptr);
    ~TfrmGroupReturn() override;

    /// Builds the group tree of the dataset's VAT number; "No VAT Info!" and an empty tree when
    /// the dataset has no URL-form VAT number or no returns.
    void SetDataset(sage::TSageDataset* dataset);
    sage::TSageDataset* Dataset() const { return _pDataset; }
    /// The test-mode colours are taken when the window is shown with this on.
    void SetTestMode(bool testMode) { _blTestMode = testMode; }
    bool TestMode() const { return _blTestMode; }
    /// The selected period's combined return (owned by this window), or null.
    sage::TSageDatasetVatReturn* SelectedReturn() const { return _model.SelectedReturn(); }
    /// The group being shown.
    const TGroupReturnModel& GroupModel() const { return _model; }
    TGroupReturnTreeModel* TreeModel() const { return _pTreeModel; }

    QFrame* pnlHeader;
    QLabel* lblCompany;
    QLineEdit* txtReturnName;
    QToolButton* btnEditName;
    QLabel* lblVATNo;
    QLineEdit* txtVatNo;
    QLabel* lblSelectedPeriod;
    QFrame* pnlContent;
    QTreeView* gridReturns;
    QFrame* pnlFooter;
    QPushButton* btnSubmitVAT;
    QPushButton* btnCancel;
    QTimer* tmrSelect;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildHeader();
    void BuildContent();
    void BuildFooter();
    void FormShow();
    void OpenPeriod(int period);
    void gridReturnsClickCell(const QModelIndex& index);
    void gridReturnsCurrentChanged(const QModelIndex& current);
    void gridReturnsExpanded(const QModelIndex& index);
    void gridReturnsCheckBoxChange(int period);
    void gridReturnsSelectionChanged();
    void tmrSelectTimer();
    void btnEditNameClick();
    void btnSubmitVATClick();
    void RestoreColumnWidths();
    void FitPeriodColumn();
    void SaveColumnWidths();

    TdmVenMTD& _dataModule;
    sage::TSageDataset* _pDataset = nullptr;
    // Owns the combined returns of the periods shown (its section list); freed with the window.
    TGroupReturnModel _model;
    TGroupReturnTreeModel* _pTreeModel = nullptr;
    // The period opened by the user's last click; -1 before any.
    int _nSelected = -1;
    bool _blTestMode = false;
    // Put where the user last left it: not centred when shown.
    bool _blPlaced = false;
    // OpenPeriod's own moves of the current row open nothing more.
    bool _blOpening = false;
    // No saved width: the period column takes the group's longest company name.
    bool _blFitPeriod = false;
};

} // namespace ven
