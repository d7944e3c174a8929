#pragma once
// Tform_main: the program's main window. Lists the loaded datasets, adds datasets by hand, switches
// between the portal's live and test sites and hands the chosen VAT return to the portal.
#include "app/core/PortalHandOff.h"
#include "app/update/WebUpdate.h"
#include "app/gui/DataGrid.h"

#include <QMainWindow>

#include <functional>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;
class QTableView;
class QSortFilterProxyModel;

namespace rtl {
class TStringList;
}

namespace sage {
class TSageDataset;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

class IWebUpdate;
class TdmVenMTD;
class TMemTableModel;
class TSliderSwitch;
class TVenSystemMode;

class Tform_main : public QMainWindow {
    Q_OBJECT
public:
    /// Stands in for the browser when a chosen return is handed off (tests capture it); the refusal
    /// of a return that cannot be filed and the status line work as with the browser.
    using THandOffHook = std::function<void(const sage::TSageDatasetVatReturn&, const TPortalTarget&)>;

    explicit Tform_main(const TVenSystemMode& systemMode, QWidget* parent = nullptr);
    ~Tform_main() override;

    /// Binds the dataset grid to the data module's dataset table (null unbinds).
    void SetDataModule(TdmVenMTD* dataModule);
    /// The web-update component asked at the first show (updApplication unless a test gives
    /// another); null: no update check.
    void SetWebUpdate(IWebUpdate* webUpdate) { _pWebUpdate = webUpdate; }
    /// Null restores the real hand-off.
    void SetHandOffHook(THandOffHook hook) { _fnHandOff = std::move(hook); }

    /// True while the switch stands at Test.
    bool TestMode() const { return _blTestMode; }
    /// The dataset of the selected row, or null.
    sage::TSageDataset* Dataset() const { return FDataset; }

    /// Closes the window as Close does: at once when shown, else as soon as loading has shown it.
    void RequestClose();

    void SelectFirstDataset();
    void UpdateSelectedDataset();
    void UpdateSubmissionMode();
    /// Builds the return's URL for the current mode and opens it; the status line says what was
    /// opened, a message box why nothing was (a live return without a VAT number is refused).
    void HandOffReturn(const sage::TSageDatasetVatReturn& vatReturn);
    /// Shows "N items could not be read" in the status line while the data module knows of any.
    void UpdateProblems();
    /// Opens the list of what could not be read.
    void ShowProblemDetails();

    QFrame* pnlHeader;
    QLabel* lblSubmissionMode;
    TSliderSwitch* cbSubmissionMode;
    QFrame* pnlContent;
    TDataGrid* gridDatasets;
    QFrame* pnlFooter;
    QPushButton* btnBrowse;
    QPushButton* btnSubmit;
    QPushButton* btnClose;
    QLabel* lblProblems;      // in the status line: "N items could not be read"
    QPushButton* btnProblems; // beside it: opens the details
    /// The program's web-update component, configured for this build.
    TWebUpdate updApplication;

signals:
    /// The window was closed: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildHeader();
    void BuildContent();
    void BuildFooter();
    void BuildStatusLine();
    void FormShow();
    void gridDatasetsSelectionChanged();
    void cbSubmissionModeStateChanged();
    void btnBrowseClick();
    void btnSubmitClick();
    void btnCloseClick();
    void BrowseDatasetFile();
    void BrowsePlatformDatasets();
    void ApplyAppearance(bool testMode);
    void RestoreColumnWidths();
    void FitColumnWidths();
    void SaveColumnWidths();
    int SourceRow(int gridRow) const;
    void ShowMessage(const rtl::UnicodeString& text);
    void SubmitGroupReturn();
    void SubmitChosenReturn();
    void updApplicationDownloadedEULA(TWebUpdate& sender, const rtl::TStringList& lines, bool& accept);
    void updApplicationAppRestart(TWebUpdate& sender, bool& allowRestart);

    const TVenSystemMode& _systemMode;
    TdmVenMTD* _pDataModule = nullptr;
    TMemTableModel* _pDatasetModel = nullptr;
    // The grid's view of the dataset table: the table's order until the user sorts by a column.
    QSortFilterProxyModel* _pSortModel = nullptr;
    // Columns with no saved width, fitted to their contents until the user sizes one by hand.
    std::vector<int> _fitColumns;
    bool _blFitting = false;
    IWebUpdate* _pWebUpdate = &updApplication;
    THandOffHook _fnHandOff;
    sage::TSageDataset* FDataset = nullptr;
    bool _blTestMode = false;
    bool _blShown = false;
    bool _blCloseRequested = false;
    // The table row of the selected dataset while the rows are re-read.
    int _nRowBeforeReset = -1;
};

} // namespace ven
