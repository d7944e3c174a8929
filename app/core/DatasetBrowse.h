#pragma once
// Adding datasets by hand: the main window's Browse, after the user has picked a file (desktop) or
// the platform's selector has ended (platform mode).
#include "app/core/ReadProblems.h"
#include "rtl/UnicodeString.h"

namespace ven {

class TdmVenMTD;

struct TBrowseResult {
    int Added = 0;
    /// What to tell the user in a plain message box; empty when nothing needs saying.
    rtl::UnicodeString Message;
    /// The file could not be read (Message names it); nothing was added.
    bool Failed = false;
};

/// What Browse says of picked datasets that could not be read (with the count added besides).
rtl::UnicodeString UnreadableDatasetsMessage(int added, const TReadProblems& problems);

/// A SETUP.DTA file adds its dataset, any other file is read as a COMPANY list. New datasets are
/// appended to DataSets and registered as rows; the table's observers hear one reset at the end.
TBrowseResult AddDatasetsFromFile(TdmVenMTD& dataModule, const rtl::UnicodeString& fileName);
/// The dataset of a picked SETUP.DTA, unless its folder is listed already; Failed, with the reason,
/// when it is not a dataset that can be read.
TBrowseResult AddDatasetFromSetupFile(TdmVenMTD& dataModule, const rtl::UnicodeString& fileName);
/// The datasets of a COMPANY list file that are not listed yet; the Message names those that could
/// not be read, and why.
TBrowseResult AddDatasetsFromCompanyFile(TdmVenMTD& dataModule, const rtl::UnicodeString& fileName);
/// Adds the datasets of the platform list file not yet listed, in file order.
TBrowseResult AddPlatformDatasets(TdmVenMTD& dataModule, const rtl::UnicodeString& listFile);

} // namespace ven
