// Built as the Python module is: the core's headers are not there to include.
#include "cascade/series_source.h"
