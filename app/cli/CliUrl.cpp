#include "app/cli/CliUrl.h"
#include "app/cli/CliText.h"

#include "app/cli/CliOptions.h"
#include "app/core/PortalHandOff.h"
#include "app/core/ReadProblems.h"
#include "rtl/ObjectHooks.h"
#include "rtl/Shell.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

#include <memory>

namespace cli {

namespace {

sage::TSageDatasetVatReturn* FindReturn(sage::TSageDataset& dataset, const rtl::UnicodeString& period) {
    if (period.empty()) {
        return dataset.LatestVatReturn();
    }
    const rtl::TStringList& returns = dataset.VatReturns();
    for (int i = 0; i < returns.Count(); ++i) {
        auto* r = dynamic_cast<sage::TSageDatasetVatReturn*>(returns.Objects(i));
        if (r && r->Period() == period) {
            return r;
        }
    }
    return nullptr;
}

} // namespace

const char* UrlUsage() {
    return "venturo_mtd_cli url [--test] [--platform] [--period PERIOD] [--company NAME] [--open] "
           "[--date-separator C] [--decimal-separator C] FOLDER";
}

int RunUrl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<TCliOptionDef> defs = RegionalOptionDefs();
    for (const char* flag : {"--test", "--platform", "--open"}) {
        defs.push_back({flag, false});
    }
    defs.push_back({"--period", true});
    defs.push_back({"--company", true});
    TCliOptions options;
    if (!options.Parse(args, defs) || !options.ApplyRegionalOverrides() ||
        options.Positionals().size() != 1) {
        err << "venturo_mtd_cli url: "
            << (options.Error().empty() ? "expected one dataset folder" : options.Error())
            << "\nusage: " << UrlUsage() << '\n';
        return 2;
    }
    const rtl::UnicodeString& folder = options.Positionals()[0];
    sage::TSageDatasetFactory factory;
    sage::TSageLeftOut whyNot;
    const TDatasetPtr dataset(factory.MakeDatasetAndLoad(folder, &whyNot));
    if (!dataset) {
        err << "venturo_mtd_cli url: no Sage dataset could be read from \"" << Utf8(folder)
            << "\": " << Utf8(ven::ProblemReasonText(ven::TReadProblem::Of(folder, whyNot))) << '\n';
        return 1;
    }
    sage::TSageDatasetVatReturn* vatReturn = FindReturn(*dataset, options.Value("--period"));
    if (!vatReturn) {
        err << "venturo_mtd_cli url: \"" << Utf8(folder) << "\" has no VAT return"
            << (options.Has("--period") ? " for the period \"" + Utf8(options.Value("--period")) + "\"" : "")
            << '\n';
        return 1;
    }
    if (vatReturn->Conflicting()) {
        err << "venturo_mtd_cli url: the period " << Utf8(vatReturn->Period()) << " of \"" << Utf8(folder)
            << "\" is held in return files with different figures (" << Utf8(vatReturn->ConflictingFile())
            << "); nothing is sent\n";
        return 1;
    }
    if (options.Has("--company")) {
        vatReturn->SetCompanyName(options.Value("--company"));
    }
    ven::TPortalTarget target =
        ven::TPortalTarget::FromBuild(options.Has("--test"), options.Has("--platform"));
    if (!options.Has("--open")) {
        out << Utf8(ven::BuildPortalUrl(*vatReturn, target)) << '\n';
        return 0;
    }
    const ven::THandOffResult handOff = ven::HandOffReturn(*vatReturn, target);
    if (!handOff.Url.empty()) {
        out << Utf8(handOff.Url) << '\n';
    }
    if (!handOff.Opened) {
        err << "venturo_mtd_cli url: "
            << Utf8(rtl::StringReplace(handOff.Message, u"\r", u" ", rtl::TReplaceFlag::rfReplaceAll))
            << '\n';
        return 1;
    }
    err << Utf8(handOff.Message) << '\n';
    return 0;
}

} // namespace cli
