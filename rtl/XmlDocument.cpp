#include "rtl/XmlDocument.h"
