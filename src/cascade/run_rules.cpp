#include "cascade/run_rules.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "cascade/quoted.h"
#include "cascade/shape.h"
#include "cascade/shortest_decimal.h"
#include "exact_math/vector_math.h"

namespace cascade {

namespace {

/// " with the philox stream" for any but the default stream, whose rules
/// are the ones a reader expects.
std::string stream_suffix(stream from) {
  if (from == default_stream) return "";
  return " with the " + std::string(stream_name(from)) + " stream";
}

/// "2147483647", or "2^48 = 281474976710656" for a power of two.
std::string count_text(std::int64_t count) {
  const auto bits = static_cast<std::uint64_t>(count);
  if ((bits & (bits - 1)) != 0) return std::to_string(count);
  return "2^" + std::to_string(std::countr_zero(bits)) + " = " + std::to_string(count);
}

/// "1 or 2", or "a whole number from 1 to 1024".
std::string whole_range(std::uint64_t low, std::uint64_t high) {
  if (high == low + 1) return std::to_string(low) + " or " + std::to_string(high);
  return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

/// The name of the first stream that has `ability` (for "needs the philox stream").
std::string first_stream_with(bool stream_rules::*ability) {
  for (const stream_rules& rules : stream_table) {
    if (rules.*ability) return std::string(rules.name);
  }
  return "another";
}

}  // namespace

std::string stream_names(std::string_view quote) {
  std::string names;
  for (std::size_t i = 0; i < std::size(stream_table); ++i) {
    if (i > 0) names += i + 1 == std::size(stream_table) ? " or " : ", ";
    names += std::string(quote) + std::string(stream_table[i].name) + std::string(quote);
  }
  return names;
}

bool within_value_limit(std::int64_t n0, std::int64_t step_number, stream from) {
  const stream_rules& rules = rules_of(from);
  // n0 * 2^step_number <= limit, as a division: a shift of n0 would overflow
  // (n0 up to 2^31 - 1, step_number up to 48).
  return step_number <= rules.max_step_number() && n0 <= max_n0 && n0 <= (rules.max_value_count >> step_number);
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
  if (!within_value_limit(n0, step_number, from)) return refused_argument::value_count;
  return std::nullopt;
}

bool threads_allowed(std::int64_t threads, stream from) {
  return threads >= 1 && threads <= rules_of(from).max_threads;
}

bool seed_allowed(std::uint64_t seed, stream from) { return seed <= rules_of(from).max_seed; }

std::optional<refused_argument> check_range(std::int64_t start, std::int64_t stop, std::int64_t count, stream from) {
  if (!rules_of(from).makes_pieces) return refused_argument::range_unmade;
  if (start < 0 || start >= stop || stop > count) return refused_argument::range;
  return std::nullopt;
}

std::optional<refused_argument> check_law(const multiplier_law& law, double sigma, stream from) {
  if (law.descriptor != &default_law() && !rules_of(from).takes_every_law) return refused_argument::law_unmade;
  if (!law.descriptor->draws_spread(law.parameter, sigma)) return refused_argument::law_spread;
  return std::nullopt;
}

bool model_takes(const model_descriptor& model, const multiplier_law& law, stream from) {
  return model.takes_stream(from) && model.takes_law(*law.descriptor);
}

std::string model_unmade_message(const model_descriptor& model, const multiplier_law& law, stream from,
                                 spelling spelled) {
  const bool command_line = spelled == spelling::command_line;
  std::string message = (command_line ? "--model " : "model ") + std::string(model.name) + " does not take ";
  if (!model.takes_stream(from)) {
    message += command_line ? "--generator " + std::string(rules_of(from).name)
                            : "the " + std::string(rules_of(from).name) + " stream";
  } else {
    message += (command_line ? "--law " : "the law ") + law_text(law);
  }
  return message + ": " + std::string(model.unmade_reason);
}

std::string seed_rule(stream from) { return whole_range(0, rules_of(from).max_seed); }

std::string threads_rule(stream from) {
  return whole_range(1, static_cast<std::uint64_t>(rules_of(from).max_threads));
}

std::string refusal_message(refused_argument argument, stream from, std::string_view shown, spelling spelled,
                            std::int64_t count) {
  const stream_rules& rules = rules_of(from);
  const bool command_line = spelled == spelling::command_line;
  std::string rule;
  switch (argument) {
    case refused_argument::generator:
      rule = std::string(command_line ? "--" : "") + "generator must be " + stream_names();
      break;
    case refused_argument::lambda:
      rule = "lambda must be a finite decimal number";
      break;
    case refused_argument::lambda_too_large:
      rule = "lambda must be at most 1.3407807929942596e+154 in size, so that its square is finite";
      break;
    case refused_argument::step_number:
      rule = "step_number must be a whole number of at least 1";
      break;
    case refused_argument::step_number_too_large:
      rule = "step_number must be at most " + std::to_string(rules.max_step_number()) +
             " (n0 * 2^step_number at most " + count_text(rules.max_value_count) + ")" + stream_suffix(from);
      break;
    case refused_argument::n0:
      rule = "n0 must be a whole number of at least 1";
      break;
    case refused_argument::n0_too_large:
      rule = "n0 must be at most " + std::to_string(max_n0);
      break;
    case refused_argument::value_count:
      rule = "n0 * 2^step_number must be at most " + count_text(rules.max_value_count) + stream_suffix(from);
      break;
    case refused_argument::seed:
      rule = std::string(command_line ? "--" : "") + "seed must be " + seed_rule(from) + stream_suffix(from);
      break;
    case refused_argument::threads:
      rule = std::string(command_line ? "--" : "") + "threads must be " + threads_rule(from);
      if (!rules.threads_reason.empty()) {
        rule += " with the " + std::string(rules.name) + " stream (" + std::string(rules.threads_reason) + ")";
      }
      break;
    case refused_argument::range:
      rule = command_line ? "--range must be START:STOP with 0 <= START < STOP <= N = "
                          : "start and stop must satisfy 0 <= start < stop <= N = ";
      rule += std::to_string(count);
      break;
    case refused_argument::law_unmade: {
      const std::string other = first_stream_with(&stream_rules::takes_every_law);
      return (command_line ? "--law " + std::string(shown) + " needs --generator " + other
                           : "law " + std::string(shown) + " needs the " + other + " stream") +
             ": " + std::string(rules.laws_reason);
    }
    case refused_argument::law_spread:
      // Told by law_spread_message, which knows the law.
      rule = "the law cannot draw steps of this spread";
      break;
    case refused_argument::range_unmade: {
      const std::string other = first_stream_with(&stream_rules::makes_pieces);
      // The whole message: nothing was given that needs showing.
      return (command_line ? "--range needs --generator " + other : "start and stop need the " + other + " stream") +
             ": " + std::string(rules.pieces_reason);
    }
  }
  rule += ", got ";
  rule += shown;
  return rule;
}

std::string law_spread_message(const multiplier_law& law, double lambda, std::int64_t step_number) {
  const law_descriptor& rules = *law.descriptor;
  const double sigma2 = lambda * lambda / static_cast<double>(step_number);
  std::string rule;
  switch (rules.spread_told) {
    case spread_wording::none:
    case spread_wording::sigma:
      rule = "sigma = |lambda| / sqrt(step_number) must be at most " +
             shortest_decimal(rules.spread_bound) + " with the " + std::string(rules.name) +
             " law (" + std::string(rules.spread_reason) + "), got " +
             shortest_decimal(step_sigma(lambda, static_cast<std::int32_t>(step_number)));
      break;
    case spread_wording::poisson_mean:
      rule = "lambda^2 / step_number must be at most " + shortest_decimal(rules.spread_bound) +
             " log(beta)^2 with the " + std::string(rules.name) + " law (" + std::string(rules.spread_reason) +
             "), got " + shortest_decimal(sigma2);
      break;
  }
  return rule;
}

std::optional<std::string> environment_refusal() {
  const auto problem = exact_math::math_environment_problem();
  if (!problem) return std::nullopt;
  return std::string(problem->variable) + " must be " + problem->allowed + ", got " + quoted(problem->value);
}

std::optional<std::int64_t> threads_from_environment(std::optional<std::string>& refusal) {
  const char* const set = std::getenv("CASCADE_THREADS");
  if (set == nullptr || *set == '\0') return std::nullopt;
  const std::string_view text(set);
  std::size_t at = text[0] == '+' ? 1 : 0;
  std::int64_t threads = at < text.size() ? 0 : -1;
  for (; at < text.size() && threads >= 0; ++at) {
    if (text[at] < '0' || text[at] > '9') threads = -1;
    else if ((threads = threads * 10 + (text[at] - '0')) > max_threads_of_any_stream()) threads = -1;
  }
  if (threads < 1) {
    refusal = "CASCADE_THREADS must be " + whole_range(1, static_cast<std::uint64_t>(max_threads_of_any_stream())) +
              ", got " + quoted(text);
    return std::nullopt;
  }
  return threads;
}

std::string value_count_shown(std::string_view n0, std::string_view step_number) {
  std::string shown(n0);
  shown += " * 2^";
  shown += step_number;
  return shown;
}

}  // namespace cascade
