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
// Each law's file (laws/NAME.cpp) makes W from them, with exp and log the
// portable ones (exact_math/portable_math.h), every operation a plain IEEE
// double one in the order it shows. A child is W * parent (one rounded
// product), the parent 1 in generation 0. The final modulation's deviates
// are the polar pairs of every law.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cascade/laws.h"

namespace cascade {

/// A law's constants for one step of spread sigma: made once a series.
class factor_step {
 public:
  factor_step(const multiplier_law& law, double sigma);

  const multiplier_law& law() const { return law_; }

  /// Whether the factors are the polar pairs' (the lognormal law): grow is then not used.
  bool draws_polar_pairs() const { return law_.descriptor->draws_polar_pairs; }

  /// The attempt word of every law draw: one the polar pairs never reach.
  static constexpr std::uint32_t attempt_word = 0xFFFFFFFFu;

  /// children[2k] = W(u1[k]) * parents[k] and children[2k + 1] = W(u2[k]) *
  /// parents[k] for k < count (parents 1.0 when null), the uniforms those
  /// of deviates::philox_uniform_pairs for attempt_word.
  void grow(const double* u1, const double* u2, std::size_t count, const double* parents, double* children) const {
    law_.descriptor->grow(constants_, u1, u2, count, parents, children);
  }

 private:
  multiplier_law law_;
  law_constants constants_;
};

}  // namespace cascade
