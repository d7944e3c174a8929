#pragma once
// The "show" command: one dataset's header and VAT returns, as text for people or as JSON.
#include <ostream>
#include <string>
#include <vector>

namespace sage {
class TSageDataset;
}

namespace cli {

/// venturo_mtd_cli show [--json] [--date-separator C] [--decimal-separator C] FOLDER.
/// Returns the exit status: 0 shown, 1 no dataset in FOLDER, 2 wrong usage.
int RunShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// The usage line of the command.
const char* ShowUsage();

/// Writes the dataset as one JSON object (UTF-8), loading its returns if needed; each return is
/// written as it is made, so memory does not grow with the number of returns.
void WriteDatasetJson(sage::TSageDataset& dataset, std::ostream& out);
/// WriteDatasetJson into a string.
std::string DatasetToJson(sage::TSageDataset& dataset);
/// The dataset as a readable summary.
std::string DatasetToText(sage::TSageDataset& dataset);

} // namespace cli
