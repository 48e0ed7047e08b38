// two_valued.h: what the binomial and microcanonical laws share: log W =
// c + sigma e with e = +1 or -1, c = -log(cosh(2 sigma)) / 2, so their
// constants and spread limit are one. They differ only in how e is drawn.
#pragma once

#include <cstddef>
#include <string_view>

#include "cascade/law_descriptor.h"

namespace cascade::laws {

/// c = -0.5 * log(0.5 * (exp(2 * sigma) + exp(-2 * sigma))), as the draws
/// compute it; -inf once exp(2 sigma) overflows.
double two_valued_constant(double sigma);

/// The largest sigma whose exp(2 sigma) is finite: the two-valued laws' last
/// spread (half the largest argument of a finite exp).
inline constexpr double two_valued_largest_sigma = 354.891356446691986548;

/// c is finite: sigma at most two_valued_largest_sigma.
bool draws_two_valued_spread(double parameter, double sigma);

/// factors = {exp(c + sigma), exp(c - sigma)}: the factor of e = +1 (u < 0.5), then of e = -1.
void prepare_two_values(double parameter, double sigma, law_constants& constants);

/// The index of u's factor: u < 0.5 exactly when the 53-bit integer behind
/// u has its top bit clear, so the factor is chosen with no branch to mispredict.
inline std::size_t upper_half(double u) { return static_cast<std::size_t>(u >= 0.5); }

/// A two-valued law named `name` whose e is drawn by `grow`: the rest is theirs alike.
constexpr law_descriptor two_valued_law(std::string_view name, std::string_view summary,
                                        decltype(law_descriptor::grow) grow) {
  return {
      .name = name,
      .summary = summary,
      .has_parameter = false,
      .default_parameter = 0.0,
      .parameter_rule = "",
      .draws_spread = draws_two_valued_spread,
      .spread_told = spread_wording::sigma,
      .spread_bound = two_valued_largest_sigma,
      .spread_reason = "beyond it cosh(2 sigma) leaves the doubles",
      .draws_polar_pairs = false,
      .prepare = prepare_two_values,
      .grow = grow,
  };
}

}  // namespace cascade::laws
