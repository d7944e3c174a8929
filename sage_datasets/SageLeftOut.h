#pragma once
// What the dataset library left out of what it loads, and why: read-only records for callers that
// must not let a missing dataset or return pass unseen.
#include "SageApi.h"

#include "rtl/UnicodeString.h"

#include <exception>
#include <vector>

namespace sage {

/// One thing left out: a dataset folder that did not load, or a return file that was not listed.
struct TSageLeftOut {
    /// What was left out: the dataset folder, or the return file.
    rtl::UnicodeString Path;
    /// The file or folder that could not be read: Path itself, or the SETUP.DTA or Adjustments.xml
    /// that made Path unusable.
    rtl::UnicodeString File;
    /// Why, in words for people ("Permission denied", "Malformed XML: ...").
    rtl::UnicodeString Reason;
};
using TSageLeftOutList = std::vector<TSageLeftOut>;

/// The record of path left out because reading file failed with e. The runtime's file errors name
/// the file they failed on (`Cannot open file "<file>". <reason>`, `"<file>": <reason>`,
/// `<file>: <reason>`): that file becomes File and the rest the reason; XML that does not parse is
/// "Malformed XML: ...", values that do not convert "Invalid content: ...".
SAGE_API TSageLeftOut LeftOutOf(const std::exception& e, const rtl::UnicodeString& szPath,
                                const rtl::UnicodeString& szFile);

} // namespace sage
