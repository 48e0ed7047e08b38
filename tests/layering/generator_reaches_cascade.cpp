// Built as the generators are: the cascade above them is not there to include.
#include "cascade/series_source.h"
