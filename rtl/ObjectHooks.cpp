#include "rtl/ObjectHooks.h"
