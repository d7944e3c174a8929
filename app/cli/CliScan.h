#pragma once
// The "scan" command: the program's own start-up search, then any hand-picked files, listed.
#include <ostream>
#include <string>
#include <vector>

namespace cli {

/// venturo_mtd_cli scan [--json] [--company-file FILE]... [--setup-file FILE]...
/// [--date-separator C] [--decimal-separator C]. Returns 0, 1 when a picked file cannot be read,
/// 2 on wrong usage.
int RunScan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const char* ScanUsage();

} // namespace cli
