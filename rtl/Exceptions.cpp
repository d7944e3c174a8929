#include "rtl/Exceptions.h"
