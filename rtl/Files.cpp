#include "rtl/Files.h"
