// run.h: one whole run, from the seed to the last value line.
#pragma once

#include "program/arguments.h"

namespace cascade {

/// Generates, summarises (standard error) and writes (standard output) one
/// run; returns the exit status. Errors are reported on standard error.
int run_cascade(const run_parameters& parameters);

/// --verify FILE: checks the results file against the run it describes;
/// returns 0 when every value is equal, 1 when one differs, 2 when the file
/// is not one of ours (the reason on standard error, one line).
int verify_cascade(const run_parameters& parameters);

}  // namespace cascade
