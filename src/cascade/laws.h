// laws.h: the laws a cascade's factor may follow, and the one table of what
// each takes. Every face asks it, through the same text: `NAME[:PARAM]`
// (`--law logpoisson:0.6`, `law="logpoisson:0.6"`).
//
// Every law keeps Var(log W) = sigma^2 for each child's factor and
// E[W^2] = 1, so lambda keeps its meaning and E[x^2] stays 1:
//   lognormal       log W = sigma z - sigma^2, z standard normal (the polar pairs)
//   binomial        log W = c + sigma e, e = +1 or -1 with probability 1/2, each child its own;
//                   c = -log(cosh(2 sigma)) / 2
//   microcanonical  one e per pair of siblings: log W = c + sigma e for the first child and
//                   c - sigma e for the second, so W_first^2 + W_second^2 = 2 exactly
//   logpoisson      log W = c + K log(beta), K Poisson with mean mu = sigma^2 / log(beta)^2,
//                   c = mu (1 - beta^2) / 2; beta in (0, 1), 2/3 unless given
// How each is drawn from the philox stream, to the bit, is factor_draws.h's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cascade {

enum class law_kind { lognormal, binomial, microcanonical, logpoisson };

struct law_rules {
  law_kind kind;
  std::string_view name;
  bool has_parameter;
  double default_parameter;       ///< when the text names none
  std::string_view parameter_rule;  ///< what the parameter must be, for messages
};

inline constexpr law_rules law_table[] = {
    {law_kind::lognormal, "lognormal", false, 0.0, ""},
    {law_kind::binomial, "binomial", false, 0.0, ""},
    {law_kind::microcanonical, "microcanonical", false, 0.0, ""},
    {law_kind::logpoisson, "logpoisson", true, 2.0 / 3.0, "a decimal number beta with 0 < beta < 1"},
};

inline constexpr law_kind default_law = law_table[0].kind;

const law_rules& rules_of(law_kind kind);

/// A law and its parameter (0 for a law that takes none).
struct multiplier_law {
  law_kind kind = default_law;
  double parameter = 0.0;

  friend bool operator==(const multiplier_law&, const multiplier_law&) = default;
};

/// The law `text` names ("NAME" or "NAME:PARAM"), or nothing with the
/// reason in `refusal`, e.g. "law must be lognormal, binomial,
/// microcanonical or logpoisson[:BETA] (a decimal number beta with
/// 0 < beta < 1), got 'x'". `spelled` is how the face names the argument
/// ("--law", "law").
std::optional<multiplier_law> parse_law(std::string_view text, std::string_view spelled, std::string& refusal);

/// The law as the text that names it again: "lognormal", "logpoisson:0.6"
/// (the parameter in the fewest digits that read back to the same double).
std::string law_text(const multiplier_law& law);

}  // namespace cascade
