#pragma once
// The loaders that find and load every dataset at start-up, on their own thread, under the splash.
#include "sage_datasets/SageDatasetFactory.h"

#include "rtl/StringList.h"
#include "rtl/Thread.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sage {
class TSageDataset;
}

namespace ven {

class TdmVenMTD;

/// The few calls the loader makes on the windows; each runs on the main thread while the loader
/// waits for it.
class ILoaderView {
public:
    virtual ~ILoaderView() = default;
    /// The splash's progress label (the text may hold a carriage return: two lines).
    virtual void ShowProgress(const rtl::UnicodeString& text) = 0;
    /// Makes the splash stay on top of other windows, or an ordinary window.
    virtual void SetSplashOnTop(bool onTop) = 0;
    /// A plain message box.
    virtual void ShowMessage(const rtl::UnicodeString& text) = 0;
    /// Closes the splash and shows the main window.
    virtual void FinishLoading() = 0;
};

/// Pauses that let each progress line be read, and the splash's minimum time. The pauses only
/// spend time the splash has to stay up anyway: none is made once its minimum time has passed.
struct TLoaderPacing {
    std::uint32_t SlowPauseMs = 100;   // after each dataset while 10 or fewer are known
    std::uint32_t FastPauseMs = 0;     // once 11 or more are known (showing the line already
                                       // lets the splash repaint)
    std::uint32_t MinimumMs = 3000;    // the splash stays up at least this long
    std::uint32_t ProgressEveryMs = 20; // once 11 or more are known, at most one line this often
    static TLoaderPacing None() { return {0, 0, 0, 0}; }
};

/// Order of DataSets after loading: datasets without returns first (by VAT number), then by the
/// latest return's description (period end first), then by company name.
int CompareDatasets(rtl::TStringList* list, int index1, int index2);

class TDatasetLoader : public rtl::TThread {
public:
    TDatasetLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing);

    /// The whole load on the calling thread (Execute runs this on the loader thread).
    void Load();

protected:
    /// Load() inside a COM apartment: the search asks the shell for known folders from this thread.
    void Execute() override;
    /// Fills candidates (sorted, case-insensitive) with folders that may hold datasets.
    virtual void FindDatasetFolders(rtl::TStringList* candidates) = 0;
    /// Puts _szMessage on the splash, on the main thread.
    void ShowProgress();
    void RunOnView(void (*call)(ILoaderView&, const rtl::UnicodeString&), const rtl::UnicodeString& text);

    TdmVenMTD* _pDataModule;
    ILoaderView* _pView;
    rtl::UnicodeString _szMessage;
    sage::TSageDataset* _Dataset = nullptr;
    /// Filled by FindDatasetFolders with the identities it took, so that loading takes none again.
    sage::TSageFolderIdentities _mListedIdentities;

private:
    void LoadCandidates(rtl::TStringList* datasets, std::uint64_t deadline);
    TLoaderPacing _pacing;
};

/// The desktop search: the Sage program folders, the public data folder and its year folders,
/// and the application paths of the Sage programs in the registry.
class TStandardLoader : public TDatasetLoader {
public:
    using TDatasetLoader::TDatasetLoader;
    /// Every folder searched, in order (each is given to GetCompanyDatasetLocations).
    static std::vector<rtl::UnicodeString> SearchFolders();

protected:
    void FindDatasetFolders(rtl::TStringList* candidates) override;
};

/// Platform mode: the platform's dataset selector writes the list of opted-in dataset folders.
class TPlatformLoader : public TDatasetLoader {
public:
    TPlatformLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing);
    /// Other selector and list file, for tests.
    TPlatformLoader(TdmVenMTD* dataModule, ILoaderView* view, TLoaderPacing pacing,
                    rtl::UnicodeString selectorProgram, rtl::UnicodeString listFile);

protected:
    void FindDatasetFolders(rtl::TStringList* candidates) override;

private:
    rtl::UnicodeString _szSelectorProgram;
    rtl::UnicodeString _szListFile;
};

/// Starts the platform's dataset selector with its arguments and waits for it to end (no time
/// limit), calling processEvents meanwhile when given. False when it could not be started.
bool RunPlatformSelector(const rtl::UnicodeString& program, const std::vector<rtl::UnicodeString>& arguments,
                         const std::function<void()>& processEvents);
/// The lines of the platform list file, each whole (a trailing CR removed). Raises rtl::EFOpenError
/// naming the file when it cannot be read.
std::vector<rtl::UnicodeString> ReadPlatformListFile(const rtl::UnicodeString& fileName);
/// The message shown when the platform list file cannot be read.
rtl::UnicodeString PlatformListFileMessage(const rtl::UnicodeString& fileName);

} // namespace ven
