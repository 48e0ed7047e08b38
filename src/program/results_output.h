// results_output.h: the program's runs with a results file: --output FILE
// writes one, --verify FILE checks one.
#pragma once

#include <cstdint>

#include "program/arguments.h"
#include "program/progress.h"

namespace cascade {

/// Writes the run into parameters.output_path (through the core's writer),
/// then the summary line; returns the exit status: 2 when the file may not
/// be written (it exists, or is no regular file), 1 when writing failed.
int write_results_output(const run_parameters& parameters, std::uint64_t seed, unsigned threads,
                         progress_meter& progress);

/// Checks parameters.verify_path: 0 equal, 1 a value differs (one line
/// naming the first), 2 not a results file of ours or unreadable.
int verify_results_output(const run_parameters& parameters, unsigned threads);

}  // namespace cascade
