#include "app/core/ReadProblems.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageLeftOut.h"

#include <algorithm>
#include <cstdint>

namespace ven {

using rtl::UnicodeString;

TReadProblem TReadProblem::Of(const UnicodeString& folder, const sage::TSageLeftOut& item) {
    return {folder, item.Path, item.File, item.Reason, {}, {}};
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

namespace {

// The line (from 1) of a file at a byte offset; 0 when the file cannot be read that far.
std::int64_t LineAtOffset(const UnicodeString& file, std::int64_t offset) {
    constexpr std::int64_t kLargestRead = 64 * 1024 * 1024; // the largest return file read
    if (offset < 0 || offset > kLargestRead) {
        return 0;
    }
    try {
        const rtl::TBytes bytes = rtl::ReadAllBytes(file, kLargestRead);
        if (offset > static_cast<std::int64_t>(bytes.size())) {
            return 0;
        }
        return 1 + std::count(bytes.begin(), bytes.begin() + offset, std::uint8_t('\n'));
    } catch (const rtl::Exception&) {
        return 0; // changed or gone since: the offset alone is all there is
    }
}

// The number after marker in text, or -1.
std::int64_t NumberAfter(const UnicodeString& text, rtl::UnicodeStringView marker) {
    const std::size_t at = text.find(marker);
    if (at == UnicodeString::npos) {
        return -1;
    }
    std::int64_t n = -1;
    for (std::size_t i = at + marker.size(); i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        n = (n < 0 ? 0 : n * 10) + (text[i] - u'0');
        if (n > (std::int64_t(1) << 40)) {
            return -1;
        }
    }
    return n;
}

// What the file that failed is to the user.
UnicodeString FileNoun(const TReadProblem& problem) {
    if (rtl::EndsText(u"Adjustments.xml", problem.File)) {
        return u"The adjustments file of the return";
    }
    return problem.Path == problem.Folder ? u"A file of the dataset" : u"The return file";
}

} // namespace

UnicodeString ProblemPlainText(const TReadProblem& problem) {
    const UnicodeString& reason = problem.Reason;
    if (reason.starts_with(u"Listed in ")) {
        return {}; // plain already
    }
    if (reason.starts_with(u"Malformed XML: ")) {
        const std::int64_t line = LineAtOffset(problem.File, NumberAfter(reason, u" at offset "));
        return FileNoun(problem) + u" is damaged (XML error" +
               (line > 0 ? u" at line " + rtl::IntToStr(line) : UnicodeString()) + u")";
    }
    if (const std::int64_t version = NumberAfter(reason, u"Unknown version byte "); version >= 0) {
        return version > 30 ? u"Sage version " + rtl::IntToStr(version) + u" is not supported yet"
                            : u"The dataset's version (" + rtl::IntToStr(version) + u") is not one Sage has made";
    }
    if (reason.find(u"ermission denied") != UnicodeString::npos) {
        return FileNoun(problem) + u" may not be read by this user (permission denied)";
    }
    if (reason.find(u"older does not exist") != UnicodeString::npos) {
        return u"The dataset folder does not exist";
    }
    if (reason.find(u"No such file") != UnicodeString::npos ||
        reason.find(u"does not exist") != UnicodeString::npos) {
        return u"A file the dataset needs is missing";
    }
    if (reason.starts_with(u"Invalid content: ")) {
        return FileNoun(problem) + u" holds a value that cannot be read";
    }
    return {};
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
