// run.h: one whole run, from the seed to the last value line.
#pragma once

#include "program/arguments.h"

namespace cascade {

/// Generates, summarises (standard error) and writes (standard output) one
/// run; returns the exit status. Errors are reported on standard error.
int run_cascade(const run_parameters& parameters);

}  // namespace cascade
