#include "app/gui/form_main.h"

#include "app/core/DatasetBrowse.h"
#include "app/core/DatasetLoader.h"
#include "app/core/GridColumnSizes.h"
#include "app/core/PlatformPaths.h"
#include "app/update/ProgramRestart.h"
#include "app/update/UpdateCheck.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"
#include "app/gui/DataGrid.h"
#include "app/gui/FileDialog.h"
#include "app/gui/GridSortModel.h"
#include "app/gui/MemTableModel.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/SliderSwitch.h"
#include "app/gui/TestModeColours.h"
#include "app/gui/UpdateCommand.h"
#include "app/gui/WindowParts.h"
#include "app/gui/form_license_text.h"
#include "app/gui/form_read_problems.h"
#include "app/gui/form_vat_returns.h"
#include "app/gui/frm_group_return.h"
#include "rtl/Files.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace ven {

namespace {

const QString kSubmitCaptionTail = QStringLiteral(" &Submission of VAT to HMRC");
const QString kNoDatasetsText =
    QStringLiteral("No Sage company datasets were found.\n\nUse Browse to add a company list file "
                   "(COMPANY) or a dataset's SETUP.DTA file.");
const QString kNoDatasetSelectedTip = QStringLiteral("No dataset is selected.");
const QString kNoReturnsTip = QStringLiteral("No VAT returns are stored for this company.");

std::vector<TGridColumn> DatasetGridColumns() {
    return {
        // Company names carry the mark of a dataset whose returns could not all be read.
        {.Field = u"CoName",
         .Header = QStringLiteral("Company Name"),
         .Width = 200,
         .MarkField = u"Problems"},
        {u"VATNumber", QStringLiteral("VAT Number"), 85, Qt::AlignLeft},
        // Sorted by period end, which the description begins with, not by the day of the month.
        {.Field = u"LatestReturn",
         .Header = QStringLiteral("Latest Return"),
         .Width = 140,
         .SortField = u"GroupKey"},
        {u"NumReturns", QStringLiteral("Number of Returns"), 120, Qt::AlignHCenter},
        {u"Version", QStringLiteral("Version"), 64, Qt::AlignHCenter},
        {u"Path", QStringLiteral("Dataset Path"), 269, Qt::AlignLeft},
    };
}

// Dataset folders often differ only at the end (Company.000, Company.001): they lose their middle
// when the column is too narrow, not their end.
class TElideMiddleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

// Holds a widget's repaints for the duration, and releases them whatever happens.
class TRepaintHold {
public:
    explicit TRepaintHold(QWidget* widget) : _widget(widget) { _widget->setUpdatesEnabled(false); }
    ~TRepaintHold() { _widget->setUpdatesEnabled(true); }
    TRepaintHold(const TRepaintHold&) = delete;
    TRepaintHold& operator=(const TRepaintHold&) = delete;

private:
    QWidget* _widget;
};

} // namespace

Tform_main::Tform_main(const TVenSystemMode& systemMode, QWidget* parent)
    : QMainWindow(parent), _systemMode(systemMode) {
    setObjectName(QStringLiteral("form_main"));
    setWindowTitle(QStringLiteral("Venturo MTD - Sage Accounts & Sage Instant Edition"));
    auto* client = new QWidget(this);
    setCentralWidget(client);
    BuildHeader();
    BuildContent();
    BuildFooter();
    StackPanels(client, pnlHeader, pnlContent, pnlFooter);
    BuildStatusLine();
    resize(890, 559);
    RestoreWindowBounds(this, kDatasetGridSection);
    UpdateSubmissionMode();
    updApplication.OnDownloadedEULA = [this](TWebUpdate& sender, const rtl::TStringList& lines,
                                             bool& accept) {
        updApplicationDownloadedEULA(sender, lines, accept);
    };
    updApplication.OnAppRestart = [this](TWebUpdate& sender, bool& allowRestart) {
        updApplicationAppRestart(sender, allowRestart);
    };
    updApplication.OnFailure = [this](TWebUpdate&, const rtl::UnicodeString& message) {
        MessageBox::warning(this, ToQString(u"The update failed: " + message));
    };
    // A check the user asks for (Ctrl+U) is made at once, whatever rests the start-up check.
    auto* actCheckForUpdates = new QAction(QStringLiteral("Check for Updates"), this);
    actCheckForUpdates->setObjectName(QStringLiteral("actCheckForUpdates"));
    actCheckForUpdates->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    actCheckForUpdates->setEnabled(!_systemMode.PlatformMode()); // never checked in platform mode
    addAction(actCheckForUpdates);
    connect(actCheckForUpdates, &QAction::triggered, this, [this] {
        if (_pWebUpdate) {
            ShowUserUpdateCheck(this, *_pWebUpdate);
        }
    });
}

Tform_main::~Tform_main() {
    SetDataModule(nullptr);
}

void Tform_main::BuildHeader() {
    pnlHeader = MakePanel(QStringLiteral("pnlHeader"), this);
    pnlHeader->setFixedHeight(41);
    lblSubmissionMode = new QLabel(QStringLiteral("Submission Mode"), pnlHeader);
    lblSubmissionMode->setObjectName(QStringLiteral("lblSubmissionMode"));
    cbSubmissionMode = new TSliderSwitch(pnlHeader);
    cbSubmissionMode->setObjectName(QStringLiteral("cbSubmissionMode"));
    cbSubmissionMode->SetOnCaption(QStringLiteral("Live"));
    cbSubmissionMode->SetOffCaption(QStringLiteral("Test"));
    cbSubmissionMode->setFixedSize(84, 26);
    connect(cbSubmissionMode, &TSliderSwitch::StateChanged, this, &Tform_main::cbSubmissionModeStateChanged);
    auto* row = new QHBoxLayout(pnlHeader);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(10);
    row->addWidget(lblSubmissionMode);
    row->addWidget(cbSubmissionMode);
    row->addStretch(1);
}

void Tform_main::BuildContent() {
    pnlContent = MakePanel(QStringLiteral("pnlContent"), this);
    gridDatasets = new TDataGrid(pnlContent);
    gridDatasets->setObjectName(QStringLiteral("gridDatasets"));
    gridDatasets->setAlternatingRowColors(true);
    gridDatasets->SetEmptyText(kNoDatasetsText);
    connect(gridDatasets, &TDataGrid::EnterPressed, this, [this] {
        if (btnSubmit->isEnabled()) {
            btnSubmit->click();
        }
    });
    // The column widths were chosen for a compact font; a slightly smaller one fits their texts.
    QFont gridFont = gridDatasets->font();
    gridFont.setPointSizeF(gridFont.pointSizeF() * 0.9);
    gridDatasets->setFont(gridFont);
    gridDatasets->verticalHeader()->hide();
    gridDatasets->verticalHeader()->setDefaultSectionSize(gridDatasets->fontMetrics().height() + 8);
    gridDatasets->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    gridDatasets->horizontalHeader()->setStretchLastSection(true);
    gridDatasets->horizontalHeader()->setHighlightSections(false);
    // A click on a header sorts by that column; a third click gives the loaded order back.
    gridDatasets->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    gridDatasets->horizontalHeader()->setSortIndicatorClearable(true);
    connect(gridDatasets->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!_blFitting) {
            std::erase(_fitColumns, column);
        }
    });
    auto* box = new QVBoxLayout(pnlContent);
    box->setContentsMargins(6, 6, 6, 6);
    box->addWidget(gridDatasets);
}

void Tform_main::BuildFooter() {
    pnlFooter = MakePanel(QStringLiteral("pnlFooter"), this);
    pnlFooter->setFixedHeight(42);
    btnBrowse = new QPushButton(QStringLiteral("&Browse"), pnlFooter);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnSubmit = new QPushButton(QStringLiteral("Live") + kSubmitCaptionTail, pnlFooter);
    btnSubmit->setObjectName(QStringLiteral("btnSubmit"));
    // At least the design width; wider when the caption needs it at the system's font.
    btnSubmit->setMinimumWidth(200);
    btnClose = new QPushButton(QStringLiteral("&Close"), pnlFooter);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnBrowse, &QPushButton::clicked, this, &Tform_main::btnBrowseClick);
    connect(btnSubmit, &QPushButton::clicked, this, &Tform_main::btnSubmitClick);
    connect(btnClose, &QPushButton::clicked, this, &Tform_main::btnCloseClick);
    auto* row = new QHBoxLayout(pnlFooter);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(8);
    row->addWidget(btnBrowse);
    row->addWidget(btnSubmit);
    row->addStretch(1);
    row->addWidget(btnClose);
}

void Tform_main::BuildStatusLine() {
    lblProblems = new QLabel(this);
    lblProblems->setObjectName(QStringLiteral("lblProblems"));
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize);
    btnProblems = new QPushButton(QStringLiteral("Details..."), this);
    btnProblems->setObjectName(QStringLiteral("btnProblems"));
    btnProblems->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    btnProblems->setIconSize(QSize(iconSize, iconSize));
    btnProblems->setToolTip(QStringLiteral("List what could not be read, and why"));
    connect(btnProblems, &QPushButton::clicked, this, &Tform_main::ShowProblemDetails);
    // Permanent: a hand-off's message beside it does not hide it.
    statusBar()->addPermanentWidget(lblProblems);
    statusBar()->addPermanentWidget(btnProblems);
    statusBar()->setSizeGripEnabled(false);
    lblProblems->hide();
    btnProblems->hide();
}

void Tform_main::UpdateProblems() {
    const std::size_t count = _pDataModule ? _pDataModule->Problems().size() : 0;
    lblProblems->setText(count > 0 ? ToQString(ProblemsSummaryText(count)) : QString());
    lblProblems->setVisible(count > 0);
    btnProblems->setVisible(count > 0);
}

void Tform_main::ShowProblemDetails() {
    if (!_pDataModule) {
        return;
    }
    TfrmReadProblems frm(this);
    frm.SetProblems(_pDataModule->Problems());
    frm.exec();
}

void Tform_main::SetDataModule(TdmVenMTD* dataModule) {
    if (_pDatasetModel) {
        gridDatasets->setSortingEnabled(false);
        gridDatasets->setModel(nullptr);
        delete _pSortModel;
        _pSortModel = nullptr;
        delete _pDatasetModel;
        _pDatasetModel = nullptr;
    }
    _pDataModule = dataModule;
    FDataset = nullptr;
    if (_pDataModule) {
        _pDatasetModel = new TMemTableModel(_pDataModule->mtDataSets, DatasetGridColumns(), this);
        _pSortModel = new TGridSortModel(this);
        _pSortModel->setSourceModel(_pDatasetModel);
        gridDatasets->setModel(_pSortModel);
        gridDatasets->setItemDelegateForColumn(_pDatasetModel->columnCount() - 1,
                                               new TElideMiddleDelegate(gridDatasets));
        gridDatasets->setSortingEnabled(true);
        // A reset (rows added by Browse, or by the loader) keeps the selected dataset selected.
        connect(_pSortModel, &QAbstractItemModel::modelAboutToBeReset, this,
                [this] { _nRowBeforeReset = SourceRow(gridDatasets->currentIndex().row()); });
        connect(_pSortModel, &QAbstractItemModel::modelReset, this, [this] {
            if (_nRowBeforeReset >= 0 && _nRowBeforeReset < _pDatasetModel->rowCount()) {
                gridDatasets->selectRow(
                    _pSortModel->mapFromSource(_pDatasetModel->index(_nRowBeforeReset, 0)).row());
            }
            FitColumnWidths();
            UpdateSelectedDataset();
            UpdateProblems();
        });
        connect(gridDatasets->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                &Tform_main::gridDatasetsSelectionChanged);
        RestoreColumnWidths();
    }
    UpdateSubmissionMode();
    UpdateProblems();
}

void Tform_main::RestoreColumnWidths() {
    const std::vector<TGridColumn>& columns = _pDatasetModel->Columns();
    std::vector<int> saved = LoadColumnWidths(kDatasetGridSection, static_cast<int>(columns.size()));
    _fitColumns.clear();
    _blFitting = true;
    // The last column stretches to fill the grid, whatever its saved width.
    for (size_t i = 0; i + 1 < columns.size(); ++i) {
        gridDatasets->setColumnWidth(static_cast<int>(i), saved[i] > 0 ? saved[i] : columns[i].Width);
        if (saved[i] <= 0) {
            _fitColumns.push_back(static_cast<int>(i));
        }
    }
    _blFitting = false;
}

// The design widths cut dates, VAT numbers and versions at many fonts: a column the user has not
// sized is fitted to what it shows once there are rows to measure.
void Tform_main::FitColumnWidths() {
    if (!_pDatasetModel || _pDatasetModel->rowCount() == 0) {
        return;
    }
    _blFitting = true;
    for (int column : _fitColumns) {
        gridDatasets->resizeColumnToContents(column);
    }
    _blFitting = false;
}

// The dataset table's row (the DataSets entry) shown in a grid row, -1 for none.
int Tform_main::SourceRow(int gridRow) const {
    if (!_pSortModel || gridRow < 0) {
        return -1;
    }
    return _pSortModel->mapToSource(_pSortModel->index(gridRow, 0)).row();
}

void Tform_main::SaveColumnWidths() {
    if (!_pDatasetModel) {
        return;
    }
    std::vector<int> widths;
    // A fitted column is fitted again next time, to the datasets found then.
    for (int i = 0; i < _pDatasetModel->columnCount(); ++i) {
        widths.push_back(std::ranges::count(_fitColumns, i) ? 0 : gridDatasets->columnWidth(i));
    }
    ven::SaveColumnWidths(kDatasetGridSection, widths);
}

void Tform_main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!_blShown && !event->spontaneous()) {
        _blShown = true;
        FormShow();
    }
}

void Tform_main::FormShow() {
    if (!_systemMode.PlatformMode()) {
        if (_pWebUpdate) {
            RunStartupUpdateCheck(*_pWebUpdate);
        }
    } else {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    SelectFirstDataset();
    // Folders that gave no dataset add no row, so no table change brings them to the status line.
    UpdateProblems();
    FitColumnWidths();
    // Keys go to the dataset list, not to the Live/Test switch, where a stray Space changes the mode.
    gridDatasets->setFocus(Qt::OtherFocusReason);
    if (_blCloseRequested) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void Tform_main::RequestClose() {
    if (_blShown) {
        close();
    } else {
        _blCloseRequested = true;
    }
}

void Tform_main::closeEvent(QCloseEvent* event) {
    SaveColumnWidths();
    // A window never shown has no place of its own to remember.
    if (_blShown) {
        SaveWindowBounds(this, kDatasetGridSection);
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit Closed();
    }
}

void Tform_main::SelectFirstDataset() {
    if (_pDatasetModel && _pDatasetModel->rowCount() > 0) {
        gridDatasets->selectRow(0);
    }
    UpdateSelectedDataset();
}

void Tform_main::UpdateSelectedDataset() {
    if (_pDataModule) {
        rtl::TStringList* list = _pDataModule->DataSets();
        int row = SourceRow(gridDatasets->currentIndex().row());
        FDataset = list && row >= 0 && row < list->Count()
                       ? dynamic_cast<sage::TSageDataset*>(list->Objects(row))
                       : nullptr;
    }
    UpdateSubmissionMode();
}

void Tform_main::UpdateSubmissionMode() {
    btnSubmit->setEnabled(FDataset && FDataset->VatReturns().Count() > 0);
    btnSubmit->setToolTip(btnSubmit->isEnabled() ? QString()
                                                 : (FDataset ? kNoReturnsTip : kNoDatasetSelectedTip));
    _blTestMode = !cbSubmissionMode->On();
    ApplyAppearance(_blTestMode);
    btnSubmit->setText((_blTestMode ? QStringLiteral("Test") : QStringLiteral("Live")) + kSubmitCaptionTail);
}

void Tform_main::ApplyAppearance(bool testMode) {
    ApplyTestModeColours(testMode, {pnlHeader, pnlContent, pnlFooter}, {lblSubmissionMode});
    // The grid keeps the ordinary look in both modes; only its surroundings change colour.
    KeepOrdinaryColours(gridDatasets);
}

void Tform_main::gridDatasetsSelectionChanged() {
    if (_pDataModule && _pDataModule->DataSets()) {
        UpdateSelectedDataset();
    }
}

void Tform_main::cbSubmissionModeStateChanged() {
    UpdateSubmissionMode();
}

void Tform_main::btnBrowseClick() {
    if (_systemMode.PlatformMode()) {
        BrowsePlatformDatasets();
    } else {
        BrowseDatasetFile();
    }
}

void Tform_main::BrowseDatasetFile() {
    if (!_pDataModule) {
        return;
    }
    QString fileName = FileDialog::instance()->getOpenFileName(
        this, QStringLiteral("Select a company file or SETUP.DTA file"), QString(),
        QStringLiteral("Company list files (COMPANY);;Sage Accounts Setup files (SETUP.DTA)"));
    if (fileName.isEmpty()) {
        return;
    }
    TBrowseResult result;
    {
        TRepaintHold hold(gridDatasets);
        result = AddDatasetsFromFile(*_pDataModule, FromQString(fileName));
    }
    if (result.Failed) {
        MessageBox::warning(this, ToQString(result.Message));
    } else if (!result.Message.empty()) {
        ShowMessage(result.Message);
    }
    SelectFirstDataset();
    UpdateProblems();
}

// The selector's window takes the screen while it runs; this window waits minimised, without
// accepting input, and comes back maximised.
void Tform_main::BrowsePlatformDatasets() {
    if (!_pDataModule) {
        return;
    }
    showMinimized();
    QApplication::processEvents();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    RunPlatformSelector(SelectorProgramPath(), {},
                        [] { QApplication::processEvents(QEventLoop::AllEvents, 50); });
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    showMaximized();

    TBrowseResult result;
    {
        TRepaintHold hold(gridDatasets);
        result = AddPlatformDatasets(*_pDataModule, PlatformListFilePath());
    }
    if (!result.Message.empty()) {
        ShowMessage(result.Message);
    }
    UpdateProblems();
}

// A VAT group chooses a period of combined returns; a dataset with one return goes at once; with
// several, the user picks one and may change the company name sent.
void Tform_main::btnSubmitClick() {
    UpdateSelectedDataset();
    if (!FDataset || !_pDataModule) {
        return;
    }
    if (_pDataModule->IsGroupReturn(FDataset)) {
        SubmitGroupReturn();
    } else if (FDataset->VatReturns().Count() < 2) {
        if (sage::TSageDatasetVatReturn* latest = FDataset->LatestVatReturn()) {
            HandOffReturn(*latest);
        }
    } else {
        SubmitChosenReturn();
    }
}

void Tform_main::SubmitGroupReturn() {
    TfrmGroupReturn frm(*_pDataModule, this);
    frm.SetTestMode(TestMode());
    frm.SetDataset(FDataset);
    // The combined return belongs to the window: hand it off before the window goes.
    if (frm.exec() == QDialog::Accepted && frm.SelectedReturn()) {
        HandOffReturn(*frm.SelectedReturn());
    }
}

void Tform_main::SubmitChosenReturn() {
    Tform_vat_returns frm(*_pDataModule, this);
    frm.SetTestMode(TestMode());
    frm.SetDataset(FDataset);
    if (frm.exec() == QDialog::Accepted) {
        if (sage::TSageDatasetVatReturn* chosen = frm.SelectedReturn()) {
            chosen->SetCompanyName(FromQString(frm.txtCompany->text()));
            HandOffReturn(*chosen);
        }
    }
}

void Tform_main::updApplicationDownloadedEULA(TWebUpdate&, const rtl::TStringList& lines, bool& accept) {
    TfrmLicenseText frm(this);
    frm.SetLines(lines);
    accept = frm.exec() == QDialog::Accepted;
}

void Tform_main::updApplicationAppRestart(TWebUpdate&, bool& allowRestart) {
    allowRestart = true;
    // The checker is optional: without it the restart goes ahead all the same.
    StartVersionChecker(rtl::ApplicationExeName());
}

void Tform_main::HandOffReturn(const sage::TSageDatasetVatReturn& vatReturn) {
    TPortalTarget target = TPortalTarget::FromBuild(TestMode(), _systemMode.PlatformMode());
    TPortalLauncher launch = OpenPortalUrl;
    if (_fnHandOff) {
        // The hook stands in for the browser only: the refusal and the status line stay real.
        launch = [this, &vatReturn](const rtl::UnicodeString&, const TPortalTarget& t) {
            _fnHandOff(vatReturn, t);
            return rtl::TProcessStart{};
        };
    }
    const THandOffResult result = ven::HandOffReturn(vatReturn, target, launch);
    if (result.Opened) {
        statusBar()->showMessage(ToQString(result.Message));
    } else {
        statusBar()->clearMessage();
        MessageBox::warning(this, ToQString(result.Message));
    }
}

void Tform_main::btnCloseClick() {
    close();
}

void Tform_main::ShowMessage(const rtl::UnicodeString& text) {
    MessageBox::information(this, ToQString(text));
}

} // namespace ven
