#include "cascade/laws.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "cascade/quoted.h"
#include "cascade/shortest_decimal.h"

namespace cascade {

namespace {

constexpr std::size_t longest_parameter = 64;

/// A parameter's text read as a decimal number written out whole
/// ([+-] digits [. digits] [e [+-] digits]), or why it cannot be one.
struct read_parameter {
  std::optional<double> value;
  std::string_view fault;  ///< when there is no value, or the value rounded away from the text
};

read_parameter decimal(std::string_view text) {
  if (text.size() > longest_parameter) return {std::nullopt, "is too long (at most 64 characters)"};
  if (text.empty()) return {std::nullopt, ""};
  for (const char c : text) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
    if (!allowed) return {std::nullopt, ""};
  }
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return {std::nullopt, ""};
  if (errno == ERANGE) return {std::nullopt, value == 0.0 ? "rounds to 0 in the doubles" : "is beyond the doubles"};
  // Written below 1 but read as 1: too many nines for a double to tell apart.
  if (value == 1.0 && text.find_first_not_of("+0.9") == std::string_view::npos) {
    return {value, "rounds to 1 in the doubles"};
  }
  return {value, ""};
}

}  // namespace

namespace laws {
extern const law_descriptor lognormal, binomial, microcanonical, logpoisson;
}  // namespace laws

namespace {
constinit const law_descriptor* const rows[] = {
    &laws::lognormal,
    &laws::binomial,
    &laws::microcanonical,
    &laws::logpoisson,
};
}  // namespace

constinit const std::span<const law_descriptor* const> law_table{rows};

const law_descriptor& default_law() { return *law_table[0]; }

std::string law_names() {
  std::string names;
  for (std::size_t i = 0; i < std::size(law_table); ++i) {
    if (i > 0) names += i + 1 == std::size(law_table) ? " or " : ", ";
    names += law_table[i]->name;
    if (law_table[i]->has_parameter) {
      names += "[:BETA] (" + std::string(law_table[i]->parameter_rule) + ")";
    }
  }
  return names;
}

std::optional<multiplier_law> parse_law(std::string_view text, std::string_view spelled, std::string& refusal) {
  const std::size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  for (const law_descriptor* const law : law_table) {
    const law_descriptor& rules = *law;
    if (rules.name != name) continue;
    if (colon == std::string_view::npos) return multiplier_law{law, rules.default_parameter};
    if (rules.has_parameter) {
      const std::string_view given = text.substr(colon + 1);
      const read_parameter read = decimal(given);
      if (read.value && *read.value > 0.0 && *read.value < 1.0) return multiplier_law{law, *read.value};
      refusal = std::string(spelled) + " " + std::string(name) + "'s parameter must be " +
                std::string(rules.parameter_rule) + ", got " +
                (given.size() > longest_parameter ? quoted(given.substr(0, 24)) + "... (" +
                                                        std::to_string(given.size()) + " characters)"
                                                  : quoted(given));
      if (!read.fault.empty()) refusal += ", which " + std::string(read.fault);
      return std::nullopt;
    }
    break;
  }
  refusal = std::string(spelled) + " must be " + law_names() + ", got " + quoted(text);
  return std::nullopt;
}

std::string law_text(const multiplier_law& law) {
  const law_descriptor& rules = *law.descriptor;
  std::string text(rules.name);
  if (rules.has_parameter) {
    text += ':';
    text += shortest_decimal(law.parameter);
  }
  return text;
}

}  // namespace cascade
