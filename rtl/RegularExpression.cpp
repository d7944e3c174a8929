#include "rtl/RegularExpression.h"
