#include "rtl/Thread.h"
