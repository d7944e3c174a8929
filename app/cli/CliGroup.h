#pragma once
// The "group" command: the VAT-group tree of the group window, and a period's combined URL.
#include <ostream>
#include <string>
#include <vector>

namespace cli {

/// venturo_mtd_cli group [--json] [--exclude COMPANY@PERIOD]... [--period PERIOD [--url [--test]
/// [--platform] [--name NAME]]] [--date-separator C] [--decimal-separator C] FOLDER...
/// Returns 0, 1 when a folder holds no dataset or a named period or member does not exist,
/// 2 on wrong usage.
int RunGroup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* GroupUsage();

} // namespace cli
