#include "app/core/VenDataModule.h"

#include "app/core/DatasetLoader.h"
#include "app/core/VatGroupIndex.h"
#include "app/core/VenSystemMode.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

namespace ven {

using rtl::UnicodeString;

namespace {

std::vector<TFieldDef> DataSetFields() {
    return {
        {u"Path", TFieldType::ftString, 2048, true, u"Dataset Directory"},
        {u"CoName", TFieldType::ftString, 60, true, u"Company Name"},
        {u"VATNumber", TFieldType::ftString, 30, false, u"VAT Number"},
        {u"MajorVersion", TFieldType::ftInteger, 0, true, u"Major Version"},
        {u"Version", TFieldType::ftString, 32, true, u"Version"},
        {u"LatestReturn", TFieldType::ftString, 64, false, u"Latest Return"},
        {u"NumReturns", TFieldType::ftInteger, 0, true, u"Number of Returns"},
        {u"InternalVAT", TFieldType::ftString, 30, false, u"InternalVAT", true},
        {u"GroupKey", TFieldType::ftString, 40, false, u"GroupKey"},
        // The version as a number, major then minor, for sorting ("8.2" before "10").
        {u"VersionOrder", TFieldType::ftInteger, 0, false, u"VersionOrder"},
        // Empty, or what the row's mark says: items of the dataset that could not be read.
        {u"Problems", TFieldType::ftString, 128, false, u"Problems"},
    };
}

std::vector<TFieldDef> VatReturnFields() {
    std::vector<TFieldDef> fields = {
        {u"Period", TFieldType::ftString, 64, true, u"Period"},
        {u"DatasetPath", TFieldType::ftString, 2048, true, u"Dataset Folder"},
        {u"PeriodFrom", TFieldType::ftDate, 0, true, u"Period From"},
        {u"PeriodTo", TFieldType::ftDate, 0, true, u"Period To"},
    };
    for (int box = 1; box <= 9; ++box) {
        UnicodeString n = rtl::IntToStr(box);
        fields.push_back({u"Box" + n, TFieldType::ftCurrency, 0, false, u"Box " + n});
    }
    return fields;
}

// Major * 100,000 + minor of a version text ("30.3", "27.2.0.225"); the major version alone when
// the text does not begin with one.
int VersionOrder(const UnicodeString& version, int majorVersion) {
    int parts[2] = {0, 0};
    std::size_t i = 0;
    for (int& part : parts) {
        const std::size_t start = i;
        while (i < version.size() && version[i] >= u'0' && version[i] <= u'9' && part < 10000) {
            part = part * 10 + (version[i++] - u'0');
        }
        if (i == start) {
            return parts[0] > 0 ? parts[0] * 100000 : majorVersion * 100000;
        }
        if (i >= version.size() || version[i] != u'.') {
            break;
        }
        ++i;
    }
    return parts[0] * 100000 + parts[1];
}

sage::TSageDataset* DatasetOf(rtl::TStringList& list, int index) {
    return dynamic_cast<sage::TSageDataset*>(list.Objects(index));
}

} // namespace

TdmVenMTD::TdmVenMTD(const TVenSystemMode& systemMode)
    : mtDataSets(DataSetFields()), dsDataSets(mtDataSets), mtVatReturns(VatReturnFields()),
      dsVatReturns(mtVatReturns), _systemMode(systemMode),
      _slDatasets(std::make_unique<rtl::TStringList>(true)),
      _pFactory(std::make_unique<sage::TSageDatasetFactory>()) {
    dsDataSets.AutoEdit = false;
    mtVatReturns.AddObserver(this);
}

TdmVenMTD::~TdmVenMTD() {
    mtVatReturns.RemoveObserver(this);
    Enter();
    // The list owns the datasets: clearing frees each one.
    _slDatasets->Clear();
    Leave();
}

// Another thread that asks for the list or the factory waits here until loading has ended.
rtl::TStringList* TdmVenMTD::DataSets() {
    Enter();
    rtl::TStringList* list = _slDatasets.get();
    Leave();
    return list;
}

sage::TSageDatasetFactory* TdmVenMTD::Factory() {
    Enter();
    sage::TSageDatasetFactory* factory = _pFactory.get();
    Leave();
    return factory;
}

void TdmVenMTD::LoadDatasets(ILoaderView& view) {
    LoadDatasets(view, TLoaderPacing{});
}

void TdmVenMTD::LoadDatasets(ILoaderView& view, const TLoaderPacing& pacing) {
    mtDataSets.Open();
    TDatasetLoader* loader = _systemMode.PlatformMode()
                                 ? static_cast<TDatasetLoader*>(new TPlatformLoader(this, &view, pacing))
                                 : static_cast<TDatasetLoader*>(new TStandardLoader(this, &view, pacing));
    loader->FreeOnTerminate = true;
    loader->Start();
}

void TdmVenMTD::RegisterDataset(sage::TSageDataset* dataset) {
    if (!dataset) {
        return;
    }
    if (!mtDataSets.Active()) {
        mtDataSets.Open();
    }
    // Exact: folders whose names differ only in case are two datasets where names are case-sensitive,
    // and one folder never enters the list twice (datasets are told apart by identity on disk).
    int row = mtDataSets.Locate(u"Path", dataset->DatasetFolder(), false);
    if (row >= 0) {
        mtDataSets.Edit(row);
    } else {
        mtDataSets.Append();
        mtDataSets.SetField(u"Path", dataset->DatasetFolder());
    }
    mtDataSets.SetField(u"CoName", dataset->CompanyName());
    mtDataSets.SetField(u"VATNumber", dataset->VatNumber());
    mtDataSets.SetField(u"MajorVersion", static_cast<int>(dataset->MajorVersion()));
    mtDataSets.SetField(u"Version", dataset->Version());
    mtDataSets.SetField(u"VersionOrder",
                        VersionOrder(dataset->Version(), static_cast<int>(dataset->MajorVersion())));
    if (sage::TSageDatasetVatReturn* latest = dataset->LatestVatReturn()) {
        mtDataSets.SetField(u"LatestReturn", latest->Period());
        mtDataSets.SetField(u"GroupKey", latest->Description());
    } else {
        mtDataSets.SetField(u"LatestReturn", TFieldValue{});
        mtDataSets.SetField(u"GroupKey", TFieldValue{});
    }
    mtDataSets.SetField(u"NumReturns", dataset->VatReturns().Count());
    mtDataSets.SetField(u"InternalVAT", dataset->VatNumberForUrl());
    const UnicodeString problems = DatasetProblemsText(dataset->LeftOut().size());
    mtDataSets.SetField(u"Problems", problems.empty() ? TFieldValue{} : TFieldValue{problems});
    mtDataSets.Post();
}

void TdmVenMTD::NoteUnreadableFolder(const sage::TSageLeftOut& whyNot) {
    Enter();
    // A folder tried again (the platform list is read at start-up and by each Browse) is one item.
    std::erase_if(_vUnreadableFolders, [&](const TReadProblem& p) { return p.Path == whyNot.Path; });
    _vUnreadableFolders.push_back(TReadProblem::Of(whyNot.Path, whyNot));
    Leave();
}

void TdmVenMTD::NoteListedIn(const rtl::UnicodeString& folder, const rtl::UnicodeString& companyFile) {
    Enter();
    _mListedIn.emplace(folder, companyFile);
    Leave();
}

rtl::UnicodeString TdmVenMTD::ListedIn(const rtl::UnicodeString& folder) const {
    auto listed = _mListedIn.find(folder);
    return listed != _mListedIn.end() ? listed->second : rtl::UnicodeString();
}

TReadProblems TdmVenMTD::Problems() {
    Enter();
    TReadProblems problems = _vUnreadableFolders;
    for (int i = 0; i < _slDatasets->Count(); ++i) {
        if (sage::TSageDataset* dataset = DatasetOf(*_slDatasets, i)) {
            for (const sage::TSageLeftOut& item : dataset->LeftOut()) {
                problems.push_back(TReadProblem::Of(dataset->DatasetFolder(), item));
                problems.back().CompanyName = dataset->CompanyName();
                problems.back().CompanyFile = ListedIn(_slDatasets->Strings(i));
            }
        }
    }
    for (std::size_t i = 0; i < _vUnreadableFolders.size(); ++i) {
        problems[i].CompanyFile = ListedIn(problems[i].Path);
    }
    Leave();
    return problems;
}

bool TdmVenMTD::IsGroupReturn(sage::TSageDataset* dataset) {
    return TVatGroupIndex(*DataSets()).IsGroupReturn(dataset);
}

void TdmVenMTD::FillVatReturns(sage::TSageDataset* dataset) {
    mtVatReturns.Open();
    mtVatReturns.BeginUpdate();
    mtVatReturns.EmptyDataSet();
    const rtl::TStringList& returns = dataset->VatReturns();
    for (int i = 0; i < returns.Count(); ++i) {
        auto* r = dynamic_cast<sage::TSageDatasetVatReturn*>(returns.Objects(i));
        if (!r) {
            continue;
        }
        mtVatReturns.Append();
        mtVatReturns.SetField(u"Period", r->Period());
        mtVatReturns.SetField(u"DatasetPath", dataset->DatasetFolder());
        mtVatReturns.SetField(u"PeriodFrom", r->DateFrom());
        mtVatReturns.SetField(u"PeriodTo", r->DateTo());
        for (int box = 1; box <= 9; ++box) {
            mtVatReturns.SetField(u"Box" + rtl::IntToStr(box), r->GetBox(box));
        }
        mtVatReturns.Post();
    }
    mtVatReturns.EndUpdate();
    if (sage::TSageDatasetVatReturn* latest = dataset->LatestVatReturn()) {
        int row = mtVatReturns.Locate(u"Period", latest->Period(), true);
        if (row >= 0) {
            mtVatReturns.SetRecNo(row);
        }
    }
}

void TdmVenMTD::CurrentChanged(int) {
    dsVatReturnsDataChange(&dsVatReturns, nullptr);
}

void TdmVenMTD::dsVatReturnsDataChange(rtl::TObject* sender, const TFieldDef* field) {
    (void)sender;
    if (field == nullptr && _fnVATReturnSelected.Assigned()) {
        _fnVATReturnSelected(&dsVatReturns, nullptr);
    }
}

} // namespace ven
