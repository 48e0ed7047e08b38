// arguments.h: the command line, read into a run or refused with a reason.
//
// Grammar: `cascade [--seed T] [--binary] [--weights FILE] [--verbose]
// [--no-progress] [--help | -h] [--version] [--] lambda step_number n0`.
// Only words that begin with "--", and -h, are options (so "-0.5" is a
// lambda); they may stand anywhere before a lone "--", and words after the
// third positional one are ignored. Nothing here exits or prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "program/exit_status.h"
#include "cascade/run_limits.h"

namespace cascade {

struct run_parameters {
  double lambda = 0.0;
  std::int32_t step_number = 0;
  std::int32_t n0 = 0;
  /// --seed T: run as a clock-seeded start at Unix second T would.
  std::optional<std::int32_t> seed_time;
  /// --binary: raw little-endian doubles instead of text lines.
  bool binary = false;
  /// --no-progress: never show the progress line.
  bool progress = true;
  /// --weights FILE: the final weights before modulation go to this file.
  std::optional<std::string> weights_path;
  /// --verbose: the run as a command line, after the summary; with
  /// --version, the math path too.
  bool verbose = false;

  /// N = n0 * 2^step_number; parse_arguments keeps it within max_value_count.
  std::int32_t value_count() const { return n0 << step_number; }
};

struct parsed_command {
  enum kind { run, usage, help, version, error };
  kind what = error;
  run_parameters parameters;  ///< meaningful for `run`
  std::string message;        ///< for `error`: one line, no newline
  /// exit_usage for a refused command (`usage`, `error`); exit_success for
  /// the others, which main carries on with.
  exit_status status = exit_success;
};

/// Reads the words after the program name.
parsed_command parse_arguments(std::span<const char* const> words);

}  // namespace cascade
