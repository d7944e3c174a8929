#include "rtl/FormatSettings.h"
