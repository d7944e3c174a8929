#include "rtl/Registry.h"
