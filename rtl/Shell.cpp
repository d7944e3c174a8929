#include "rtl/Shell.h"
