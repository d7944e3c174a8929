#include "app/cli/CliScan.h"
#include "app/cli/CliText.h"

#include "app/cli/CliOptions.h"
#include "app/core/DatasetBrowse.h"
#include "app/core/DatasetLoader.h"
#include "app/core/VatGroupIndex.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <nlohmann/json.hpp>

#include <iomanip>
#include <memory>

namespace cli {

namespace {

using rtl::UnicodeString;

// The loader's calls on the windows, without windows: only messages are worth printing.
class TConsoleLoaderView : public ven::ILoaderView {
public:
    explicit TConsoleLoaderView(std::ostream& err) : _err(err) {}
    void ShowProgress(const UnicodeString&) override {}
    void SetSplashOnTop(bool) override {}
    void ShowMessage(const UnicodeString& text) override { _err << Utf8(text) << '\n'; }
    void FinishLoading() override {}

private:
    std::ostream& _err;
};

void RunSearch(ven::TdmVenMTD& dm, const ven::TVenSystemMode& mode, ven::ILoaderView& view) {
    std::unique_ptr<ven::TDatasetLoader> loader;
    if (mode.PlatformMode()) {
        loader = std::make_unique<ven::TPlatformLoader>(&dm, &view, ven::TLoaderPacing::None());
    } else {
        loader = std::make_unique<ven::TStandardLoader>(&dm, &view, ven::TLoaderPacing::None());
    }
    loader->Load();
}

TJson DatasetJson(const ven::TVatGroupIndex& groups, sage::TSageDataset& d) {
    sage::TSageDatasetVatReturn* latest = d.LatestVatReturn();
    return TJson{{"folder", JsonUtf8(d.DatasetFolder())},
                 {"companyName", JsonUtf8(d.CompanyName())},
                 {"vatNumber", JsonUtf8(d.VatNumber())},
                 {"majorVersion", d.MajorVersion()},
                 {"version", JsonUtf8(d.Version())},
                 {"latestReturn", latest ? TJson(JsonUtf8(latest->Period())) : TJson(nullptr)},
                 {"numReturns", d.VatReturns().Count()},
                 {"groupKey", latest ? TJson(JsonUtf8(latest->Description())) : TJson(nullptr)},
                 {"isGroup", groups.IsGroupReturn(&d)},
                 {"incomplete", !d.LeftOut().empty()}};
}

TJson ProblemsJson(const ven::TReadProblems& problems) {
    TJson array = TJson::array();
    for (const ven::TReadProblem& p : problems) {
        array.push_back(TJson{{"folder", JsonUtf8(p.Folder)},
                              {"path", JsonUtf8(p.Path)},
                              {"file", JsonUtf8(p.File)},
                              {"reason", JsonUtf8(p.Reason)}});
    }
    return array;
}

// "1 return", "2 returns".
std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

void PrintText(const ven::TVatGroupIndex& groups, std::vector<sage::TSageDataset*>& datasets,
               const ven::TReadProblems& problems, std::ostream& out) {
    out << Count(static_cast<int>(datasets.size()), "Sage company", "Sage companies") << '\n';
    for (sage::TSageDataset* d : datasets) {
        sage::TSageDatasetVatReturn* latest = d->LatestVatReturn();
        out << "  " << Utf8(d->CompanyName()) << '\n'
            << "    VAT number " << Utf8(d->VatNumber()) << ", version " << Utf8(d->Version()) << ", "
            << Count(d->VatReturns().Count(), "return", "returns")
            << (latest ? ", latest " + Utf8(latest->Period()) : std::string())
            << (groups.IsGroupReturn(d) ? ", VAT group" : "") << '\n'
            << "    " << Utf8(d->DatasetFolder()) << '\n';
        if (const std::size_t left = d->LeftOut().size(); left > 0) {
            out << "    " << Utf8(ven::DatasetProblemsText(left)) << '\n';
        }
    }
    if (!problems.empty()) {
        out << Utf8(ven::ProblemsSummaryText(problems.size())) << ":\n";
        for (const ven::TReadProblem& p : problems) {
            out << "  " << Utf8(p.Path) << '\n' << "    " << Utf8(ven::ProblemReasonText(p)) << '\n';
        }
    }
}

} // namespace

const char* ScanUsage() {
    return "venturo_mtd_cli scan [--json] [--company-file FILE]... [--setup-file FILE]... "
           "[--date-separator C] [--decimal-separator C]";
}

int RunScan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<TCliOptionDef> defs = RegionalOptionDefs();
    defs.push_back({"--json", false});
    defs.push_back({"--company-file", true, true});
    defs.push_back({"--setup-file", true, true});
    TCliOptions options;
    if (!options.Parse(args, defs) || !options.ApplyRegionalOverrides() || !options.Positionals().empty()) {
        err << "venturo_mtd_cli scan: " << (options.Error().empty() ? "no folder is taken" : options.Error())
            << "\nusage: " << ScanUsage() << '\n';
        return 2;
    }

    ven::TVenSystemMode mode;
    ven::TdmVenMTD dm(mode);
    TConsoleLoaderView view(err);
    RunSearch(dm, mode, view);

    int status = 0;
    for (const auto& [name, file] : options.Ordered()) {
        if (name != "--setup-file" && name != "--company-file") {
            continue; // the separators were applied above
        }
        ven::TBrowseResult result = name == "--setup-file" ? ven::AddDatasetFromSetupFile(dm, file)
                                                           : ven::AddDatasetsFromCompanyFile(dm, file);
        if (result.Failed) {
            err << "venturo_mtd_cli scan: " << Utf8(result.Message) << '\n';
            status = 1;
        } else if (!result.Message.empty()) {
            err << Utf8(file) << ": " << Utf8(result.Message) << '\n';
        }
    }

    std::vector<sage::TSageDataset*> datasets;
    rtl::TStringList& list = *dm.DataSets();
    for (int i = 0; i < list.Count(); ++i) {
        if (auto* d = dynamic_cast<sage::TSageDataset*>(list.Objects(i))) {
            datasets.push_back(d);
        }
    }
    const ven::TVatGroupIndex groups(list);
    if (options.Has("--json")) {
        TJson array = TJson::array();
        for (sage::TSageDataset* d : datasets) {
            array.push_back(DatasetJson(groups, *d));
        }
        out << Dump(TJson{{"datasets", array}, {"problems", ProblemsJson(dm.Problems())}}) << '\n';
    } else {
        PrintText(groups, datasets, dm.Problems(), out);
    }
    return status;
}

} // namespace cli
