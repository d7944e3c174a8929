#pragma once
// TdmVenMTD: the program's one data module. Owns the dataset factory and every loaded dataset,
// keeps them in a list keyed by folder, and presents them as the dataset and return tables.
#include "app/core/MemTable.h"
#include "app/core/ReadProblems.h"
#include "rtl/Method.h"
#include "rtl/ObjectHooks.h"
#include "rtl/StringList.h"
#include "rtl/SyncObjs.h"

#include <map>
#include <memory>

namespace sage {
class TSageDataset;
class TSageDatasetFactory;
struct TSageLeftOut;
} // namespace sage

namespace ven {

class ILoaderView;
class TVenSystemMode;
struct TLoaderPacing;

/// The data source of a table: what a grid binds to, and the sender of its change events.
class TDataSource : public rtl::TObject {
public:
    explicit TDataSource(TMemTable& table) : DataSet(table) {}
    TMemTable& DataSet;
    bool AutoEdit = true;
};

/// Shape of a data-change notification: sender, field (null when the row changed as a whole).
using TDataChangeEvent = rtl::TMethod<void(rtl::TObject*, const TFieldDef*)>;

class TdmVenMTD : private ITableObserver {
public:
    explicit TdmVenMTD(const TVenSystemMode& systemMode);
    ~TdmVenMTD() override;
    TdmVenMTD(const TdmVenMTD&) = delete;
    TdmVenMTD& operator=(const TdmVenMTD&) = delete;

    /// Folder -> dataset list (owns the datasets), read under the lock.
    rtl::TStringList* DataSets();
    sage::TSageDatasetFactory* Factory();
    /// The re-entrant lock the loader holds for the whole load.
    void Enter() { _csLock.Enter(); }
    void Leave() { _csLock.Leave(); }

    /// Opens the dataset table and starts the loader thread (platform or desktop search), which
    /// reports to view on the main thread and frees itself when it ends.
    void LoadDatasets(ILoaderView& view);
    void LoadDatasets(ILoaderView& view, const TLoaderPacing& pacing);
    /// Adds or refreshes the dataset's row in mtDataSets (rows keyed by folder, case-insensitive).
    void RegisterDataset(sage::TSageDataset* dataset);
    /// Notes a searched folder that gave no dataset, and why (under the lock); a later note of the same
    /// folder replaces the earlier one.
    void NoteUnreadableFolder(const sage::TSageLeftOut& whyNot);
    /// Notes the COMPANY file that listed a dataset folder, so that what cannot be read there can name it.
    void NoteListedIn(const rtl::UnicodeString& folder, const rtl::UnicodeString& companyFile);
    /// Everything that could not be read (each with its company when known and the COMPANY file that
    /// listed its folder): the searched folders that gave no dataset, then what each
    /// listed dataset left out of its returns, in list order.
    TReadProblems Problems();
    /// Whether another listed dataset's latest return carries the same VAT number as this one's; an
    /// empty or blank VAT number never makes a group. For every dataset of the list, a TVatGroupIndex
    /// answers in one pass.
    bool IsGroupReturn(sage::TSageDataset* dataset);
    /// Refills mtVatReturns with the returns of dataset, in its list order.
    void FillVatReturns(sage::TSageDataset* dataset);

    TDataChangeEvent OnVATReturnSelected() const { return _fnVATReturnSelected; }
    void SetOnVATReturnSelected(TDataChangeEvent handler) { _fnVATReturnSelected = handler; }
    void dsVatReturnsDataChange(rtl::TObject* sender, const TFieldDef* field);

    TMemTable mtDataSets;
    TDataSource dsDataSets;
    TMemTable mtVatReturns;
    TDataSource dsVatReturns;

private:
    void TableReset() override {}
    void RowChanged(int) override {}
    void CurrentChanged(int row) override;
    rtl::UnicodeString ListedIn(const rtl::UnicodeString& folder) const;

    const TVenSystemMode& _systemMode;
    std::unique_ptr<rtl::TStringList> _slDatasets;
    std::unique_ptr<sage::TSageDatasetFactory> _pFactory;
    rtl::TCriticalSection _csLock;
    TReadProblems _vUnreadableFolders;
    std::map<rtl::UnicodeString, rtl::UnicodeString> _mListedIn; // dataset folder -> COMPANY file
    TDataChangeEvent _fnVATReturnSelected;
};

} // namespace ven
