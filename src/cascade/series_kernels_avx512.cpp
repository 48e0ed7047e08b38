// The series kernels eight pairs at a time (AVX-512), the same operations
// as the four-lane kernels, over the C library's math and over the portable math:
// `Math` is the scalar exp and log of the lanes off the vector functions'
// fast path and of the pairs after the last whole vector.
#include <algorithm>

#include "cascade/series_kernels_vector.h"
#include "exact_math/exp_log_avx512.h"

// GCC 12's AVX-512 intrinsics pass an intentionally undefined register as the
// unused merge source, and then warn that it may be uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace cascade {
namespace {

using exact_math::avx512::splat;

/// sqrt(-2 log / rsq), log the logarithm of rsq: the product, then the
/// division, then the square root, as the scalar formula orders them.
EXACT_MATH_AVX512 inline __m512d polar_factor8(__m512d rsq, __m512d log) {
  return _mm512_sqrt_pd(_mm512_div_pd(_mm512_mul_pd(splat(-2.0), log), rsq));
}

/// a[0], b[0], ..., a[3], b[3] and a[4], b[4], ..., a[7], b[7]: two deviates
/// of a pair, or two children of a parent, side by side as the series
/// stores them.
struct interleaved {
  __m512d low, high;
};

EXACT_MATH_AVX512 inline interleaved interleave(__m512d a, __m512d b) {
  const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
  const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
  return {_mm512_permutex2var_pd(a, low, b), _mm512_permutex2var_pd(a, high, b)};
}

/// facs[k] for the whole vectors of pairs in [0, count); returns their count.
///
/// An r^2 within 2^-4 of 1 (one in sixteen) takes the logarithm's second
/// polynomial. Some lane of an eight-lane vector needs it two times in five,
/// unpredictably; rather than branch and compute both there, such lanes are
/// set aside, without a branch, and done together at the end of the run.
template <class Math>
EXACT_MATH_AVX512 std::size_t polar_factors8(const double* w1, const double* w2, std::size_t count, double* facs) {
  alignas(64) double near_rsq[run_pairs + 8];
  alignas(64) std::int64_t near_at[run_pairs + 8];
  std::size_t near = 0;
  const __m512i lane = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  std::size_t whole = 0;
  for (; whole + 8 <= count; whole += 8) {
    const __m512d a = _mm512_loadu_pd(w1 + whole);
    const __m512d b = _mm512_loadu_pd(w2 + whole);
    const __m512d rsq = _mm512_add_pd(_mm512_mul_pd(a, a), _mm512_mul_pd(b, b));
    __mmask8 near_one;
    const __m512d log = exact_math::avx512::log8_away_from_one<Math>(rsq, near_one);
    _mm512_storeu_pd(facs + whole, polar_factor8(rsq, log));
    _mm512_storeu_pd(near_rsq + near, _mm512_maskz_compress_pd(near_one, rsq));
    const __m512i at = _mm512_add_epi64(lane, _mm512_set1_epi64(static_cast<std::int64_t>(whole)));
    _mm512_storeu_si512(near_at + near, _mm512_maskz_compress_epi64(near_one, at));
    near += static_cast<std::size_t>(__builtin_popcount(near_one));
  }
  // The set-aside lanes, eight at a time; the last vector's unused lanes
  // hold a harmless 1.0.
  for (std::size_t j = 0; j < near; j += 8) {
    const std::size_t lanes = std::min<std::size_t>(8, near - j);
    const __m512d rsq = _mm512_mask_loadu_pd(splat(1.0), static_cast<__mmask8>((1u << lanes) - 1), near_rsq + j);
    alignas(64) double fixed[8];
    _mm512_store_pd(fixed, polar_factor8(rsq, exact_math::avx512::log8_near_one(rsq)));
    for (std::size_t i = 0; i < lanes; ++i) facs[near_at[j + i]] = fixed[i];
  }
  return whole;
}

/// Calls body(k, fac) for each whole vector of pairs k .. k + 7 in [0,
/// count), fac their polar factors, a run at a time; returns how many pairs
/// that covers (count less a tail of at most seven).
template <class Math, class Body>
EXACT_MATH_AVX512 std::size_t for_each_vector(const double* w1, const double* w2, std::size_t count, Body&& body) {
  alignas(64) double facs[run_pairs];
  std::size_t done = 0;
  while (done < count) {
    const std::size_t whole = polar_factors8<Math>(w1 + done, w2 + done, std::min(run_pairs, count - done), facs);
    if (whole == 0) break;
    for (std::size_t j = 0; j < whole; j += 8) body(done + j, _mm512_load_pd(facs + j));
    done += whole;
  }
  return done;
}

template <class Math, bool unit_parents>
EXACT_MATH_AVX512 void grow8(const double* w1, const double* w2, std::size_t count, const double* parents,
                             double* children, double sigma, double s2) {
  const __m512d vsigma = splat(sigma);
  const __m512d vs2 = splat(s2);
  const std::size_t done = for_each_vector<Math>(w1, w2, count, [&](std::size_t k, __m512d fac) EXACT_MATH_AVX512 {
    if constexpr (!unit_parents) _mm_prefetch(reinterpret_cast<const char*>(parents + k + ahead), _MM_HINT_T0);
    const __m512d parent = unit_parents ? splat(1.0) : _mm512_loadu_pd(parents + k);
    const __m512d first = exact_math::avx512::exp8<Math>(
        _mm512_sub_pd(_mm512_mul_pd(vsigma, _mm512_mul_pd(_mm512_loadu_pd(w2 + k), fac)), vs2));
    const __m512d second = exact_math::avx512::exp8<Math>(
        _mm512_sub_pd(_mm512_mul_pd(vsigma, _mm512_mul_pd(_mm512_loadu_pd(w1 + k), fac)), vs2));
    const interleaved out = interleave(_mm512_mul_pd(first, parent), _mm512_mul_pd(second, parent));
    _mm512_storeu_pd(children + 2 * k, out.low);
    _mm512_storeu_pd(children + 2 * k + 8, out.high);
  });
  grow_scalar<Math>(w1 + done, w2 + done, count - done, unit_parents ? nullptr : parents + done, children + 2 * done,
                    sigma, s2);
}

template <class Math>
EXACT_MATH_AVX512 void grow_with(const double* w1, const double* w2, std::size_t count, const double* parents,
                                 double* children, double sigma, double s2) {
  if (parents == nullptr) {
    grow8<Math, true>(w1, w2, count, parents, children, sigma, s2);
  } else {
    grow8<Math, false>(w1, w2, count, parents, children, sigma, s2);
  }
}

template <class Math>
EXACT_MATH_AVX512 void modulate_with(const double* w1, const double* w2, std::size_t count, double* values) {
  const std::size_t done = for_each_vector<Math>(w1, w2, count, [&](std::size_t k, __m512d fac) EXACT_MATH_AVX512 {
    const interleaved deviates =
        interleave(_mm512_mul_pd(_mm512_loadu_pd(w2 + k), fac), _mm512_mul_pd(_mm512_loadu_pd(w1 + k), fac));
    double* const v = values + 2 * k;
    // Sixteen values: two lines.
    _mm_prefetch(reinterpret_cast<const char*>(v + 2 * ahead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(v + 2 * ahead + 8), _MM_HINT_T0);
    _mm512_storeu_pd(v, _mm512_mul_pd(deviates.low, _mm512_loadu_pd(v)));
    _mm512_storeu_pd(v + 8, _mm512_mul_pd(deviates.high, _mm512_loadu_pd(v + 8)));
  });
  modulate_scalar<Math>(w1 + done, w2 + done, count - done, values + 2 * done);
}

}  // namespace

EXACT_MATH_AVX512 void grow_avx512(const double* w1, const double* w2, std::size_t count, const double* parents,
                                   double* children, double sigma, double s2) {
  grow_with<exact_math::c_library_math>(w1, w2, count, parents, children, sigma, s2);
}

EXACT_MATH_AVX512 void modulate_avx512(const double* w1, const double* w2, std::size_t count, double* values) {
  modulate_with<exact_math::c_library_math>(w1, w2, count, values);
}

EXACT_MATH_AVX512 void grow_avx512_portable(const double* w1, const double* w2, std::size_t count, const double* parents,
                                       double* children, double sigma, double s2) {
  grow_with<exact_math::portable_math>(w1, w2, count, parents, children, sigma, s2);
}

EXACT_MATH_AVX512 void modulate_avx512_portable(const double* w1, const double* w2, std::size_t count, double* values) {
  modulate_with<exact_math::portable_math>(w1, w2, count, values);
}

}  // namespace cascade
