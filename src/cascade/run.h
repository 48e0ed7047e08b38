// run.h: one whole run, from the seed to the last value line.
#pragma once

#include <cstdint>

#include "cascade/arguments.h"

namespace cascade {

/// Below this many values a second thread costs more to start than it saves.
inline constexpr std::int64_t shared_work_threshold = std::int64_t{1} << 15;

/// The Unix second `seconds` as a run's seed second: a clock past 2^31 - 1
/// folded into [0, 2^31).
std::int32_t fold_seed_second(std::int64_t seconds);

/// The seed word of a start at Unix second `seconds`: the negated folded second.
std::int32_t seed_word_for(std::int64_t seconds);

/// Generates, summarises (standard error) and writes (standard output) one
/// run; returns the exit status. Errors are reported on standard error.
int run_cascade(const run_parameters& parameters);

}  // namespace cascade
