#include "utils/ORVI.CoreUtils.h"
