// run_rules.h: the numbers a run accepts, and the words for one it refuses.
//
// One copy of the rules and of their messages for every face: the command
// line checks its words against them, the library and the Python module
// their numbers. Each limit is read from the stream table (streams.h), and
// each message takes its numbers from there. A message names the argument as
// the face spells it and shows the offending value as the face received it
// (the command line quotes its text).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cascade/laws.h"
#include "cascade/models.h"
#include "cascade/streams.h"

namespace cascade {

/// The largest |lambda| whose square is finite: beyond it every factor is
/// exp(inf - inf), not a number.
inline constexpr double max_lambda = 1.3407807929942596e+154;

/// The rule an argument breaks. The *_too_large kinds are numbers beyond
/// what a run can use, told their limit.
enum class refused_argument {
  generator,       ///< not a stream of the table
  lambda,
  lambda_too_large,
  step_number,
  step_number_too_large,
  n0,
  n0_too_large,
  value_count,     ///< N beyond the stream's largest
  seed,            ///< beyond 0 .. the stream's largest seed
  threads,         ///< beyond 1 .. the stream's most threads
  range,           ///< not 0 <= start < stop <= N
  range_unmade,    ///< a piece asked of a stream that makes none
  law_unmade,      ///< a law the stream does not draw
  law_spread,      ///< a step's spread beyond what the law can draw
};

/// How a face names its arguments: the command line's options, or the
/// parameters of the library's and the Python module's calls.
enum class spelling { command_line, call };

/// Why lambda cannot make a run (not finite, or its square not finite), or nothing.
std::optional<refused_argument> check_lambda(double lambda);

/// Whether n0 * 2^step_number stays within the stream's limit (both at least 1).
bool within_value_limit(std::int64_t n0, std::int64_t step_number, stream from);

/// The first rule the three numbers break, in the order the command line
/// reads them, or nothing.
std::optional<refused_argument> check_run_numbers(double lambda, std::int64_t step_number, std::int64_t n0,
                                                  stream from);

/// Whether a run of the stream may use `threads` threads.
bool threads_allowed(std::int64_t threads, stream from);

bool seed_allowed(std::uint64_t seed, stream from);

/// Whether [start, stop) is a piece of N values that the stream can make
/// alone; the rule broken, or nothing.
std::optional<refused_argument> check_range(std::int64_t start, std::int64_t stop, std::int64_t count, stream from);

/// Whether the stream draws `law` for steps of spread sigma; the rule
/// broken, or nothing.
std::optional<refused_argument> check_law(const multiplier_law& law, double sigma, stream from);

/// Whether the model takes the stream and the law, or nothing when it does.
/// Told by model_unmade_message.
bool model_takes(const model_descriptor& model, const multiplier_law& law, stream from);

/// Why the model takes not this stream or law: "--model NAME does not take
/// --generator subtractive: REASON" (the call's words: "model NAME does not
/// take the subtractive stream: REASON").
std::string model_unmade_message(const model_descriptor& model, const multiplier_law& law, stream from,
                                 spelling spelled);

/// "<argument> must be <rule>, got <shown>", e.g. "n0 must be a whole number
/// of at least 1, got 0". For value_count, `shown` is value_count_shown();
/// for range, the face's own form of the two numbers, and `count` is N.
std::string refusal_message(refused_argument argument, stream from, std::string_view shown,
                            spelling spelled = spelling::call, std::int64_t count = 0);

/// Why the law cannot draw steps of this lambda and step_number (check_law
/// gave law_spread), with the largest spread it takes and the one given:
/// "sigma = |lambda| / sqrt(step_number) must be at most 354.891356446692
/// with the binomial law (...), got 356".
std::string law_spread_message(const multiplier_law& law, double lambda, std::int64_t step_number);

/// The rule alone, as --help and a missing option value tell it: "a whole
/// number from 0 to 2147483647".
std::string seed_rule(stream from);
std::string threads_rule(stream from);

/// Why the environment's math settings cannot make a run ("CASCADE_VECTOR_LANES
/// must be 4 or 8, got '16'"), or nothing.
std::optional<std::string> environment_refusal();

/// CASCADE_THREADS, the threads of a run that names none: nothing when it
/// is unset or empty, else its count ([+]digits, 1 to the most any stream
/// takes) or, in `refusal`, why it is refused.
std::optional<std::int64_t> threads_from_environment(std::optional<std::string>& refusal);

/// "<n0> * 2^<step_number>".
std::string value_count_shown(std::string_view n0, std::string_view step_number);

}  // namespace cascade
