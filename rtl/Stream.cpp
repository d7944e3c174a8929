#include "rtl/Stream.h"
