// factor_draws.h: the factors of the laws beyond the lognormal, drawn from
// the philox stream, to the bit.
//
// Pair p of generation g (the children 2p and 2p + 1 of cell p) takes one
// output (r0, r1, r2, r3) of Philox4x32-10 under the seed's key
// (deviates/philox.h), for the counter
//   c0 = p mod 2^32, c1 = floor(p / 2^32), c2 = 2^32 - 1, c3 = g
// (an attempt number the polar pairs never reach, so these words are never
// a polar pair's), and makes two uniforms in [0, 1):
//   u1 = ((r1 * 2^32 + r0) >> 11) * 2^-53  (child 2p),
//   u2 = ((r3 * 2^32 + r2) >> 11) * 2^-53  (child 2p + 1).
// With exp and log the portable ones (exact_math/portable_math.h), s2 =
// sigma * sigma, every operation a plain IEEE double one in the order shown:
//   binomial        e_i = +1 when u_i < 0.5, else -1;
//   microcanonical  e = +1 when u1 < 0.5, else -1: child 2p takes +e, child 2p + 1 takes -e;
//     for both: c = -0.5 * log(0.5 * (exp(2 * sigma) + exp(-2 * sigma))),
//     W = exp(c + sigma) for e = +1 and exp(c - sigma) for e = -1;
//   logpoisson      lb = log(beta), mu = s2 / (lb * lb), c = 0.5 * mu * (1.0 - beta * beta);
//     p_0 = exp(-mu), F_0 = p_0, and while F grows, p_k = p_(k-1) * mu / k,
//     F_k = F_(k-1) + p_k; K_i is the least k with u_i < F_k, or the last k at
//     which F grew when there is none; W = exp(c + K * lb).
// A child is W * parent (one rounded product), the parent 1 in generation 0.
// The final modulation's deviates are the polar pairs of every law.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cascade/laws.h"

namespace cascade {

/// A law's constants for one step of spread sigma: made once a series.
class factor_step {
 public:
  factor_step(const multiplier_law& law, double sigma);

  const multiplier_law& law() const { return law_; }

  /// The attempt word of every law draw: one the polar pairs never reach.
  static constexpr std::uint32_t attempt_word = 0xFFFFFFFFu;

  /// children[2k] = W(u1[k]) * parents[k] and children[2k + 1] = W(u2[k]) *
  /// parents[k] for k < count (parents 1.0 when null), the uniforms those
  /// of deviates::philox_uniform_pairs for attempt_word.
  void grow(const double* u1, const double* u2, std::size_t count, const double* parents, double* children) const;

 private:
  /// K for a uniform u (logpoisson).
  std::size_t poisson_count(double u) const;

  multiplier_law law_;
  double two_factors_[2] = {1.0, 1.0};    ///< binomial, microcanonical: exp(c + sigma) (u < 0.5), exp(c - sigma)
  std::vector<double> cumulative_;         ///< logpoisson: F_0 .. F_last
  std::vector<double> factors_;            ///< logpoisson: W for K = 0 .. last
};

/// The logpoisson law's mean of K for a step of spread sigma.
double poisson_mean(double beta, double sigma);

/// The binomial and microcanonical laws' c = -log(cosh(2 sigma)) / 2, as the
/// draws compute it; -inf once exp(2 sigma) overflows.
double two_valued_constant(double sigma);

}  // namespace cascade
