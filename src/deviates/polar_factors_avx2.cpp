// sqrt(-2 log(rsq) / rsq) four pairs at a time, in the scalar order of
// operations: the product, then the division, then the square root.
#include "deviates/polar_factors.h"
#include "exact_math/exp_log_avx2.h"

namespace deviates {

EXACT_MATH_AVX2 void polar_factors_vector(const polar_pair* pairs, std::size_t count, double* facs) {
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m256d rsq = _mm256_set_pd(pairs[k + 3].rsq, pairs[k + 2].rsq, pairs[k + 1].rsq, pairs[k].rsq);
    const __m256d minus_two_log = _mm256_mul_pd(_mm256_set1_pd(-2.0), exact_math::avx2::log4(rsq));
    _mm256_storeu_pd(facs + k, _mm256_sqrt_pd(_mm256_div_pd(minus_two_log, rsq)));
  }
  for (; k < count; ++k) facs[k] = pairs[k].factor();
}

}  // namespace deviates
