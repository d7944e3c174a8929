#pragma once
// Small value helpers shared by the libraries.
#include "UtilsApi.h"
