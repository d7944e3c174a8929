#include "app/core/ReadProblems.h"

#include "rtl/Files.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

namespace ven {

using rtl::UnicodeString;

TReadProblem TReadProblem::Of(const UnicodeString& folder, const sage::TSageLeftOut& item) {
    return {folder, item.Path, item.File, item.Reason};
}

UnicodeString ProblemsSummaryText(std::size_t count) {
    return rtl::IntToStr(static_cast<std::int64_t>(count)) + (count == 1 ? u" item" : u" items") +
           u" could not be read";
}

UnicodeString DatasetProblemsText(std::size_t count) {
    if (count == 0) {
        return {};
    }
    // A return left out may be the newest: the row must not look complete.
    return ProblemsSummaryText(count) + u"; returns may be missing from this dataset";
}

UnicodeString ProblemReasonText(const TReadProblem& problem) {
    if (problem.File.empty() || problem.File == problem.Path) {
        return problem.Reason;
    }
    UnicodeString file = problem.File;
    const UnicodeString inside = problem.Path + rtl::PathDelim;
    if (file.starts_with(inside)) {
        file.erase(0, inside.size());
    }
    return file + u": " + problem.Reason;
}

UnicodeString ConflictingReturnText(const sage::TSageDatasetVatReturn& vatReturn) {
    return u"The period " + vatReturn.Period() + u" is also held in \"" + vatReturn.ConflictingFile() +
           u"\" with different figures. Neither return can be sent until the wrong file is removed.";
}

UnicodeString ProblemLines(const TReadProblems& problems) {
    UnicodeString lines;
    for (const TReadProblem& problem : problems) {
        if (!lines.empty()) {
            lines += u'\r';
        }
        lines += problem.Path + u": " + ProblemReasonText(problem);
    }
    return lines;
}

} // namespace ven
