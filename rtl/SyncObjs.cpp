#include "rtl/SyncObjs.h"
