#include "program/arguments.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "cascade/quoted.h"
#include "cascade/shape.h"

#ifndef CASCADE_HAVE_HDF5
#define CASCADE_HAVE_HDF5 0
#endif

namespace cascade {
namespace {

constexpr bool results_files_built = CASCADE_HAVE_HDF5 != 0;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t skip_digits(std::string_view text, std::size_t at) {
  while (at < text.size() && is_digit(text[at])) ++at;
  return at;
}

/// [+-] (digits [. [digits]] | . digits) [(e|E) [+-] digits]
bool is_decimal_number(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const std::size_t integer_end = skip_digits(text, at);
  bool has_digits = integer_end > at;
  at = integer_end;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction_end = skip_digits(text, at + 1);
    has_digits = has_digits || fraction_end > at + 1;
    at = fraction_end;
  }
  if (!has_digits) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent_end = skip_digits(text, at);
    if (exponent_end == at) return false;
    at = exponent_end;
  }
  return at == text.size();
}

/// A whole number read from text: its value, or why there is none.
struct whole_number {
  enum { ok, malformed, too_large } state;
  std::int32_t value;
};

/// [+] digits, within [low, max_n0]; a value below `low` is malformed.
whole_number parse_whole(std::string_view text, std::int64_t low) {
  std::size_t at = (!text.empty() && text[0] == '+') ? 1 : 0;
  if (at == text.size() || skip_digits(text, at) != text.size()) return {whole_number::malformed, 0};
  std::int64_t value = 0;
  for (; at < text.size(); ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > max_n0) return {whole_number::too_large, 0};
  }
  if (value < low) return {whole_number::malformed, 0};
  return {whole_number::ok, static_cast<std::int32_t>(value)};
}

/// [+] digits within [0, 2^64 - 1], or nothing.
std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
  std::size_t at = (!text.empty() && text[0] == '+') ? 1 : 0;
  if (at == text.size() || skip_digits(text, at) != text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; at < text.size(); ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

/// An option's value: the next word for "--name VALUE", the rest for
/// "--name=VALUE"; nothing when "--name" ends the words.
std::optional<std::string_view> option_value(std::span<const char* const> words, std::size_t& i,
                                             std::string_view name) {
  const std::string_view word = words[i];
  if (word.size() > name.size()) return word.substr(name.size() + 1);
  if (i + 1 == words.size()) return std::nullopt;
  return std::string_view(words[++i]);
}

/// Whether the option takes a value (and so may be given once).
bool takes_value(std::string_view name) {
  for (const std::string_view option :
       {"--seed", "--generator", "--law", "--model", "--range", "--threads", "--weights", "--output", "--verify"}) {
    if (name == option) return true;
  }
  return false;
}

bool is_option(std::string_view word, std::string_view name) {
  return word == name || (word.starts_with(name) && word.size() > name.size() && word[name.size()] == '=');
}

parsed_command refuse(std::string message) {
  parsed_command refused;
  refused.what = parsed_command::error;
  refused.message = "cascade: " + std::move(message);
  refused.status = exit_usage;
  return refused;
}

/// The format whose option `word` is, or null.
const format_row* format_chosen_by(std::string_view word) {
  for (const format_row& row : output_formats()) {
    if (!row.option.empty() && word == row.option) return &row;
  }
  return nullptr;
}

/// Whether --verbose stands among the options (before a lone "--").
bool asks_for_verbose(std::span<const char* const> words) {
  for (const std::string_view word : words) {
    if (word == "--") return false;
    if (word == "--verbose") return true;
  }
  return false;
}

/// What the results-file options refuse together, or nothing: --verify
/// alone (with --threads), --with-weights and --force only with --output,
/// and no --weights file beside a results file that keeps w itself.
std::optional<std::string> results_file_refusal(const run_parameters& parameters, std::size_t positional) {
  if (!results_files_built && (parameters.output_path || parameters.verify_path)) {
    return std::string(parameters.output_path ? "--output" : "--verify") +
           " needs HDF5, and this build has none (see cascade --version --verbose)";
  }
  if (parameters.verify_path) {
    if (parameters.output_path || parameters.with_weights || parameters.force || parameters.weights_path ||
        positional > 0) {
      return "--verify FILE takes no run: its run is the one the file describes";
    }
    return std::nullopt;
  }
  if (!parameters.output_path && (parameters.with_weights || parameters.force)) {
    return std::string(parameters.with_weights ? "--with-weights" : "--force") + " goes with --output FILE";
  }
  if (parameters.output_path && parameters.weights_path) {
    return "--weights FILE and --output FILE: give --with-weights to keep the weights in the results file";
  }
  return std::nullopt;
}

}  // namespace

parsed_command parse_arguments(std::span<const char* const> words) {
  run_parameters parameters;
  std::vector<std::string_view> positional;
  bool options_ended = false;
  // Read once every option is known: their rules depend on the stream.
  std::optional<std::string_view> seed_text, range_text, threads_text;
  std::string_view law_text_given;
  // An option given twice, or two formats, would leave a script's meaning to
  // which came last: both are refused.
  std::vector<std::string_view> options_given;
  std::optional<std::string_view> format_given;

  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (!options_ended && word == "-h") return {parsed_command::help, {}, {}};  // no number looks like it
    if (options_ended || !word.starts_with("--")) {
      positional.push_back(word);
      continue;
    }
    if (const std::string_view name = word.substr(0, word.find('='));
        name != "--" && takes_value(name)) {
      if (std::find(options_given.begin(), options_given.end(), name) != options_given.end()) {
        return refuse(std::string(name) + " may be given once, got it twice (see cascade --help)");
      }
      options_given.push_back(name);
    }
    if (const format_row* row = format_chosen_by(word)) {
      if (format_given && *format_given != word) {
        return refuse(std::string(*format_given) + " and " + std::string(word) + " choose two formats; give one");
      }
      format_given = word;
      parameters.format = row->id;
      continue;
    }
    if (word == "--") {
      options_ended = true;
    } else if (word == "--help") {
      return {parsed_command::help, {}, {}};
    } else if (word == "--version") {
      parsed_command version{parsed_command::version, {}, {}};
      version.parameters.verbose = asks_for_verbose(words);
      return version;
    } else if (word == "--no-progress") {
      parameters.progress = false;
    } else if (word == "--verbose") {
      parameters.verbose = true;
    } else if (is_option(word, "--seed")) {
      // A missing value can only be the last word: every option is known then.
      seed_text = option_value(words, i, "--seed");
      if (!seed_text) return refuse("--seed needs a value, " + seed_rule(parameters.generator));
    } else if (is_option(word, "--generator")) {
      const auto value = option_value(words, i, "--generator");
      if (!value) return refuse("--generator needs a value, " + stream_names());
      const auto named = stream_named(*value);
      if (!named) {
        return refuse(refusal_message(refused_argument::generator, default_stream, quoted(*value),
                                      spelling::command_line));
      }
      parameters.generator = *named;
    } else if (is_option(word, "--law")) {
      const auto value = option_value(words, i, "--law");
      if (!value) return refuse("--law needs a value, NAME[:PARAM]");
      std::string refusal;
      const auto law = parse_law(*value, "--law", refusal);
      if (!law) return refuse(refusal);
      parameters.law = *law;
      law_text_given = *value;
    } else if (is_option(word, "--model")) {
      const auto value = option_value(words, i, "--model");
      if (!value) return refuse("--model needs a value, " + model_names());
      std::string refusal;
      const model_descriptor* model = parse_model(*value, "--model", refusal);
      if (model == nullptr) return refuse(refusal);
      parameters.model = model;
    } else if (is_option(word, "--range")) {
      const auto value = option_value(words, i, "--range");
      if (!value) return refuse("--range needs a value, START:STOP");
      range_text = *value;
    } else if (is_option(word, "--threads")) {
      threads_text = option_value(words, i, "--threads");
      if (!threads_text) return refuse("--threads needs a value, " + threads_rule(parameters.generator));
    } else if (is_option(word, "--output") || is_option(word, "--verify")) {
      const std::string_view name = is_option(word, "--output") ? "--output" : "--verify";
      const auto path = option_value(words, i, name);
      if (!path || path->empty()) return refuse(std::string(name) + " needs a value, the results file");
      (name == "--output" ? parameters.output_path : parameters.verify_path) = std::string(*path);
    } else if (word == "--with-weights") {
      parameters.with_weights = true;
    } else if (word == "--force") {
      parameters.force = true;
    } else if (is_option(word, "--weights")) {
      const auto path = option_value(words, i, "--weights");
      if (!path || path->empty()) return refuse("--weights needs a value, the file for the weights");
      parameters.weights_path = std::string(*path);
    } else {
      return refuse("unknown option " + quoted(word) + " (see cascade --help)");
    }
  }

  if (const auto refused = results_file_refusal(parameters, positional.size())) return refuse(*refused);
  if (parameters.verify_path) {
    if (threads_text) {
      const auto threads = parse_unsigned(*threads_text);
      if (!threads || *threads > static_cast<std::uint64_t>(INT64_MAX) ||
          !threads_allowed(static_cast<std::int64_t>(*threads), stream::philox)) {
        return refuse(refusal_message(refused_argument::threads, stream::philox, quoted(*threads_text),
                                      spelling::command_line));
      }
      parameters.threads = static_cast<std::int64_t>(*threads);
    }
    return {parsed_command::verify, parameters, {}};
  }
  if (positional.size() < 3) return {parsed_command::usage, {}, {}, exit_usage};

  const std::string lambda_text(positional[0]);
  if (!is_decimal_number(lambda_text)) {
    return refuse(refusal_message(refused_argument::lambda, parameters.generator, quoted(lambda_text)));
  }
  // Converted as atof converts. Underflow to a tiny or zero lambda is harmless;
  // overflow gives infinity, and a square beyond the doubles, and both are refused.
  parameters.lambda = std::strtod(lambda_text.c_str(), nullptr);
  if (const auto refused = check_lambda(parameters.lambda)) {
    return refuse(refusal_message(*refused, parameters.generator, quoted(lambda_text)));
  }

  const stream from = parameters.generator;
  // A count beyond 32 bits is told its limit: N itself may not pass it.
  const whole_number step_number = parse_whole(positional[1], 1);
  if (step_number.state == whole_number::too_large) {
    return refuse(refusal_message(refused_argument::step_number_too_large, from, quoted(positional[1])));
  }
  if (step_number.state == whole_number::malformed) {
    return refuse(refusal_message(refused_argument::step_number, from, quoted(positional[1])));
  }
  const whole_number n0 = parse_whole(positional[2], 1);
  if (n0.state == whole_number::too_large) {
    return refuse(refusal_message(refused_argument::n0_too_large, from, quoted(positional[2])));
  }
  if (n0.state == whole_number::malformed) {
    return refuse(refusal_message(refused_argument::n0, from, quoted(positional[2])));
  }

  if (!within_value_limit(n0.value, step_number.value, from)) {
    return refuse(refusal_message(refused_argument::value_count, from,
                                  value_count_shown(std::to_string(n0.value), std::to_string(step_number.value))));
  }
  parameters.step_number = step_number.value;
  parameters.n0 = n0.value;
  if (const auto refused = check_law(parameters.law, step_sigma(parameters.lambda, parameters.step_number), from)) {
    if (*refused == refused_argument::law_spread) {
      return refuse(law_spread_message(parameters.law, parameters.lambda, parameters.step_number));
    }
    return refuse(refusal_message(*refused, from, std::string(law_text_given), spelling::command_line));
  }
  if (!model_takes(*parameters.model, parameters.law, from)) {
    return refuse(model_unmade_message(*parameters.model, parameters.law, from, spelling::command_line));
  }

  if (seed_text) {
    const auto seed = parse_unsigned(*seed_text);
    if (!seed || !seed_allowed(*seed, from)) {
      return refuse(refusal_message(refused_argument::seed, from, quoted(*seed_text), spelling::command_line));
    }
    parameters.seed = *seed;
  }
  if (threads_text) {
    const auto threads = parse_unsigned(*threads_text);
    if (!threads || *threads > static_cast<std::uint64_t>(INT64_MAX) ||
        !threads_allowed(static_cast<std::int64_t>(*threads), from)) {
      return refuse(refusal_message(refused_argument::threads, from, quoted(*threads_text), spelling::command_line));
    }
    parameters.threads = static_cast<std::int64_t>(*threads);
  }
  if (range_text) {
    const std::size_t colon = range_text->find(':');
    const auto start = colon == std::string_view::npos ? std::nullopt : parse_unsigned(range_text->substr(0, colon));
    const auto stop = colon == std::string_view::npos ? std::nullopt : parse_unsigned(range_text->substr(colon + 1));
    const std::int64_t count = parameters.value_count();
    // Beyond 2^63 a bound is past any N: read as -1, it breaks the rule all the same.
    const auto bound = [](std::optional<std::uint64_t> b) {
      return b && *b <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(*b) : std::int64_t{-1};
    };
    if (const auto refused = check_range(bound(start), bound(stop), count, from)) {
      return refuse(refusal_message(*refused, from, quoted(*range_text), spelling::command_line, count));
    }
    parameters.range = {bound(start), bound(stop)};
  }
  return {parsed_command::run, parameters, {}};
}

}  // namespace cascade
