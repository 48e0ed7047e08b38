// The series kernels four pairs at a time (AVX2 and FMA), over the C
// library's math and over the portable math: `Math` is the scalar exp and log of the
// lanes off the vector functions' fast path and of the pairs after the last
// whole vector.
#include <algorithm>

#include "cascade/series_kernels_vector.h"
#include "exact_math/exp_log_avx2.h"

namespace cascade {
namespace {

using exact_math::avx2::splat;

/// sqrt(-2 log(rsq) / rsq) with rsq = w1 w1 + w2 w2: the product, then the
/// division, then the square root, as the scalar formula orders them.
template <class Math>
EXACT_MATH_AVX2 inline __m256d polar_factor4(__m256d w1, __m256d w2) {
  const __m256d rsq = _mm256_add_pd(_mm256_mul_pd(w1, w1), _mm256_mul_pd(w2, w2));
  const __m256d minus_two_log = _mm256_mul_pd(splat(-2.0), exact_math::avx2::log4<Math>(rsq));
  return _mm256_sqrt_pd(_mm256_div_pd(minus_two_log, rsq));
}

/// a[0], b[0], a[1], b[1] and a[2], b[2], a[3], b[3]: two deviates of a
/// pair, or two children of a parent, side by side as the series stores them.
struct interleaved {
  __m256d low, high;
};

EXACT_MATH_AVX2 inline interleaved interleave(__m256d a, __m256d b) {
  const __m256d even = _mm256_unpacklo_pd(a, b);  // a0 b0 a2 b2
  const __m256d odd = _mm256_unpackhi_pd(a, b);   // a1 b1 a3 b3
  return {_mm256_permute2f128_pd(even, odd, 0x20), _mm256_permute2f128_pd(even, odd, 0x31)};
}

/// facs[k] for the whole vectors of pairs in [0, count); returns their count.
template <class Math>
EXACT_MATH_AVX2 std::size_t polar_factors4(const double* w1, const double* w2, std::size_t count, double* facs) {
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4)
    _mm256_storeu_pd(facs + k, polar_factor4<Math>(_mm256_loadu_pd(w1 + k), _mm256_loadu_pd(w2 + k)));
  return k;
}

/// Calls body(k, fac) for each whole vector of pairs k .. k + 3 in [0,
/// count), fac their polar factors, a run at a time; returns how many pairs
/// that covers (count less a tail of at most three).
template <class Math, class Body>
EXACT_MATH_AVX2 std::size_t for_each_vector(const double* w1, const double* w2, std::size_t count, Body&& body) {
  alignas(32) double facs[run_pairs];
  std::size_t done = 0;
  while (done < count) {
    const std::size_t whole = polar_factors4<Math>(w1 + done, w2 + done, std::min(run_pairs, count - done), facs);
    if (whole == 0) break;
    for (std::size_t j = 0; j < whole; j += 4) body(done + j, _mm256_load_pd(facs + j));
    done += whole;
  }
  return done;
}

template <class Math, bool unit_parents>
EXACT_MATH_AVX2 void grow4(const double* w1, const double* w2, std::size_t count, const double* parents,
                           double* children, double sigma, double s2) {
  const __m256d vsigma = splat(sigma);
  const __m256d vs2 = splat(s2);
  const std::size_t done = for_each_vector<Math>(w1, w2, count, [&](std::size_t k, __m256d fac) EXACT_MATH_AVX2 {
    if constexpr (!unit_parents) _mm_prefetch(reinterpret_cast<const char*>(parents + k + ahead), _MM_HINT_T0);
    const __m256d parent = unit_parents ? splat(1.0) : _mm256_loadu_pd(parents + k);
    const __m256d first = exact_math::avx2::exp4<Math>(
        _mm256_sub_pd(_mm256_mul_pd(vsigma, _mm256_mul_pd(_mm256_loadu_pd(w2 + k), fac)), vs2));
    const __m256d second = exact_math::avx2::exp4<Math>(
        _mm256_sub_pd(_mm256_mul_pd(vsigma, _mm256_mul_pd(_mm256_loadu_pd(w1 + k), fac)), vs2));
    const interleaved out = interleave(_mm256_mul_pd(first, parent), _mm256_mul_pd(second, parent));
    _mm256_storeu_pd(children + 2 * k, out.low);
    _mm256_storeu_pd(children + 2 * k + 4, out.high);
  });
  grow_scalar<Math>(w1 + done, w2 + done, count - done, unit_parents ? nullptr : parents + done, children + 2 * done,
                    sigma, s2);
}

template <class Math>
EXACT_MATH_AVX2 void grow_with(const double* w1, const double* w2, std::size_t count, const double* parents,
                               double* children, double sigma, double s2) {
  if (parents == nullptr) {
    grow4<Math, true>(w1, w2, count, parents, children, sigma, s2);
  } else {
    grow4<Math, false>(w1, w2, count, parents, children, sigma, s2);
  }
}

template <class Math>
EXACT_MATH_AVX2 void modulate_with(const double* w1, const double* w2, std::size_t count, double* values) {
  const std::size_t done = for_each_vector<Math>(w1, w2, count, [&](std::size_t k, __m256d fac) EXACT_MATH_AVX2 {
    const interleaved deviates =
        interleave(_mm256_mul_pd(_mm256_loadu_pd(w2 + k), fac), _mm256_mul_pd(_mm256_loadu_pd(w1 + k), fac));
    double* const v = values + 2 * k;
    _mm_prefetch(reinterpret_cast<const char*>(v + 2 * ahead), _MM_HINT_T0);
    _mm256_storeu_pd(v, _mm256_mul_pd(deviates.low, _mm256_loadu_pd(v)));
    _mm256_storeu_pd(v + 4, _mm256_mul_pd(deviates.high, _mm256_loadu_pd(v + 4)));
  });
  modulate_scalar<Math>(w1 + done, w2 + done, count - done, values + 2 * done);
}

}  // namespace

EXACT_MATH_AVX2 void grow_avx2(const double* w1, const double* w2, std::size_t count, const double* parents,
                               double* children, double sigma, double s2) {
  grow_with<exact_math::c_library_math>(w1, w2, count, parents, children, sigma, s2);
}

EXACT_MATH_AVX2 void modulate_avx2(const double* w1, const double* w2, std::size_t count, double* values) {
  modulate_with<exact_math::c_library_math>(w1, w2, count, values);
}

EXACT_MATH_AVX2 void grow_avx2_portable(const double* w1, const double* w2, std::size_t count, const double* parents,
                                   double* children, double sigma, double s2) {
  grow_with<exact_math::portable_math>(w1, w2, count, parents, children, sigma, s2);
}

EXACT_MATH_AVX2 void modulate_avx2_portable(const double* w1, const double* w2, std::size_t count, double* values) {
  modulate_with<exact_math::portable_math>(w1, w2, count, values);
}

}  // namespace cascade
