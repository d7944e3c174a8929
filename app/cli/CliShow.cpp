#include "app/cli/CliShow.h"
#include "app/cli/CliText.h"

#include "app/cli/CliOptions.h"

#include "app/core/ReadProblems.h"
#include "sage_datasets/SageDataset.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/ObjectHooks.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <sstream>

namespace cli {

namespace {

const sage::TSageDatasetVatReturn& ReturnAt(const rtl::TStringList& returns, int index) {
    return *static_cast<const sage::TSageDatasetVatReturn*>(returns.Objects(index));
}

TJson ReturnToJson(const rtl::UnicodeString& key, const sage::TSageDatasetVatReturn& vatReturn) {
    TJson boxes = TJson::array();
    for (int box = 1; box <= sage::TSageDatasetVatReturn::BoxCount; ++box) {
        boxes.push_back(vatReturn.GetBox(box).Raw());
    }
    TJson json{{"key", JsonUtf8(key)},
                 {"period", JsonUtf8(vatReturn.Period())},
                 {"description", JsonUtf8(vatReturn.Description())},
                 {"dateFrom", IsoDate(vatReturn.DateFrom())},
                 {"dateTo", IsoDate(vatReturn.DateTo())},
                 {"companyName", JsonUtf8(vatReturn.CompanyName())},
                 {"vatNumber", JsonUtf8(vatReturn.VatNumber())},
                 {"boxes", boxes},
                 {"flatRateLiability", vatReturn.FlatRateLiability().Raw()},
                 {"standardRateLiability", vatReturn.StandardRateLiability().Raw()},
                 {"standardRateSales", vatReturn.StandardRateSales().Raw()},
                 {"standardRatePurchase", vatReturn.StandardRatePurchase().Raw()},
                 {"flatRateBenefitCost", vatReturn.FlatRateBeniftCost().Raw()}};
    if (vatReturn.Conflicting()) {
        json["conflictingFile"] = JsonUtf8(vatReturn.ConflictingFile());
    }
    return json;
}

TJson ProblemsJson(sage::TSageDataset& dataset) {
    TJson problems = TJson::array();
    for (const sage::TSageLeftOut& item : dataset.LeftOut()) {
        problems.push_back(
            TJson{{"path", JsonUtf8(item.Path)}, {"file", JsonUtf8(item.File)}, {"reason", JsonUtf8(item.Reason)}});
    }
    return problems;
}

// Each line of a dumped value indented by one more level of the dump's two spaces per level.
void WriteNested(std::ostream& out, const std::string& dumped) {
    std::size_t start = 0;
    for (std::size_t end = dumped.find('\n'); end != std::string::npos; end = dumped.find('\n', start)) {
        out << "    ";
        out.write(dumped.data() + start, static_cast<std::streamsize>(end + 1 - start));
        start = end + 1;
    }
    out << "    " << std::string_view(dumped).substr(start);
}

void AppendLine(std::ostringstream& out, const char* label, const std::string& value) {
    out << "  " << label << std::string(18 - std::string_view(label).size(), ' ') << value << '\n';
}

} // namespace

const char* ShowUsage() {
    return "venturo_mtd_cli show [--json] [--date-separator C] [--decimal-separator C] FOLDER";
}

void WriteDatasetJson(sage::TSageDataset& dataset, std::ostream& out) {
    const rtl::TStringList& returns = dataset.VatReturns();
    TJson json{{"folder", JsonUtf8(dataset.DatasetFolder())},
               {"companyName", JsonUtf8(dataset.CompanyName())},
               {"address1", JsonUtf8(dataset.Address1())},
               {"address2", JsonUtf8(dataset.Address2())},
               {"town", JsonUtf8(dataset.Town())},
               {"county", JsonUtf8(dataset.County())},
               {"postCode", JsonUtf8(dataset.PostCode())},
               {"vatNumber", JsonUtf8(dataset.VatNumber())},
               {"vatNumberForUrl", JsonUtf8(dataset.VatNumberForUrl())},
               {"uuid", JsonUtf8(dataset.UuidString())},
               {"majorVersion", dataset.MajorVersion()},
               {"version", JsonUtf8(dataset.Version())},
               {"odbcDriver", JsonUtf8(dataset.ODBCDriver())},
               {"odbcDriverFileName", JsonUtf8(dataset.ODBCDriverFileName())},
               {"returns", TJson::array()},
               {"problems", ProblemsJson(dataset)}};
    // Text that is not valid Unicode is shown with replacement characters rather than refused.
    const std::string outline = Dump(json);
    if (returns.Count() == 0) {
        out << outline;
        return;
    }
    // A dataset may hold many thousands of returns: each is written as soon as it is made, into the
    // place of the outline's empty array, so that the whole document is never held at once.
    const std::string_view emptyReturns = "\"returns\": []";
    const std::size_t at = outline.find(emptyReturns) + emptyReturns.size() - 1;
    out.write(outline.data(), static_cast<std::streamsize>(at));
    for (int i = 0; i < returns.Count(); ++i) {
        out << (i == 0 ? "\n" : ",\n");
        WriteNested(out, Dump(ReturnToJson(returns.Strings(i), ReturnAt(returns, i))));
    }
    out << "\n  " << std::string_view(outline).substr(at);
}

std::string DatasetToJson(sage::TSageDataset& dataset) {
    std::ostringstream out;
    WriteDatasetJson(dataset, out);
    return out.str();
}

std::string DatasetToText(sage::TSageDataset& dataset) {
    std::ostringstream out;
    out << Utf8(dataset.CompanyName()) << '\n';
    AppendLine(out, "Folder", Utf8(dataset.DatasetFolder()));
    std::string address;
    for (const rtl::UnicodeString& line :
         {dataset.Address1(), dataset.Address2(), dataset.Town(), dataset.County(), dataset.PostCode()}) {
        if (!line.empty()) {
            address += (address.empty() ? "" : ", ") + Utf8(line);
        }
    }
    AppendLine(out, "Address", address);
    AppendLine(out, "VAT number",
               Utf8(dataset.VatNumber()) + " (portal: " + Utf8(dataset.VatNumberForUrl()) + ")");
    AppendLine(out, "Dataset UUID", dataset.UuidString().empty() ? "none" : Utf8(dataset.UuidString()));
    AppendLine(out, "Version",
               Utf8(dataset.Version()) + " (major version " + std::to_string(dataset.MajorVersion()) + ")");
    AppendLine(out, "ODBC driver",
               Utf8(dataset.ODBCDriver()) + " (" + Utf8(dataset.ODBCDriverFileName()) + ")");
    const rtl::TStringList& returns = dataset.VatReturns();
    out << "VAT returns: " << returns.Count() << (returns.Count() > 0 ? ", newest first" : "") << '\n';
    for (int i = 0; i < returns.Count(); ++i) {
        const sage::TSageDatasetVatReturn& vatReturn = ReturnAt(returns, i);
        out << "  " << Utf8(vatReturn.Period()) << "  " << Utf8(vatReturn.CompanyName()) << '\n';
        if (vatReturn.Conflicting()) {
            out << "    Not to be sent: another return file holds this period with different figures: "
                << Utf8(vatReturn.ConflictingFile()) << '\n';
        }
        for (int box = 1; box <= 9; ++box) {
            const std::string cell = "Box " + std::to_string(box) + ": " + Money(vatReturn.GetBox(box));
            // Pad by characters, not bytes: the pound sign takes two bytes.
            out << "    " << cell
                << (box % 3 == 0 ? "\n" : std::string(26 - std::min<std::size_t>(cell.size() - 1, 25), ' '));
        }
    }
    if (const sage::TSageLeftOutList& problems = dataset.LeftOut(); !problems.empty()) {
        out << Utf8(ven::ProblemsSummaryText(problems.size())) << ":\n";
        for (const sage::TSageLeftOut& item : problems) {
            const ven::TReadProblem problem = ven::TReadProblem::Of(dataset.DatasetFolder(), item);
            out << "  " << Utf8(problem.Path) << "\n    " << Utf8(ven::ProblemReasonText(problem)) << '\n';
        }
    }
    return out.str();
}

int RunShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<TCliOptionDef> defs = RegionalOptionDefs();
    defs.push_back({"--json", false});
    TCliOptions options;
    if (!options.Parse(args, defs) || !options.ApplyRegionalOverrides()) {
        err << "venturo_mtd_cli show: " << options.Error() << "\nusage: " << ShowUsage() << '\n';
        return 2;
    }
    if (options.Positionals().size() != 1) {
        err << "venturo_mtd_cli show: expected one dataset folder\nusage: " << ShowUsage() << '\n';
        return 2;
    }
    const rtl::UnicodeString& folder = options.Positionals()[0];
    sage::TSageDatasetFactory factory;
    sage::TSageLeftOut whyNot;
    const TDatasetPtr dataset(factory.MakeDatasetAndLoad(folder, &whyNot));
    if (!dataset) {
        err << "venturo_mtd_cli show: no Sage dataset could be read from \"" << Utf8(folder)
            << "\": " << Utf8(ven::ProblemReasonText(ven::TReadProblem::Of(folder, whyNot))) << '\n';
        return 1;
    }
    if (options.Has("--json")) {
        WriteDatasetJson(*dataset, out);
        out << '\n';
    } else {
        out << DatasetToText(*dataset);
    }
    return 0;
}

} // namespace cli
