#include "program/command_echo.h"

#include "cascade/shortest_decimal.h"

namespace cascade {
namespace {

/// 'text' for a POSIX shell; a quote inside becomes '\''. Control characters
/// become $'\xHH' pieces so that the line stays one line.
std::string shell_quoted(const std::string& text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string quoted = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'') {
      quoted += "'\\''";
    } else if (byte < 0x20 || byte == 0x7f) {
      quoted += {'\'', '$', '\'', '\\', 'x', hex[byte >> 4], hex[byte & 0xf], '\'', '\''};
    } else {
      quoted.push_back(c);
    }
  }
  return quoted + "'";
}

}  // namespace

std::string command_echo(const run_parameters& parameters, std::uint64_t seed) {
  std::string line = "cascade --seed " + std::to_string(seed);
  if (parameters.generator != default_stream) line += " --generator " + std::string(stream_name(parameters.generator));
  if (parameters.law != multiplier_law{}) line += " --law " + law_text(parameters.law);
  if (parameters.model != &default_model()) line += " --model " + std::string(parameters.model->name);
  if (parameters.range) {
    line += " --range " + std::to_string(parameters.range->first) + ":" + std::to_string(parameters.range->second);
  }
  if (const std::string_view option = format_of(parameters.format).option; !option.empty()) {
    line += ' ';
    line += option;
  }
  if (parameters.weights_path) line += " --weights " + shell_quoted(*parameters.weights_path);
  line += ' ';
  line += shortest_decimal(parameters.lambda);
  for (const std::int64_t number : {std::int64_t{parameters.step_number}, std::int64_t{parameters.n0}}) {
    line += ' ';
    line += std::to_string(number);
  }
  line += " # N = ";
  line += std::to_string(parameters.range ? parameters.range->second - parameters.range->first
                                          : parameters.value_count());
  return line;
}

}  // namespace cascade
