#include "app/core/DatasetBrowse.h"

#include "app/core/DatasetLoader.h"
#include "app/core/VenDataModule.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageLeftOut.h"

namespace ven {

using rtl::UnicodeString;

namespace {

sage::TSageDataset* DatasetAt(rtl::TStringList& list, int index) {
    return dynamic_cast<sage::TSageDataset*>(list.Objects(index));
}

// Holds the dataset grid's repaints for the duration, and releases them whatever happens.
class TTableUpdateHold {
public:
    explicit TTableUpdateHold(TMemTable& table) : _table(table) { _table.BeginUpdate(); }
    ~TTableUpdateHold() { _table.EndUpdate(); }
    TTableUpdateHold(const TTableUpdateHold&) = delete;
    TTableUpdateHold& operator=(const TTableUpdateHold&) = delete;

private:
    TMemTable& _table;
};

TBrowseResult AddFromSetupFileUnguarded(TdmVenMTD& dm, const UnicodeString& fileName) {
    TBrowseResult result;
    rtl::TStringList& list = *dm.DataSets();
    {
        TTableUpdateHold hold(dm.mtDataSets);
        sage::TSageLeftOut whyNot;
        int index = dm.Factory()->AddDatasetFromSetupFile(list, fileName, &whyNot);
        if (index >= 0) {
            dm.RegisterDataset(DatasetAt(list, index));
            result.Added = 1;
        } else if (!whyNot.Reason.empty()) {
            // Not already listed: the file is not a dataset that can be read, and the user is told why.
            result.Failed = true;
            result.Message = UnreadableDatasetsMessage(0, {TReadProblem::Of(whyNot.Path, whyNot)});
        }
    }
    if (result.Added == 0 && result.Message.empty()) {
        result.Message = u"No new unique dataset was found";
    }
    return result;
}

TBrowseResult AddFromCompanyFileUnguarded(TdmVenMTD& dm, const UnicodeString& fileName) {
    TBrowseResult result;
    rtl::TStringList& list = *dm.DataSets();
    {
        TTableUpdateHold hold(dm.mtDataSets);
        sage::TSageLeftOutList leftOut;
        int added = dm.Factory()->AddDatasetFromCompanyFile(list, fileName, &leftOut);
        for (int i = list.Count() - (added > 0 ? added : 0); i < list.Count(); ++i) {
            dm.NoteListedIn(list.Strings(i), fileName);
            dm.RegisterDataset(DatasetAt(list, i));
        }
        result.Added = added > 0 ? added : 0;
        if (!leftOut.empty()) {
            TReadProblems problems;
            for (const sage::TSageLeftOut& item : leftOut) {
                problems.push_back(TReadProblem::Of(item.Path, item));
                // Told now, and kept with what else could not be read.
                dm.NoteListedIn(item.Path, fileName);
                dm.NoteUnreadableFolder(item);
            }
            result.Message = UnreadableDatasetsMessage(result.Added, problems);
        }
    }
    if (result.Added == 0 && result.Message.empty()) {
        result.Message = u"No new unique datasets were found";
    }
    return result;
}

// A file that cannot be read is reported by name; the table is released by then and nothing was added.
template <class F> TBrowseResult Guarded(const UnicodeString& fileName, F add) {
    try {
        return add();
    } catch (const rtl::Exception& e) {
        TBrowseResult failed;
        failed.Failed = true;
        failed.Message = u"The file could not be read:\r" + fileName + u"\r" + e.Message();
        return failed;
    }
}

} // namespace

UnicodeString UnreadableDatasetsMessage(int added, const TReadProblems& problems) {
    UnicodeString head = problems.size() == 1 ? UnicodeString(u"This dataset could not be read:")
                                              : UnicodeString(u"These datasets could not be read:");
    if (added > 0) {
        head =
            rtl::IntToStr(added) + (added == 1 ? u" dataset was added. " : u" datasets were added. ") + head;
    }
    return head + u"\r" + ProblemLines(problems);
}

TBrowseResult AddDatasetFromSetupFile(TdmVenMTD& dataModule, const UnicodeString& fileName) {
    return Guarded(fileName, [&] { return AddFromSetupFileUnguarded(dataModule, fileName); });
}

TBrowseResult AddDatasetsFromCompanyFile(TdmVenMTD& dataModule, const UnicodeString& fileName) {
    return Guarded(fileName, [&] { return AddFromCompanyFileUnguarded(dataModule, fileName); });
}

TBrowseResult AddDatasetsFromFile(TdmVenMTD& dataModule, const UnicodeString& fileName) {
    if (rtl::UpperCase(rtl::ExtractFileName(fileName)) == u"SETUP.DTA") {
        return AddDatasetFromSetupFile(dataModule, fileName);
    }
    return AddDatasetsFromCompanyFile(dataModule, fileName);
}

TBrowseResult AddPlatformDatasets(TdmVenMTD& dataModule, const UnicodeString& listFile) {
    TBrowseResult result;
    std::vector<UnicodeString> lines;
    try {
        lines = ReadPlatformListFile(listFile);
    } catch (const rtl::Exception&) {
        result.Failed = true;
        result.Message = PlatformListFileMessage(listFile);
        return result;
    }
    rtl::TStringList& list = *dataModule.DataSets();
    sage::TSageDatasetFactory& factory = *dataModule.Factory();
    for (const UnicodeString& line : lines) {
        if (sage::TSageDatasetFactory::IndexOfDataset(list, line) >= 0) {
            continue;
        }
        sage::TSageLeftOut whyNot;
        if (sage::TSageDataset* dataset = factory.MakeDatasetAndLoad(line, &whyNot)) {
            list.AddObject(line, dataset);
            dataModule.RegisterDataset(dataset);
            ++result.Added;
        } else if (!line.empty()) {
            // The same list the loader reads: its folders that give no dataset join its record.
            dataModule.NoteUnreadableFolder(whyNot);
        }
    }
    return result;
}

} // namespace ven
