#pragma once
// What could not be read while datasets were loaded, and the texts that tell the user so: one
// record per item left out, kept per dataset folder.
#include "rtl/UnicodeString.h"

#include <cstddef>
#include <vector>

namespace sage {
struct TSageLeftOut;
class TSageDatasetVatReturn;
} // namespace sage

namespace ven {

/// One item that could not be read.
struct TReadProblem {
    /// The dataset folder it belongs to (the folder searched).
    rtl::UnicodeString Folder;
    /// What was left out: the dataset folder, or a return file.
    rtl::UnicodeString Path;
    /// The file that could not be read: Path, or the SETUP.DTA or Adjustments.xml behind it.
    rtl::UnicodeString File;
    /// Why ("Permission denied", "Malformed XML: ...").
    rtl::UnicodeString Reason;
    /// The company of the dataset, when it could be read far enough to know it.
    rtl::UnicodeString CompanyName;
    /// The COMPANY file that listed the dataset folder, when one did.
    rtl::UnicodeString CompanyFile;

    static TReadProblem Of(const rtl::UnicodeString& folder, const sage::TSageLeftOut& item);
};
using TReadProblems = std::vector<TReadProblem>;

/// "1 item could not be read", "3 items could not be read".
rtl::UnicodeString ProblemsSummaryText(std::size_t count);
/// The mark of a dataset row whose returns are incomplete; empty for none.
rtl::UnicodeString DatasetProblemsText(std::size_t count);
/// The reason as the details show it: the reason, preceded by the file that failed when that is
/// another than the item itself (relative to the item's folder when inside it).
rtl::UnicodeString ProblemReasonText(const TReadProblem& problem);
/// Why a return whose dataset holds its period in files with different figures is not sent, naming
/// the other file.
rtl::UnicodeString ConflictingReturnText(const sage::TSageDatasetVatReturn& vatReturn);
/// The reason in plain words ("The return file is damaged (XML error at line 12)", "Sage version 31
/// is not supported yet"); empty when there are none better than the reason itself. A damaged XML
/// file is read again to turn the error's offset into a line.
rtl::UnicodeString ProblemPlainText(const TReadProblem& problem);
/// One line per problem: "<path>: <reason text>".
rtl::UnicodeString ProblemLines(const TReadProblems& problems);

} // namespace ven
