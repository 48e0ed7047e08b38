// polar_pairs.h: the polar method's accepted pairs, drawn in bulk.
//
// A Gaussian consumer that always takes deviates two at a time sees, for
// each accepted pair, first w2 * fac and then w1 * fac (see polar_gaussian).
// Splitting the method here lets the sequential part (uniform draws and the
// accept test, which decide which pairs exist) run ahead on one thread while
// the logarithms, square roots and everything after them run anywhere, in
// any order, without changing a bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "deviates/polar_gaussian.h"
#include "deviates/subtractive_engine.h"

namespace deviates {

/// Accepted pairs from one engine, in the order a polar_gaussian would draw
/// them, as two arrays: pair k is (w1[k], w2[k]). Its r^2 is not kept, since
/// polar_rsq(w1[k], w2[k]) gives it back exactly; with fac =
/// polar_factor(r^2), the Gaussian returns w2[k] * fac fresh and caches
/// w1[k] * fac. The engine must stand at a pair boundary (an even number of
/// draws since it was seeded) and belongs to this source from then on.
///
/// The accept test runs eight pairs at a time where the CPU has AVX-512,
/// else one at a time; both give the same pairs (`vector_screening` false
/// forces the second, for comparisons).
class polar_pair_source {
 public:
  explicit polar_pair_source(const subtractive_engine& engine, bool vector_screening = true);

  /// The next `count` accepted pairs into w1[0, count) and w2[0, count).
  void next(double* w1, double* w2, std::size_t count);

 private:
  // An even number of draws, so pairs never straddle two refills; a multiple
  // of 55 so that the engine fills in whole rounds, and of 16 so that the
  // vector test (eight pairs a step) ends on a refill.
  static constexpr std::size_t batch = 55 * 2 * 8;

  subtractive_engine engine_;
  bool vector_screening_;
  std::int32_t draws_[batch];
  std::size_t used_ = batch;
};

}  // namespace deviates
