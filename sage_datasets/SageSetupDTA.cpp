#include "sage_datasets/SageSetupDTA.h"
