// Built as the Python module is: the public header and the statistics sums are there.
#include "cascade/cascade.hpp"
#include "statistics/checked_sums.h"

int layering_allowed_headers() { return cascade::limits_of(cascade::random_stream::philox).max_step_number > 0; }
