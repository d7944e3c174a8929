#pragma once
// The value types property sets hold: TFolderName, a plain folder path kept distinct from its macro
// form (TEncodedFolderName), is declared beside the folder-name macros that convert between the two.
#include "utils/values/ORVI.FolderNameEncoding.h"
