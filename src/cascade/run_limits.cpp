#include "cascade/run_limits.h"

#include <cmath>

#include "cascade/quoted.h"
#include "exact_math/vector_math.h"

namespace cascade {

bool within_value_limit(std::int64_t n0, std::int64_t step_number, stream from) {
  const std::int64_t limit = from == stream::philox ? max_philox_value_count : max_value_count;
  const std::int64_t max_steps = from == stream::philox ? 48 : 30;
  // n0 * 2^step_number <= limit, as a division: a shift of n0 would overflow
  // (n0 up to 2^31 - 1, step_number up to 48).
  return step_number <= max_steps && n0 <= max_value_count && n0 <= (limit >> step_number);
}

std::optional<refused_argument> check_lambda(double lambda) {
  if (!std::isfinite(lambda)) return refused_argument::lambda;
  if (!std::isfinite(lambda * lambda)) return refused_argument::lambda_too_large;
  return std::nullopt;
}

std::optional<refused_argument> check_run_numbers(double lambda, std::int64_t step_number, std::int64_t n0,
                                                  stream from) {
  if (const auto refused = check_lambda(lambda)) return refused;
  if (step_number < 1) return refused_argument::step_number;
  if (n0 < 1) return refused_argument::n0;
  if (!within_value_limit(n0, step_number, from)) {
    return from == stream::philox ? refused_argument::philox_value_count : refused_argument::value_count;
  }
  return std::nullopt;
}

std::optional<refused_argument> check_threads(std::int64_t threads, stream from) {
  if (threads < 1 || threads > max_threads) return refused_argument::threads;
  if (from == stream::subtractive && threads > 2) return refused_argument::subtractive_threads;
  return std::nullopt;
}

bool seed_in_range(std::int64_t seed_second) { return seed_second >= 0 && seed_second <= max_seed_second; }

std::string refusal_message(refused_argument argument, std::string_view shown) {
  std::string_view rule;
  switch (argument) {
    case refused_argument::lambda:
      rule = "lambda must be a finite decimal number";
      break;
    case refused_argument::step_number:
      rule = "step_number must be a whole number of at least 1";
      break;
    case refused_argument::n0:
      rule = "n0 must be a whole number of at least 1";
      break;
    case refused_argument::value_count:
      rule = "n0 * 2^step_number must be at most 2147483647";
      break;
    case refused_argument::seed:
      rule = "seed must be a whole number from 0 to 2147483647";
      break;
    case refused_argument::step_number_too_large:
      rule = "step_number must be at most 30 (n0 * 2^step_number at most 2147483647)";
      break;
    case refused_argument::n0_too_large:
      rule = "n0 must be at most 2147483647";
      break;
    case refused_argument::lambda_too_large:
      rule = "lambda must be at most 1.3407807929942596e+154 in size, so that its square is finite";
      break;
    case refused_argument::philox_value_count:
      rule = "n0 * 2^step_number must be at most 2^48 = 281474976710656 with the philox stream";
      break;
    case refused_argument::philox_step_number_too_large:
      rule = "step_number must be at most 48 (n0 * 2^step_number at most 2^48) with the philox stream";
      break;
    case refused_argument::philox_seed:
      rule = "seed must be a whole number from 0 to 18446744073709551615 with the philox stream";
      break;
    case refused_argument::threads:
      rule = "threads must be a whole number from 1 to 1024";
      break;
    case refused_argument::subtractive_threads:
      rule = "threads must be 1 or 2 with the subtractive stream (its draws are one chain; use the philox stream "
             "for more)";
      break;
  }
  std::string message(rule);
  message += ", got ";
  message += shown;
  return message;
}

std::optional<std::string> environment_refusal() {
  const auto problem = exact_math::math_environment_problem();
  if (!problem) return std::nullopt;
  return std::string(problem->variable) + " must be " + problem->allowed + ", got " + quoted(problem->value);
}

std::string value_count_shown(std::string_view n0, std::string_view step_number) {
  std::string shown(n0);
  shown += " * 2^";
  shown += step_number;
  return shown;
}

}  // namespace cascade
