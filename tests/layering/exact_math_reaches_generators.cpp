// Built as the exact math is: the generators above it are not there to include.
#include "deviates/philox.h"
