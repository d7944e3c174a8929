#include "app/core/VenSystemMode.h"
