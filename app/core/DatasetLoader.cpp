#include "app/core/DatasetLoader.h"

#include <algorithm>
#include <set>

#include "app/core/DatasetReadAhead.h"
#include "app/core/PlatformPaths.h"
#include "app/core/VenDataModule.h"
#include "rtl/ComApartment.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Registry.h"
#include "rtl/Shell.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"
#include "utils/values/ORVI.FolderNameEncoding.h"

namespace ven {

using rtl::UnicodeString;

namespace {

sage::TSageDataset* DatasetOf(rtl::TStringList* list, int index) {
    return dynamic_cast<sage::TSageDataset*>(list->Objects(index));
}

UnicodeString JoinPath(const UnicodeString& base, std::initializer_list<const char16_t*> parts) {
    UnicodeString path = base;
    for (const char16_t* part : parts) {
        path += rtl::PathDelim;
        path += part;
    }
    return path;
}

// The application path of a Sage program, without trailing separators; empty when not registered.
UnicodeString SageAppPath(const UnicodeString& key) {
    try {
        rtl::TRegistry reg(true);
        reg.RootKey = rtl::TRootKey::LocalMachine;
        if (!reg.KeyExists(key) || !reg.OpenKeyReadOnly(key) || !reg.ValueExists(u"Path")) {
            return {};
        }
        UnicodeString path = reg.ReadString(u"Path");
        while (!path.empty() && (path.back() == u'/' || path.back() == u'\\')) {
            path.pop_back();
        }
        return path;
    } catch (const rtl::Exception&) {
        return {};
    }
}

bool IsListed(const rtl::TStringList& datasets, const TDatasetReadAhead::TCandidate& candidate) {
    return sage::TSageDatasetFactory::IndexOfDataset(
               datasets, candidate.Folder, candidate.Identity ? &*candidate.Identity : nullptr) >= 0;
}

// The folder identities of the datasets of a list: whether a dataset is there already is then a
// look-up, where a pass over the list for each dataset loaded made a load cost the square of its size.
class TLoadedIdentities {
public:
    explicit TLoadedIdentities(const rtl::TStringList& datasets) {
        for (int i = 0; i < datasets.Count(); ++i) {
            if (auto* dataset = dynamic_cast<sage::TSageDataset*>(datasets.Objects(i))) {
                Add(dataset->FolderIdentity());
            }
        }
    }
    void Add(const rtl::TFileIdentity& identity) {
        if (identity.Known) {
            _Identities.insert({identity.Volume, identity.File});
        }
    }
    /// Whether datasets (the list this was made for, as grown through Add) has the dataset of folder,
    /// whose folder identity is identity.
    bool Lists(const rtl::TStringList& datasets, const UnicodeString& folder,
               const rtl::TFileIdentity& identity) const {
        if (identity.Known) {
            return _Identities.count({identity.Volume, identity.File}) > 0;
        }
        return sage::TSageDatasetFactory::IndexOfDataset(datasets, folder, &identity) >= 0;
    }

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> _Identities;
};

// The candidates in order, with the identities the search took, less those already loaded.
std::vector<TDatasetReadAhead::TCandidate> NewCandidates(const rtl::TStringList& candidates,
                                                         const rtl::TStringList& datasets,
                                                         const sage::TSageFolderIdentities& identities) {
    std::vector<TDatasetReadAhead::TCandidate> wanted;
    wanted.reserve(static_cast<std::size_t>(candidates.Count()));
    for (int i = 0; i < candidates.Count(); ++i) {
        TDatasetReadAhead::TCandidate candidate{candidates.Strings(i), std::nullopt};
        if (const auto listed = identities.find(candidate.Folder); listed != identities.end()) {
            candidate.Identity = listed->second;
        }
        // Nothing is loaded yet at start-up: no identity needs taking for this.
        if (datasets.Count() == 0 || !IsListed(datasets, candidate)) {
            wanted.push_back(std::move(candidate));
        }
    }
    return wanted;
}

} // namespace

int CompareDatasets(rtl::TStringList* list, int index1, int index2) {
    sage::TSageDataset* a = DatasetOf(list, index1);
    sage::TSageDataset* b = DatasetOf(list, index2);
    if (!a || !b) {
        return (a ? 1 : 0) - (b ? 1 : 0);
    }
    sage::TSageDatasetVatReturn* ra = a->LatestVatReturn();
    sage::TSageDatasetVatReturn* rb = b->LatestVatReturn();
    if (!ra && !rb) {
        return rtl::CompareText(a->VatNumber(), b->VatNumber());
    }
    if (ra && rb) {
        int c = rtl::CompareText(ra->Description(), rb->Description());
        return c != 0 ? c : rtl::CompareText(a->CompanyName(), b->CompanyName());
    }
    return ra ? 1 : -1;
}

TDatasetLoader::TDatasetLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing)
    : rtl::TThread(true), _pDataModule(dataModule), _pView(view), _pacing(pacing) {}

void TDatasetLoader::RunOnView(void (*call)(ILoaderView&, const UnicodeString&), const UnicodeString& text) {
    if (_pView) {
        ILoaderView* view = _pView;
        rtl::TThread::Synchronize([view, call, &text] { call(*view, text); });
    }
}

void TDatasetLoader::ShowProgress() {
    RunOnView([](ILoaderView& v, const UnicodeString& t) { v.ShowProgress(t); }, _szMessage);
}

void TDatasetLoader::Execute() {
    rtl::TComApartment apartment;
    Load();
}

void TDatasetLoader::Load() {
    std::uint64_t deadline = rtl::GetTickCount64() + _pacing.MinimumMs;
    rtl::TStringList* datasets = _pDataModule ? _pDataModule->DataSets() : nullptr;
    if (datasets && _pDataModule->Factory()) {
        _pDataModule->Enter();
        try {
            LoadCandidates(datasets, deadline);
        } catch (...) {
            // Whatever went wrong, the lock is released and the main window still opens.
        }
        while (rtl::GetTickCount64() < deadline) {
            rtl::Sleep(100);
        }
        _pDataModule->Leave();
    }
    RunOnView([](ILoaderView& v, const UnicodeString&) { v.FinishLoading(); }, {});
}

void TDatasetLoader::LoadCandidates(rtl::TStringList* datasets, std::uint64_t deadline) {
    // Compared exactly: two folders whose names differ only in case are two datasets where names are
    // case-sensitive, and a folder reached under two spellings is one dataset by its identity on disk.
    rtl::TStringList candidates;
    candidates.SetSorted(true);
    candidates.SetCaseSensitive(true);
    _mListedIdentities.clear();
    FindDatasetFolders(&candidates);

    std::vector<TDatasetReadAhead::TCandidate> wanted =
        NewCandidates(candidates, *datasets, _mListedIdentities);
    TDatasetReadAhead readAhead(*_pDataModule->Factory(), wanted);
    TLoadedIdentities loaded(*datasets);
    std::uint64_t lastShown = 0;
    for (std::size_t i = 0; i < readAhead.Count(); ++i) {
        const UnicodeString& folder = wanted[i].Folder;
        sage::TSageLeftOut whyNot;
        sage::TSageDataset* dataset = readAhead.Take(i, whyNot);
        // Loads overlap, so a folder reached under two spellings is loaded twice: the later copy goes.
        if (dataset && loaded.Lists(*datasets, folder, dataset->FolderIdentity())) {
            rtl::Free(dataset);
            continue;
        }
        if (!dataset) {
            // An empty line of the platform list names nothing; any other folder is reported.
            if (!folder.empty() && !IsListed(*datasets, wanted[i])) {
                _pDataModule->NoteUnreadableFolder(whyNot);
            }
            continue;
        }
        _Dataset = dataset;
        datasets->AddObject(folder, _Dataset);
        loaded.Add(dataset->FolderIdentity());
        _szMessage = u"Found: " + _Dataset->CompanyName() + u" version: " + _Dataset->Version() + u"\r" +
                     _Dataset->DatasetFolder();
        _szMessage = rtl::StringReplace(_szMessage, u"&", u"&&", rtl::TReplaceFlag::rfReplaceAll);
        const bool first = datasets->Count() <= 10;
        const std::uint64_t now = rtl::GetTickCount64();
        // Hundreds of lines a second are more than a splash can show: after the first ten, one
        // line per interval is all anyone sees.
        if (first || now >= lastShown + _pacing.ProgressEveryMs) {
            lastShown = now;
            ShowProgress();
        }
        const std::uint32_t pause = first ? _pacing.SlowPauseMs : _pacing.FastPauseMs;
        if (pause > 0 && now < deadline) {
            rtl::Sleep(static_cast<std::uint32_t>(std::min<std::uint64_t>(pause, deadline - now)));
        }
    }
    _Dataset = nullptr;
    _szMessage = u"Found: " + rtl::IntToStr(datasets->Count()) + u" Sage companies";
    ShowProgress();

    datasets->CustomSort(CompareDatasets);
    for (int i = 0; i < datasets->Count(); ++i) {
        if (sage::TSageDataset* dataset = DatasetOf(datasets, i)) {
            _pDataModule->RegisterDataset(dataset);
        }
    }
}

std::vector<UnicodeString> TStandardLoader::SearchFolders() {
    std::vector<UnicodeString> folders;
    UnicodeString base = orvi::ExpandFolderName(UnicodeString(u"{:ProgramFilesx86:}"));
    for (const char16_t* suffix : {u"Line 50", u"Line50", u"Instant", u"Accounts"}) {
        folders.push_back(JoinPath(base, {u"Sage", suffix}));
    }
    for (const char16_t* suffix : {u"Sage Accounts", u"Sage Instant", u"Sage Instant Accounts"}) {
        folders.push_back(JoinPath(base, {suffix}));
    }
    UnicodeString pub = orvi::ExpandFolderName(UnicodeString(u"{:Public:}"));
    folders.push_back(pub);
    for (int year = 2008; year <= 2022; ++year) {
        folders.push_back(JoinPath(pub, {u"Sage", u"Accounts"}) + rtl::PathDelim + rtl::IntToStr(year));
    }
    for (const char16_t* key : {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SAGE.EXE\\",
                                u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\LINE50.EXE\\"}) {
        UnicodeString path = SageAppPath(key);
        if (!path.empty()) {
            folders.push_back(path);
        }
    }
    return folders;
}

void TStandardLoader::FindDatasetFolders(rtl::TStringList* candidates) {
    sage::TSageDatasetFactory* factory = _pDataModule->Factory();
    for (const UnicodeString& folder : SearchFolders()) {
        const int before = candidates->Count();
        rtl::TStringList found;
        sage::TSageLeftOutList unusable;
        try {
            // Found apart first, so that each folder found is known by the COMPANY file that lists it.
            for (int i = 0; i < before; ++i) {
                found.Add(candidates->Strings(i));
            }
            factory->GetCompanyDatasetLocations(found, folder, &unusable, &_mListedIdentities);
        } catch (const rtl::Exception&) {
            // An unreadable COMPANY file in one location does not stop the search of the others.
        }
        if (found.Count() == before && unusable.empty()) {
            continue; // most places searched hold no COMPANY file: none is looked for again
        }
        const UnicodeString companyFile = rtl::FindChildIgnoreCase(folder, u"COMPANY");
        for (int i = before; i < found.Count(); ++i) {
            candidates->Add(found.Strings(i));
            _pDataModule->NoteListedIn(found.Strings(i), companyFile);
        }
        for (const sage::TSageLeftOut& item : unusable) {
            _pDataModule->NoteListedIn(item.Path, companyFile);
            _pDataModule->NoteUnreadableFolder(item);
        }
    }
}

TPlatformLoader::TPlatformLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing)
    : TPlatformLoader(dataModule, view, pacing, SelectorProgramPath(), PlatformListFilePath()) {}

TPlatformLoader::TPlatformLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing,
                                 UnicodeString selectorProgram, UnicodeString listFile)
    : TDatasetLoader(dataModule, view, pacing), _szSelectorProgram(std::move(selectorProgram)),
      _szListFile(std::move(listFile)) {}

void TPlatformLoader::FindDatasetFolders(rtl::TStringList* candidates) {
    _Dataset = nullptr;
    _szMessage = u"Getting Opted In Companies...";
    ShowProgress();
    RunOnView([](ILoaderView& v, const UnicodeString&) { v.SetSplashOnTop(false); }, {});
    RunPlatformSelector(_szSelectorProgram, {u"--validate"}, nullptr);
    try {
        for (const UnicodeString& line : ReadPlatformListFile(_szListFile)) {
            candidates->Add(line);
        }
    } catch (const rtl::Exception&) {
        RunOnView([](ILoaderView& v, const UnicodeString& t) { v.ShowMessage(t); },
                  PlatformListFileMessage(_szListFile));
    }
    RunOnView([](ILoaderView& v, const UnicodeString&) { v.SetSplashOnTop(true); }, {});
}

bool RunPlatformSelector(const UnicodeString& program, const std::vector<UnicodeString>& arguments,
                         const std::function<void()>& processEvents) {
    std::unique_ptr<rtl::TProcess> process = rtl::ShellExecuteProcess(program, arguments).Process;
    if (!process) {
        return false;
    }
    if (processEvents) {
        rtl::WaitForProcess(*process, processEvents);
    } else {
        process->WaitFor(0xFFFFFFFFu);
    }
    return true;
}

UnicodeString PlatformListFileMessage(const UnicodeString& fileName) {
    return u"The list of opted-in companies could not be read:\r" + fileName;
}

std::vector<UnicodeString> ReadPlatformListFile(const UnicodeString& fileName) {
    rtl::TBytes bytes = rtl::ReadAllBytes(fileName, sage::kMaxCompanyFileSize);
    UnicodeString text =
        rtl::AnsiToString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::vector<UnicodeString> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == UnicodeString::npos) {
            end = text.size();
        }
        UnicodeString line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace ven
