// run.h: one whole run, from the seed to the last value line.
#pragma once

#include <cstdint>

#include "cascade/arguments.h"

namespace cascade {

/// The seed word of a start at Unix second `seconds`: its negation, after
/// folding a clock past 2^31 - 1 into [0, 2^31).
std::int32_t seed_word_for(std::int64_t seconds);

/// Generates, summarises (standard error) and writes (standard output) one
/// run; returns the exit status. Errors are reported on standard error.
int run_cascade(const run_parameters& parameters);

}  // namespace cascade
