#include "cascade/laws.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "cascade/quoted.h"
#include "cascade/shortest_decimal.h"

namespace cascade {

namespace {

/// "lognormal, binomial, microcanonical or logpoisson[:BETA] (...)".
std::string law_names() {
  std::string names;
  for (std::size_t i = 0; i < std::size(law_table); ++i) {
    if (i > 0) names += i + 1 == std::size(law_table) ? " or " : ", ";
    names += law_table[i].name;
    if (law_table[i].has_parameter) {
      names += "[:BETA] (" + std::string(law_table[i].parameter_rule) + ")";
    }
  }
  return names;
}

/// A decimal number written out whole ([+-] digits [. digits] [e [+-] digits]), or nothing.
std::optional<double> decimal(std::string_view text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  for (const char c : text) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
    if (!allowed) return std::nullopt;
  }
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || errno == ERANGE) return std::nullopt;
  return value;
}

}  // namespace

const law_rules& rules_of(law_kind kind) {
  for (const law_rules& rules : law_table) {
    if (rules.kind == kind) return rules;
  }
  return law_table[0];
}

std::optional<multiplier_law> parse_law(std::string_view text, std::string_view spelled, std::string& refusal) {
  const std::size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  for (const law_rules& rules : law_table) {
    if (rules.name != name) continue;
    if (colon == std::string_view::npos) return multiplier_law{rules.kind, rules.default_parameter};
    if (rules.has_parameter) {
      const std::string_view given = text.substr(colon + 1);
      const auto value = decimal(given);
      if (value && *value > 0.0 && *value < 1.0) return multiplier_law{rules.kind, *value};
      refusal = std::string(spelled) + " " + std::string(name) + "'s parameter must be " +
                std::string(rules.parameter_rule) + ", got " + quoted(given);
      return std::nullopt;
    }
    break;
  }
  refusal = std::string(spelled) + " must be " + law_names() + ", got " + quoted(text);
  return std::nullopt;
}

std::string law_text(const multiplier_law& law) {
  const law_rules& rules = rules_of(law.kind);
  std::string text(rules.name);
  if (rules.has_parameter) {
    text += ':';
    text += shortest_decimal(law.parameter);
  }
  return text;
}

}  // namespace cascade
