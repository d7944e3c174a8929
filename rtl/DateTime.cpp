#include "rtl/DateTime.h"
