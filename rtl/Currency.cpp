#include "rtl/Currency.h"
