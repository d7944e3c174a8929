#include "app/cli/CliGroup.h"
#include "app/cli/CliText.h"

#include "app/cli/CliOptions.h"
#include "app/core/GroupReturnModel.h"
#include "app/core/PortalHandOff.h"
#include "app/core/ReadProblems.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

#include <nlohmann/json.hpp>

#include <sstream>

namespace cli {

namespace {

using rtl::UnicodeString;

// What a period whose sums overflow shows instead of its combined boxes.
constexpr const char* kOverflowText = "the boxes are too large to add up";
// What a period shows when a member's return files for it disagree.
constexpr const char* kConflictText = "a member holds this period in return files with different figures";

TJson Boxes(const sage::TSageDatasetVatReturn& r) {
    TJson boxes = TJson::array();
    for (int box = 1; box <= 9; ++box) {
        boxes.push_back(r.GetBox(box).Raw());
    }
    return boxes;
}

std::string BoxesText(const sage::TSageDatasetVatReturn& r) {
    std::string text;
    for (int box = 1; box <= 9; ++box) {
        text += (box > 1 ? "  " : "") + Utf8(rtl::FormatCurr(u"\u00A3#,##0.00", r.GetBox(box)));
    }
    return text;
}

TJson ModelJson(const ven::TGroupReturnModel& model) {
    TJson periods = TJson::array();
    for (int p = 0; p < model.PeriodCount(); ++p) {
        const ven::TGroupPeriod& period = model.Period(p);
        TJson members = TJson::array();
        for (const ven::TGroupMember& m : period.Members) {
            members.push_back(
                {{"companyName", JsonUtf8(m.CompanyName)},
                 {"datasetFolder", JsonUtf8(m.DatasetFolder)},
                 {"hasReturn", m.Return != nullptr},
                 {"included", m.Return != nullptr && m.Included},
                 {"likelyCopyOf", m.LikelyCopyOf.empty() ? TJson(nullptr) : TJson(JsonUtf8(m.LikelyCopyOf))},
                 {"conflictingFile",
                  m.ConflictingFile.empty() ? TJson(nullptr) : TJson(JsonUtf8(m.ConflictingFile))},
                 {"boxes", m.Return ? Boxes(*m.Return) : TJson(nullptr)}});
        }
        const sage::TSageDatasetVatReturn& c = *period.Combined;
        TJson combined = {{"vatNumber", JsonUtf8(c.VatNumber())},
                          {"dateFrom", JsonUtf8(rtl::FormatDateTime(u"yyyy-mm-dd", c.DateFrom()))},
                          {"dateTo", JsonUtf8(rtl::FormatDateTime(u"yyyy-mm-dd", c.DateTo()))},
                          {"boxes", period.Overflow ? TJson(nullptr) : Boxes(c)}};
        if (period.Overflow) {
            combined["error"] = kOverflowText;
        } else if (period.HasConflict()) {
            combined["error"] = kConflictText;
        }
        periods.push_back(
            {{"period", JsonUtf8(period.Period)}, {"combined", combined}, {"members", members}});
    }
    return {{"vatNumber", JsonUtf8(model.VatNumberText())}, {"periods", periods}};
}

std::string ModelText(const ven::TGroupReturnModel& model) {
    std::ostringstream out;
    out << "VAT number: " << Utf8(model.VatNumberText()) << '\n';
    for (int p = 0; p < model.PeriodCount(); ++p) {
        const ven::TGroupPeriod& period = model.Period(p);
        out << Utf8(period.Period)
            << "  combined: " << (period.Overflow ? std::string(kOverflowText) : BoxesText(*period.Combined))
            << '\n';
        for (const ven::TGroupMember& m : period.Members) {
            if (m.Return) {
                out << "  [" << (m.Included ? 'x' : ' ') << "] " << Utf8(m.CompanyName) << ": "
                    << BoxesText(*m.Return) << '\n';
                if (!m.LikelyCopyOf.empty()) {
                    out << "      likely a copy of " << Utf8(m.LikelyCopyOf) << '\n';
                }
                if (!m.ConflictingFile.empty()) {
                    out << "      not added: another return file holds this period with different figures: "
                        << Utf8(m.ConflictingFile) << '\n';
                }
            } else {
                out << "      " << Utf8(m.CompanyName) << " (no return for this period)\n";
            }
        }
    }
    return out.str();
}

// "--exclude COMPANY@PERIOD": the last "@" splits, as company names may hold one.
bool ApplyExclude(ven::TGroupReturnModel& model, const UnicodeString& value, std::string& error) {
    std::size_t at = value.rfind(u'@');
    if (at == UnicodeString::npos) {
        error = "--exclude needs COMPANY@PERIOD, got \"" + Utf8(value) + "\"";
        return false;
    }
    UnicodeString company = value.substr(0, at);
    int p = model.IndexOfPeriod(value.substr(at + 1));
    if (p >= 0) {
        const std::vector<ven::TGroupMember>& members = model.Period(p).Members;
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (members[i].Return && rtl::SameText(members[i].CompanyName, company)) {
                model.SetIncluded(p, static_cast<int>(i), false);
                return true;
            }
        }
    }
    error = "no member \"" + Utf8(company) + "\" with a return in the period \"" +
            Utf8(value.substr(at + 1)) + "\"";
    return false;
}

bool LoadDatasets(const std::vector<UnicodeString>& folders, rtl::TStringList& list, std::ostream& err) {
    sage::TSageDatasetFactory factory;
    for (const UnicodeString& folder : folders) {
        // The same dataset named twice (another spelling, a link) would add its boxes twice.
        if (sage::TSageDatasetFactory::IndexOfDataset(list, folder) >= 0) {
            continue;
        }
        sage::TSageLeftOut whyNot;
        sage::TSageDataset* d = factory.MakeDatasetAndLoad(folder, &whyNot);
        if (!d) {
            err << "venturo_mtd_cli group: no Sage dataset could be read from \"" << Utf8(folder)
                << "\": " << Utf8(ven::ProblemReasonText(ven::TReadProblem::Of(folder, whyNot))) << '\n';
            return false;
        }
        list.AddObject(d->DatasetFolder(), d);
    }
    return true;
}

bool ValidUsage(const TCliOptions& o) {
    bool urlOptions = o.Has("--test") || o.Has("--platform") || o.Has("--name");
    return !o.Positionals().empty() && (o.Has("--period") || !o.Has("--url")) &&
           (o.Has("--url") || !urlOptions);
}

} // namespace

const char* GroupUsage() {
    return "venturo_mtd_cli group [--json] [--exclude COMPANY@PERIOD]... [--period PERIOD [--url [--test] "
           "[--platform] [--name NAME]]] [--date-separator C] [--decimal-separator C] FOLDER...";
}

int RunGroup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<TCliOptionDef> defs = RegionalOptionDefs();
    for (const char* flag : {"--json", "--url", "--test", "--platform"}) {
        defs.push_back({flag, false});
    }
    defs.push_back({"--period", true});
    defs.push_back({"--name", true});
    defs.push_back({"--exclude", true, true});
    TCliOptions options;
    if (!options.Parse(args, defs) || !options.ApplyRegionalOverrides() || !ValidUsage(options)) {
        err << "venturo_mtd_cli group: " << (options.Error().empty() ? "wrong arguments" : options.Error())
            << "\nusage: " << GroupUsage() << '\n';
        return 2;
    }
    rtl::TStringList datasets(true);
    if (!LoadDatasets(options.Positionals(), datasets, err)) {
        return 1;
    }
    ven::TGroupReturnModel model;
    model.Build(dynamic_cast<sage::TSageDataset*>(datasets.Objects(0)), datasets);
    for (const UnicodeString& exclude : options.Values("--exclude")) {
        std::string error;
        if (!ApplyExclude(model, exclude, error)) {
            err << "venturo_mtd_cli group: " << error << '\n';
            return 1;
        }
    }

    int period = options.Has("--period") ? model.IndexOfPeriod(options.Value("--period")) : -1;
    if (options.Has("--period") && period < 0) {
        err << "venturo_mtd_cli group: no period \"" << Utf8(options.Value("--period"))
            << "\" in the group\n";
        return 1;
    }
    if (options.Has("--url")) {
        if (model.Period(period).Overflow || model.Period(period).HasConflict()) {
            err << "venturo_mtd_cli group: in the period \"" << Utf8(model.Period(period).Period) << "\" "
                << (model.Period(period).Overflow ? kOverflowText : kConflictText) << "; nothing can be sent\n";
            return 1;
        }
        sage::TSageDatasetVatReturn& combined = *model.Period(period).Combined;
        combined.SetCompanyName(options.Has("--name") ? options.Value("--name") : model.ReturnName());
        out << Utf8(ven::BuildPortalUrl(
                   combined, ven::TPortalTarget::FromBuild(options.Has("--test"), options.Has("--platform"))))
            << '\n';
        return 0;
    }
    if (options.Has("--json")) {
        out << Dump(ModelJson(model)) << '\n';
    } else {
        out << ModelText(model);
    }
    return 0;
}

} // namespace cli
