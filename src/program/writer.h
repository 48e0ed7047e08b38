// writer.h: the one writer of a run's output, whatever its stream.
//
// Takes the source's windows in order (series_source.h): each block is
// encoded (text lines, float64 or float32) on the thread that made it, and a
// window is written to standard output (and its weights to the weights file)
// while the team makes the next. The summary line, and with --verbose the
// command that repeats the run, go to standard error where the stream puts
// them: before the first value (the series is whole before it is written)
// or after the last (it is summarised as it is written). Memory stays
// bounded whatever N: two windows of about 24 MiB each.
#pragma once

#include <cstdint>

#include "cascade/series_source.h"
#include "program/arguments.h"
#include "program/progress.h"
#include "program/run_failure.h"

namespace cascade {

/// Asks for a larger pipe buffer when fd is a pipe, for fewer hand-overs
/// to the reader. Best effort.
void widen_pipe(int fd);

/// The summary line of `made`, and with --verbose the command that repeats
/// the run, on standard error; 0 or the errno of the failed write.
int write_summary_text(const moments& made, const run_parameters& parameters, std::uint64_t seed);

/// Writes the source's values (already prepared) to standard output in the
/// run's format, its weights to weights_fd (unless -1), and the summary line
/// (and the command echo of `seed`) to standard error.
run_failure write_run(series_source& source, const run_parameters& parameters, std::uint64_t seed, unsigned threads,
                      int weights_fd, progress_meter& progress);

}  // namespace cascade
