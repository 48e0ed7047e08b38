// exp_log_avx512.h: exp and log of eight doubles at once, each lane the bits
// of the C library's scalar exp and log (glibc 2.36, FMA variants).
//
// How the operations were established: these are the operations of
// exp4 and log4 (exp_log_avx2.h), which reproduce the disassembly of the
// library's FMA variants, in the same order and on the same operands, only
// eight lanes wide: every fused multiply-add there is one here, every other
// operation a plain IEEE one (the build has -ffp-contract=off, so nothing
// else fuses). Lane selection uses mask registers instead of blends; the
// conversion of k to a double is exact either way. Lanes the library sends to
// a slow path (exp: |x| >= 512 or NaN; log: zero, negative, subnormal,
// infinite or NaN) call the scalar function of `Math` (scalar_math.h): the
// C library's by default, or the project's own.
//
// Only for functions compiled for AVX-512 (EXACT_MATH_AVX512 below).
#pragma once

// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined register (`__m512d __Y = __Y;`) and then warn that it is used
// uninitialised (or maybe so): silenced for that header only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <cmath>
#include <cstdint>

#include "exact_math/libm_tables.h"
#include "exact_math/scalar_math.h"

#define EXACT_MATH_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma")))

namespace exact_math::avx512 {

EXACT_MATH_AVX512 inline __m512d splat(double v) { return _mm512_set1_pd(v); }
EXACT_MATH_AVX512 inline __m512i splat64(std::int64_t v) { return _mm512_set1_epi64(v); }

/// Lanes set in `mask` replaced by f of the input lane.
template <class ScalarFunction>
EXACT_MATH_AVX512 inline __m512d scalar_lanes(__m512d x, __m512d y, __mmask8 mask, ScalarFunction f) {
  alignas(64) double xs[8], ys[8];
  _mm512_store_pd(xs, x);
  _mm512_store_pd(ys, y);
  for (int i = 0; i < 8; ++i)
    if (mask & (1u << i)) ys[i] = f(xs[i]);
  return _mm512_load_pd(ys);
}

/// The entry pairs table[slot], table[slot + 1] of eight lanes, as two
/// vectors. Eight 16-byte loads and two shuffles: much cheaper than gathers.
EXACT_MATH_AVX512 inline void table_pairs(const double* table, __m512i slot, __m512d& first, __m512d& second) {
  alignas(64) std::int64_t at[8];
  _mm512_store_si512(at, slot);
  // Lane pairs 0, 2, 4, 6 in `even` and 1, 3, 5, 7 in `odd`, one per 128-bit
  // lane, so that the per-128-bit-lane unpacks give lanes 0 to 7 in order.
  const __m256d even_low = _mm256_set_m128d(_mm_loadu_pd(table + at[2]), _mm_loadu_pd(table + at[0]));
  const __m256d even_high = _mm256_set_m128d(_mm_loadu_pd(table + at[6]), _mm_loadu_pd(table + at[4]));
  const __m256d odd_low = _mm256_set_m128d(_mm_loadu_pd(table + at[3]), _mm_loadu_pd(table + at[1]));
  const __m256d odd_high = _mm256_set_m128d(_mm_loadu_pd(table + at[7]), _mm_loadu_pd(table + at[5]));
  const __m512d even = _mm512_insertf64x4(_mm512_castpd256_pd512(even_low), even_high, 1);
  const __m512d odd = _mm512_insertf64x4(_mm512_castpd256_pd512(odd_low), odd_high, 1);
  first = _mm512_unpacklo_pd(even, odd);
  second = _mm512_unpackhi_pd(even, odd);
}

template <class Math = c_library_math>
EXACT_MATH_AVX512 inline __m512d exp8(__m512d x) {
  namespace c = exp_constants;
  const __m512i ix = _mm512_castpd_si512(x);
  const __m512i top = _mm512_and_si512(_mm512_srli_epi64(ix, 52), splat64(0x7ff));
  const __mmask8 tiny = _mm512_cmp_epi64_mask(top, splat64(c::tiny_top), _MM_CMPINT_LT);
  const __mmask8 large = _mm512_cmp_epi64_mask(top, splat64(c::large_top), _MM_CMPINT_NLT);

  const __m512d kd_shifted = _mm512_fmadd_pd(x, splat(c::inv_ln2_n), splat(c::shift));
  const __m512i ki = _mm512_castpd_si512(kd_shifted);
  const __m512d kd = _mm512_sub_pd(kd_shifted, splat(c::shift));
  __m512d r = _mm512_fmadd_pd(kd, splat(c::neg_ln2_hi_n), x);
  r = _mm512_fmadd_pd(kd, splat(c::neg_ln2_lo_n), r);

  const __m512i slot = _mm512_slli_epi64(_mm512_and_si512(ki, splat64(0x7f)), 1);
  __m512d tail, scale_base;
  table_pairs(reinterpret_cast<const double*>(exp_table), slot, tail, scale_base);
  const __m512i sbits = _mm512_add_epi64(_mm512_castpd_si512(scale_base), _mm512_slli_epi64(ki, 45));

  const __m512d low = _mm512_fmadd_pd(r, splat(c::c3), splat(c::c2));
  const __m512d tail_r = _mm512_add_pd(tail, r);
  const __m512d r2 = _mm512_mul_pd(r, r);
  const __m512d high = _mm512_fmadd_pd(r, splat(c::c5), splat(c::c4));
  const __m512d sum = _mm512_fmadd_pd(low, r2, tail_r);
  const __m512d r4 = _mm512_mul_pd(r2, r2);
  const __m512d tmp = _mm512_fmadd_pd(r4, high, sum);
  const __m512d scale = _mm512_castsi512_pd(sbits);
  __m512d y = _mm512_fmadd_pd(scale, tmp, scale);

  // |x| < 2^-54 (zero and subnormals included): the library returns 1 + x.
  y = _mm512_mask_blend_pd(tiny, y, _mm512_add_pd(splat(1.0), x));
  if (large != 0) y = scalar_lanes(x, y, large, [](double v) { return Math::exp(v); });
  return y;
}

/// log of lanes within [1 - 2^-4, 1 + 0x1.09p-4): a polynomial in r = x - 1,
/// with r r / 2 split into exact head and tail.
EXACT_MATH_AVX512 inline __m512d log8_near_one(__m512d x) {
  namespace c = log_constants;
  const __m512d r = _mm512_sub_pd(x, splat(1.0));
  __m512d a = _mm512_fmadd_pd(r, splat(c::b[2]), splat(c::b[1]));
  __m512d b = _mm512_fmadd_pd(r, splat(c::b[5]), splat(c::b[4]));
  __m512d d = _mm512_fmadd_pd(r, splat(c::b[8]), splat(c::b[7]));
  const __m512d r2 = _mm512_mul_pd(r, r);
  a = _mm512_fmadd_pd(r2, splat(c::b[3]), a);
  b = _mm512_fmadd_pd(r2, splat(c::b[6]), b);
  const __m512d r3 = _mm512_mul_pd(r, r2);
  d = _mm512_fmadd_pd(r2, splat(c::b[9]), d);
  d = _mm512_fmadd_pd(r3, splat(c::b[10]), d);
  d = _mm512_fmadd_pd(d, r3, b);
  const __m512d poly = _mm512_fmadd_pd(d, r3, a);

  const __m512d lifted = _mm512_fmadd_pd(r, splat(c::split), r);
  const __m512d rhi = _mm512_fnmadd_pd(splat(c::split), r, lifted);
  const __m512d rhi2 = _mm512_mul_pd(rhi, rhi);
  const __m512d rlo = _mm512_sub_pd(r, rhi);
  const __m512d hi = _mm512_fmadd_pd(rhi2, splat(c::b[0]), r);
  const __m512d r_minus_hi = _mm512_sub_pd(r, hi);
  const __m512d r_plus_rhi = _mm512_add_pd(r, rhi);
  __m512d lo = _mm512_fmadd_pd(rhi2, splat(c::b[0]), r_minus_hi);
  lo = _mm512_fmadd_pd(_mm512_mul_pd(splat(c::b[0]), rlo), r_plus_rhi, lo);
  const __m512d y = _mm512_fmadd_pd(poly, r3, lo);
  return _mm512_add_pd(hi, y);
}

/// log8 of every lane but those within [1 - 2^-4, 1 + 0x1.09p-4): those
/// are left for log8_near_one, and their mask goes to `near_one`, for a
/// caller that gathers such lanes from many vectors into full ones.
template <class Math = c_library_math>
EXACT_MATH_AVX512 inline __m512d log8_away_from_one(__m512d x, __mmask8& near_one) {
  namespace c = log_constants;
  const __m512i ix = _mm512_castpd_si512(x);
  // Positive normal finite x, as signed 64-bit words: [2^-1022 bits, infinity bits).
  const __mmask8 usual = _mm512_cmp_epi64_mask(ix, splat64(0x0010000000000000), _MM_CMPINT_NLT) &
                         _mm512_cmp_epi64_mask(ix, splat64(0x7ff0000000000000), _MM_CMPINT_LT);
  near_one =
      _mm512_cmp_epi64_mask(ix, splat64(static_cast<std::int64_t>(c::near_one_low)), _MM_CMPINT_NLT) &
      _mm512_cmp_epi64_mask(ix, splat64(static_cast<std::int64_t>(c::near_one_high)), _MM_CMPINT_LT);

  const __m512i tmp = _mm512_sub_epi64(ix, splat64(static_cast<std::int64_t>(c::table_offset)));
  const __m512i slot = _mm512_slli_epi64(_mm512_and_si512(_mm512_srli_epi64(tmp, 45), splat64(0x7f)), 1);
  // k = tmp >> 52 (arithmetic), at most 2^11 in magnitude: its conversion is exact.
  const __m512d kd = _mm512_cvtepi64_pd(_mm512_srai_epi64(tmp, 52));
  const __m512i iz = _mm512_sub_epi64(ix, _mm512_and_si512(tmp, splat64(static_cast<std::int64_t>(0xfff0000000000000))));
  __m512d invc, logc;
  table_pairs(log_table, slot, invc, logc);
  const __m512d z = _mm512_castsi512_pd(iz);

  const __m512d r = _mm512_fmadd_pd(z, invc, splat(-1.0));
  const __m512d w = _mm512_fmadd_pd(kd, splat(c::ln2_hi), logc);
  const __m512d a21 = _mm512_fmadd_pd(r, splat(c::a[2]), splat(c::a[1]));
  const __m512d hi = _mm512_add_pd(w, r);
  const __m512d r2 = _mm512_mul_pd(r, r);
  __m512d lo = _mm512_add_pd(_mm512_sub_pd(w, hi), r);
  lo = _mm512_fmadd_pd(kd, splat(c::ln2_lo), lo);
  const __m512d r3 = _mm512_mul_pd(r, r2);
  __m512d a43 = _mm512_fmadd_pd(r, splat(c::a[4]), splat(c::a[3]));
  lo = _mm512_fmadd_pd(r2, splat(c::a[0]), lo);
  a43 = _mm512_fmadd_pd(a43, r2, a21);
  const __m512d y = _mm512_fmadd_pd(r3, a43, lo);
  __m512d result = _mm512_add_pd(y, hi);

  const __mmask8 other = static_cast<__mmask8>(~usual);
  if (other != 0) result = scalar_lanes(x, result, other, [](double v) { return Math::log(v); });
  return result;
}

template <class Math = c_library_math>
EXACT_MATH_AVX512 inline __m512d log8(__m512d x) {
  __mmask8 near_one;
  const __m512d result = log8_away_from_one<Math>(x, near_one);
  return near_one == 0 ? result : _mm512_mask_blend_pd(near_one, result, log8_near_one(x));
}

}  // namespace exact_math::avx512
