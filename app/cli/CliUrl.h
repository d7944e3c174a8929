#pragma once
// The "url" command: the portal hand-off URL of one dataset's return.
#include <ostream>
#include <string>
#include <vector>

namespace cli {

/// venturo_mtd_cli url [--test] [--platform] [--period PERIOD] [--company NAME] [--open]
/// [--date-separator C] [--decimal-separator C] FOLDER. Returns 0, 1 when there is no dataset or
/// no such return, 2 on wrong usage.
int RunUrl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* UrlUsage();

} // namespace cli
