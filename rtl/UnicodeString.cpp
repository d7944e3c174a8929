#include "rtl/UnicodeString.h"
