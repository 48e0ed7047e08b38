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

/// The spreads a law can draw: its constants for a step of spread sigma stay
/// within the doubles. Each is decided by the very operations that make the
/// constants (factor_draws.cpp), so no spread it accepts gives a factor that
/// is not a number or is 0 for every draw.
namespace spread_limits {
/// Every finite lambda: the lognormal factor needs no constant.
bool any(double parameter, double sigma);
/// c = -log(cosh(2 sigma)) / 2 is finite: sigma at most two_valued_largest_sigma.
bool two_valued(double parameter, double sigma);
/// The mean of K, sigma^2 / log(beta)^2, at most max_poisson_mean.
bool poisson(double parameter, double sigma);

/// The largest sigma whose exp(2 sigma) is finite: the binomial and
/// microcanonical laws' last spread (half the largest argument of a finite exp).
inline constexpr double two_valued_largest_sigma = 354.891356446691986548;
/// The largest mean of K the logpoisson law takes: beyond it exp(-mu) leaves
/// the normal doubles, and the draws would lose their meaning.
inline constexpr double max_poisson_mean = 700.0;
}  // namespace spread_limits

/// How a refused spread is shown and told.
enum class spread_wording {
  none,           ///< the law takes every spread
  sigma,          ///< "sigma = |lambda| / sqrt(step_number) must be at most ..."
  poisson_mean,   ///< "lambda^2 / step_number must be at most 700 log(beta)^2 ..."
};

struct law_rules {
  law_kind kind;
  std::string_view name;
  bool has_parameter;
  double default_parameter;       ///< when the text names none
  std::string_view parameter_rule;  ///< what the parameter must be, for messages
  bool (*draws_spread)(double parameter, double sigma);  ///< whether a step of spread sigma can be drawn
  spread_wording spread_told;
  double largest_sigma;            ///< for spread_wording::sigma
  std::string_view spread_reason;  ///< why the limit, for messages
};

inline constexpr law_rules law_table[] = {
    {law_kind::lognormal, "lognormal", false, 0.0, "", spread_limits::any, spread_wording::none, 0.0, ""},
    {law_kind::binomial, "binomial", false, 0.0, "", spread_limits::two_valued, spread_wording::sigma,
     spread_limits::two_valued_largest_sigma,      "beyond it cosh(2 sigma) leaves the doubles"},
    {law_kind::microcanonical, "microcanonical", false, 0.0, "", spread_limits::two_valued, spread_wording::sigma,
     spread_limits::two_valued_largest_sigma,      "beyond it cosh(2 sigma) leaves the doubles"},
    {law_kind::logpoisson, "logpoisson", true, 2.0 / 3.0, "a decimal number beta with 0 < beta < 1",
     spread_limits::poisson, spread_wording::poisson_mean, 0.0, "a mean of K beyond 700 would leave the normal doubles"},
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
