#include "rtl/KnownFolders.h"
