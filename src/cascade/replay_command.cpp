#include "cascade/replay_command.h"

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

/// 'text' as a Python literal (the names and paths a run holds).
std::string python_quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted.push_back(c);
  }
  return quoted + "'";
}

}  // namespace

std::string replay_call(const run_words& run) {
  std::string call = "cascade.save(" + python_quoted(run.output_path.value_or("")) + ", " +
                     shortest_decimal(run.lambda) + ", " + std::to_string(run.step_number) + ", " +
                     std::to_string(run.n0) + ", seeds=[";
  for (std::size_t k = 0; k < run.seeds.size(); ++k) call += (k == 0 ? "" : ", ") + std::to_string(run.seeds[k]);
  call += "]";
  if (run.generator != default_stream) call += ", generator=" + python_quoted(std::string(stream_name(run.generator)));
  if (run.law != multiplier_law{}) call += ", law=" + python_quoted(law_text(run.law));
  if (run.model != &default_model()) call += ", model=" + python_quoted(std::string(run.model->name));
  if (run.with_weights) call += ", weights=True";
  if (run.format == value_format::float32) call += ", dtype=numpy.float32";
  return call + ")";
}

std::string replay_command(const run_words& run) {
  std::string line = "cascade --seed " + std::to_string(run.seed);
  if (run.generator != default_stream) line += " --generator " + std::string(stream_name(run.generator));
  if (run.law != multiplier_law{}) line += " --law " + law_text(run.law);
  if (run.model != &default_model()) line += " --model " + std::string(run.model->name);
  if (run.range) line += " --range " + std::to_string(run.range->first) + ":" + std::to_string(run.range->second);
  // A results file holds float64 unless told otherwise: --binary says nothing more there.
  const bool said_by_output = run.output_path && run.format == value_format::float64;
  if (const std::string_view option = format_of(run.format).option; !option.empty() && !said_by_output) {
    line += ' ';
    line += option;
  }
  if (run.weights_path) line += " --weights " + shell_quoted(*run.weights_path);
  if (run.output_path) line += " --output " + shell_quoted(*run.output_path);
  if (run.with_weights) line += " --with-weights";
  line += ' ';
  line += shortest_decimal(run.lambda);
  for (const std::int64_t number : {std::int64_t{run.step_number}, std::int64_t{run.n0}}) {
    line += ' ';
    line += std::to_string(number);
  }
  line += " # N = " + std::to_string(run.count());
  return line;
}

}  // namespace cascade
