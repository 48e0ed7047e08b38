// arguments.h: the command line, read into a run or refused with a reason.
//
// Grammar: `cascade [--seed T] [--generator NAME] [--range START:STOP]
// [--threads K] [--law NAME[:PARAM]] [--model NAME] [FORMAT] [--weights FILE]
// [--output FILE [--with-weights] [--force]] [--verbose] [--no-progress]
// [--help | -h] [--version] [--] lambda step_number n0`, FORMAT one
// option of the table of formats (formats.h), --binary or --float32; or
// `cascade [--threads K] --verify FILE`.
// Only words that begin with "--", and -h, are options (so "-0.5" is a
// lambda); they may stand anywhere before a lone "--", and words after the
// third positional one are ignored. Nothing here exits or prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "cascade/laws.h"
#include "cascade/models.h"
#include "cascade/run_rules.h"
#include "cascade/streams.h"
#include "cascade/value_encoding.h"
#include "program/exit_status.h"

namespace cascade {

struct run_parameters {
  double lambda = 0.0;
  std::int32_t step_number = 0;
  std::int32_t n0 = 0;
  /// --generator NAME: the random stream.
  stream generator = default_stream;
  /// --seed T: the subtractive stream runs as a clock-seeded start at Unix
  /// second T would (T < 2^31); the philox stream takes T as its key (T < 2^64).
  std::optional<std::uint64_t> seed;
  /// --law NAME[:PARAM]: the factors' law (the philox stream takes any).
  multiplier_law law{};
  /// --model NAME: the cascade's model (models.h).
  const model_descriptor* model = &default_model();
  /// --range START:STOP (philox only): values START .. STOP - 1 alone.
  std::optional<std::pair<std::int64_t, std::int64_t>> range;
  /// --threads K.
  std::optional<std::int64_t> threads;
  /// The option of a row of the table of formats (--binary, --float32), or text.
  value_format format = value_format::text;
  /// --no-progress: never show the progress line.
  bool progress = true;
  /// --weights FILE: the final weights before modulation go to this file.
  std::optional<std::string> weights_path;
  /// --output FILE: the values go into this results file (HDF5), float64
  /// or, with --float32, float32; --with-weights keeps the weights in it too;
  /// --force replaces an existing file.
  std::optional<std::string> output_path;
  bool with_weights = false;
  bool force = false;
  /// --verify FILE: the results file to check against the run it describes.
  std::optional<std::string> verify_path;
  /// --verbose: the run as a command line, after the summary; with
  /// --version, the math path too.
  bool verbose = false;

  /// N = n0 * 2^step_number; parse_arguments keeps it within the stream's limit.
  std::int64_t value_count() const { return std::int64_t{n0} << step_number; }
};

struct parsed_command {
  enum kind { run, verify, usage, help, version, error };
  kind what = error;
  run_parameters parameters;  ///< meaningful for `run` and `verify`
  std::string message;        ///< for `error`: one line, no newline
  /// exit_usage for a refused command (`usage`, `error`); exit_success for
  /// the others, which main carries on with.
  exit_status status = exit_success;
};

/// Reads the words after the program name.
parsed_command parse_arguments(std::span<const char* const> words);

}  // namespace cascade
