// counter_run.h: a run of the philox stream, written as it is made.
//
// The values are made a window of blocks at a time by every thread, and
// written in order while the next window is made, so memory stays bounded
// whatever N (two windows of about 24 MiB each, values and text, up to 64
// blocks of 2^15 values). The summary line is made in the same pass, so it
// comes after the values.
#pragma once

#include <cstdint>

#include "cascade/cascade.h"
#include "program/arguments.h"
#include "program/run_failure.h"

namespace cascade {

/// Writes values [begin, end) of the series of `shape` and `seed` to
/// standard output, their weights to weights_fd (unless -1), then the
/// summary line (and the command echo) to standard error.
run_failure write_counter_series(const run_parameters& parameters, const cascade_shape& shape, std::uint64_t seed,
                                 std::int64_t begin, std::int64_t end, unsigned threads, int weights_fd,
                                 bool show_progress);

}  // namespace cascade
