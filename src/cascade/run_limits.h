// run_limits.h: the numbers a run accepts, and the words for one it refuses.
//
// One copy of the rules and of their messages for every face: the command
// line checks its words against them, the library and the Python module
// their numbers. A message names the argument and shows the offending value
// as the face received it (the command line quotes its text).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cascade/streams.h"

namespace cascade {

/// The largest number of values a run of the subtractive stream may
/// produce, and the largest n0 of either stream.
inline constexpr std::int64_t max_value_count = 2147483647;
/// The largest number of values a run of the philox stream may produce.
inline constexpr std::int64_t max_philox_value_count = std::int64_t{1} << 48;
/// The most threads a run may be given.
inline constexpr std::int64_t max_threads = 1024;
/// The largest Unix second a run may be seeded with.
inline constexpr std::int64_t max_seed_second = 2147483647;

/// The largest |lambda| whose square is finite: beyond it every factor is
/// exp(inf - inf), not a number.
inline constexpr double max_lambda = 1.3407807929942596e+154;

/// The *_too_large kinds are numbers beyond what a run can use, told their limit.
enum class refused_argument {
  lambda,
  step_number,
  n0,
  value_count,
  seed,
  step_number_too_large,
  n0_too_large,
  lambda_too_large,
  philox_value_count,         ///< N beyond 2^48
  philox_step_number_too_large,
  philox_seed,                ///< beyond 0 .. 2^64 - 1
  threads,                    ///< not 1 .. max_threads
  subtractive_threads,        ///< not 1 or 2
};

/// Why lambda cannot make a run (not finite, or its square not finite), or nothing.
std::optional<refused_argument> check_lambda(double lambda);

/// Whether n0 * 2^step_number stays within the stream's limit (both at least 1).
bool within_value_limit(std::int64_t n0, std::int64_t step_number, stream from = stream::subtractive);

/// The first rule the three numbers break, in the order the command line
/// reads them, or nothing.
std::optional<refused_argument> check_run_numbers(double lambda, std::int64_t step_number, std::int64_t n0,
                                                  stream from = stream::subtractive);

/// Whether a run of the stream may use `threads` threads: 1 to max_threads
/// for philox; 1 or 2 for the subtractive stream, whose draws are one chain
/// that one thread makes while a second shares the rest.
std::optional<refused_argument> check_threads(std::int64_t threads, stream from);

bool seed_in_range(std::int64_t seed_second);

/// "<argument> must be <rule>, got <shown>", e.g. "n0 must be a whole number
/// of at least 1, got 0". For value_count, `shown` is value_count_shown().
std::string refusal_message(refused_argument argument, std::string_view shown);

/// Why the environment's math settings cannot make a run ("CASCADE_VECTOR_LANES
/// must be 4 or 8, got '16'"), or nothing.
std::optional<std::string> environment_refusal();

/// "<n0> * 2^<step_number>".
std::string value_count_shown(std::string_view n0, std::string_view step_number);

}  // namespace cascade
