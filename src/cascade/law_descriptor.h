// law_descriptor.h: everything one multiplier law is, in one place: its name
// and parameter, the spreads it can draw and how a refusal is told, and how
// its factors are drawn from the philox stream (its constants for a step,
// then its children from the step's uniforms). Each law defines its own in
// laws/NAME.cpp; laws.h lists them.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace cascade {

/// A law's numbers for one step of spread sigma, made once a series by its
/// `prepare` and read by its `grow`; each law gives them their meaning.
struct law_constants {
  std::vector<double> factors;  ///< the factors W the draws pick from, or the numbers W is made of
  std::vector<double> bounds;   ///< where the uniforms' factor changes, for a law drawn by inversion
};

/// How a refused spread is shown and told (run_rules.h's law_spread_message).
enum class spread_wording {
  none,           ///< the law takes every spread
  sigma,          ///< "sigma = |lambda| / sqrt(step_number) must be at most BOUND ..."
  poisson_mean,   ///< "lambda^2 / step_number must be at most BOUND log(beta)^2 ..."
};

struct law_descriptor {
  std::string_view name;
  /// What W is, in a few words for --help and the docs ("log W = c +- sigma").
  std::string_view summary;
  bool has_parameter;
  double default_parameter;         ///< when the text names none
  std::string_view parameter_rule;  ///< what the parameter must be, for messages
  bool (*draws_spread)(double parameter, double sigma);  ///< whether a step of spread sigma can be drawn
  spread_wording spread_told;
  double spread_bound;              ///< sigma wording: the largest sigma; poisson_mean: the largest mean of K
  std::string_view spread_reason;   ///< why the limit, for messages
  /// The factors are the polar pairs' deviates through the series kernels
  /// (the lognormal law): prepare and grow are then never called.
  bool draws_polar_pairs;
  /// The constants of a step of spread sigma, each operation as the law's
  /// known answers were made.
  void (*prepare)(double parameter, double sigma, law_constants& constants);
  /// children[2k] = W(u1[k]) * parents[k] and children[2k + 1] = W(u2[k]) *
  /// parents[k] for k < count (parents 1.0 when null).
  void (*grow)(const law_constants& constants, const double* u1, const double* u2, std::size_t count,
               const double* parents, double* children);
};

/// Whether a law takes every spread (the lognormal's factor needs no constant).
inline bool draws_every_spread(double, double) { return true; }

}  // namespace cascade
