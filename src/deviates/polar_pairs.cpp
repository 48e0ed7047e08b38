#include "deviates/polar_pairs.h"

#include "deviates/polar_pairs_avx512.h"

namespace deviates {

polar_pair_source::polar_pair_source(const subtractive_engine& engine, bool vector_screening)
    : engine_(engine), vector_screening_(vector_screening && cpu_screens_pairs_avx512()) {}

void polar_pair_source::next(double* w1, double* w2, std::size_t count) {
  std::size_t taken = 0;
  while (taken < count) {
    if (used_ == batch) {
      engine_.fill(draws_, batch);
      used_ = 0;
    }
    // Whole steps of eight pairs while they cannot overshoot `count`; the
    // scalar loop takes the rest.
    if (vector_screening_) used_ += screen_pairs_avx512(draws_ + used_, batch - used_, w1, w2, count, &taken);
    // Every pair is written and the count moves only on acceptance: no
    // branch to mispredict on the one pair in five that is refused.
    for (; used_ < batch && taken < count; used_ += 2) {
      const double u1 = 2.0 * (draws_[used_] * subtractive_engine::unit_scale) - 1.0;
      const double u2 = 2.0 * (draws_[used_ + 1] * subtractive_engine::unit_scale) - 1.0;
      w1[taken] = u1;
      w2[taken] = u2;
      taken += polar_accepts(polar_rsq(u1, u2)) ? 1 : 0;
    }
  }
}

}  // namespace deviates
