#pragma once
#include "SageApi.h"
