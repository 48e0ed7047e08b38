// exp_log_avx2.h: exp and log of four doubles at once, each lane the bits
// of the C library's scalar exp and log (glibc 2.36, FMA variants).
//
// How the operations were established: the disassembly of the variants
// that the library's ifunc resolvers pick on a CPU with FMA and AVX2
// (objdump -d libm.so.6). Every vfmadd/vfnmadd there is a fused operation
// here, in the same operands; every other operation is a plain IEEE one
// (the build has -ffp-contract=off, so nothing else fuses). Where the
// library adds or multiplies two values in the other order, the result is
// the same (IEEE addition and multiplication commute). Lanes the library
// sends to a slow path (exp: |x| >= 512 or NaN; log: zero, negative,
// subnormal, infinite or NaN) call the scalar function of `Math`
// (scalar_math.h): the C library's by default, or the project's own, whose
// results are the same bits on every machine.
//
// Only for functions compiled for AVX2 and FMA (EXACT_MATH_AVX2 below).
#pragma once

#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "exact_math/libm_tables.h"
#include "exact_math/scalar_math.h"

#define EXACT_MATH_AVX2 __attribute__((target("avx2,fma")))

namespace exact_math::avx2 {

EXACT_MATH_AVX2 inline __m256d splat(double v) { return _mm256_set1_pd(v); }
EXACT_MATH_AVX2 inline __m256i splat64(std::int64_t v) { return _mm256_set1_epi64x(v); }

/// Lanes of `mask` (all ones or zero) replaced by f of the input lane.
template <class ScalarFunction>
EXACT_MATH_AVX2 inline __m256d scalar_lanes(__m256d x, __m256d y, __m256i mask, ScalarFunction f) {
  alignas(32) double xs[4], ys[4];
  alignas(32) std::int64_t ms[4];
  _mm256_store_pd(xs, x);
  _mm256_store_pd(ys, y);
  _mm256_store_si256(reinterpret_cast<__m256i*>(ms), mask);
  for (int i = 0; i < 4; ++i)
    if (ms[i] != 0) ys[i] = f(xs[i]);
  return _mm256_load_pd(ys);
}

/// The entry pairs table[slot], table[slot + 1] of four lanes, as two vectors.
/// Four 16-byte loads and two shuffles: cheaper than two gathers here.
EXACT_MATH_AVX2 inline void table_pairs(const double* table, __m256i slot, __m256d& first, __m256d& second) {
  alignas(32) std::int64_t at[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(at), slot);
  const __m256d even = _mm256_set_m128d(_mm_loadu_pd(table + at[2]), _mm_loadu_pd(table + at[0]));
  const __m256d odd = _mm256_set_m128d(_mm_loadu_pd(table + at[3]), _mm_loadu_pd(table + at[1]));
  first = _mm256_unpacklo_pd(even, odd);
  second = _mm256_unpackhi_pd(even, odd);
}

template <class Math = c_library_math>
EXACT_MATH_AVX2 inline __m256d exp4(__m256d x) {
  namespace c = exp_constants;
  const __m256i ix = _mm256_castpd_si256(x);
  const __m256i top = _mm256_and_si256(_mm256_srli_epi64(ix, 52), splat64(0x7ff));
  const __m256i tiny = _mm256_cmpgt_epi64(splat64(c::tiny_top), top);
  const __m256i large = _mm256_cmpgt_epi64(top, splat64(c::large_top - 1));

  const __m256d kd_shifted = _mm256_fmadd_pd(x, splat(c::inv_ln2_n), splat(c::shift));
  const __m256i ki = _mm256_castpd_si256(kd_shifted);
  const __m256d kd = _mm256_sub_pd(kd_shifted, splat(c::shift));
  __m256d r = _mm256_fmadd_pd(kd, splat(c::neg_ln2_hi_n), x);
  r = _mm256_fmadd_pd(kd, splat(c::neg_ln2_lo_n), r);

  const __m256i slot = _mm256_slli_epi64(_mm256_and_si256(ki, splat64(0x7f)), 1);
  __m256d tail, scale_base;
  table_pairs(reinterpret_cast<const double*>(exp_table), slot, tail, scale_base);
  const __m256i sbits = _mm256_add_epi64(_mm256_castpd_si256(scale_base), _mm256_slli_epi64(ki, 45));

  const __m256d low = _mm256_fmadd_pd(r, splat(c::c3), splat(c::c2));
  const __m256d tail_r = _mm256_add_pd(tail, r);
  const __m256d r2 = _mm256_mul_pd(r, r);
  const __m256d high = _mm256_fmadd_pd(r, splat(c::c5), splat(c::c4));
  const __m256d sum = _mm256_fmadd_pd(low, r2, tail_r);
  const __m256d r4 = _mm256_mul_pd(r2, r2);
  const __m256d tmp = _mm256_fmadd_pd(r4, high, sum);
  const __m256d scale = _mm256_castsi256_pd(sbits);
  __m256d y = _mm256_fmadd_pd(scale, tmp, scale);

  // |x| < 2^-54 (zero and subnormals included): the library returns 1 + x.
  y = _mm256_blendv_pd(y, _mm256_add_pd(splat(1.0), x), _mm256_castsi256_pd(tiny));
  if (!_mm256_testz_si256(large, large)) y = scalar_lanes(x, y, large, [](double v) { return Math::exp(v); });
  return y;
}

/// log of lanes within [1 - 2^-4, 1 + 0x1.09p-4): a polynomial in r = x - 1,
/// with r r / 2 split into exact head and tail.
EXACT_MATH_AVX2 inline __m256d log4_near_one(__m256d x) {
  namespace c = log_constants;
  const __m256d r = _mm256_sub_pd(x, splat(1.0));
  __m256d a = _mm256_fmadd_pd(r, splat(c::b[2]), splat(c::b[1]));
  __m256d b = _mm256_fmadd_pd(r, splat(c::b[5]), splat(c::b[4]));
  __m256d d = _mm256_fmadd_pd(r, splat(c::b[8]), splat(c::b[7]));
  const __m256d r2 = _mm256_mul_pd(r, r);
  a = _mm256_fmadd_pd(r2, splat(c::b[3]), a);
  b = _mm256_fmadd_pd(r2, splat(c::b[6]), b);
  const __m256d r3 = _mm256_mul_pd(r, r2);
  d = _mm256_fmadd_pd(r2, splat(c::b[9]), d);
  d = _mm256_fmadd_pd(r3, splat(c::b[10]), d);
  d = _mm256_fmadd_pd(d, r3, b);
  const __m256d poly = _mm256_fmadd_pd(d, r3, a);

  const __m256d lifted = _mm256_fmadd_pd(r, splat(c::split), r);
  const __m256d rhi = _mm256_fnmadd_pd(splat(c::split), r, lifted);
  const __m256d rhi2 = _mm256_mul_pd(rhi, rhi);
  const __m256d rlo = _mm256_sub_pd(r, rhi);
  const __m256d hi = _mm256_fmadd_pd(rhi2, splat(c::b[0]), r);
  const __m256d r_minus_hi = _mm256_sub_pd(r, hi);
  const __m256d r_plus_rhi = _mm256_add_pd(r, rhi);
  __m256d lo = _mm256_fmadd_pd(rhi2, splat(c::b[0]), r_minus_hi);
  lo = _mm256_fmadd_pd(_mm256_mul_pd(splat(c::b[0]), rlo), r_plus_rhi, lo);
  const __m256d y = _mm256_fmadd_pd(poly, r3, lo);
  return _mm256_add_pd(hi, y);
}

template <class Math = c_library_math>
EXACT_MATH_AVX2 inline __m256d log4(__m256d x) {
  namespace c = log_constants;
  const __m256i ix = _mm256_castpd_si256(x);
  // Positive normal finite x, as signed 64-bit words: [2^-1022 bits, infinity bits).
  const __m256i usual = _mm256_and_si256(_mm256_cmpgt_epi64(ix, splat64(0x000fffffffffffff)),
                                         _mm256_cmpgt_epi64(splat64(0x7ff0000000000000), ix));
  const __m256i near_one =
      _mm256_and_si256(_mm256_cmpgt_epi64(ix, splat64(static_cast<std::int64_t>(c::near_one_low) - 1)),
                       _mm256_cmpgt_epi64(splat64(static_cast<std::int64_t>(c::near_one_high)), ix));

  const __m256i tmp = _mm256_sub_epi64(ix, splat64(static_cast<std::int64_t>(c::table_offset)));
  const __m256i slot = _mm256_slli_epi64(_mm256_and_si256(_mm256_srli_epi64(tmp, 45), splat64(0x7f)), 1);
  // k = tmp >> 52 (arithmetic) as a double: k + 2048 by a logical shift of
  // tmp with its sign flipped, then converted exactly through 2^52.
  const __m256i k_biased = _mm256_srli_epi64(_mm256_xor_si256(tmp, splat64(INT64_MIN)), 52);
  const __m256d kd = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(k_biased, splat64(0x4330000000000000))),
                                   splat(0x1p52 + 2048.0));
  const __m256i iz = _mm256_sub_epi64(ix, _mm256_and_si256(tmp, splat64(static_cast<std::int64_t>(0xfff0000000000000))));
  __m256d invc, logc;
  table_pairs(log_table, slot, invc, logc);
  const __m256d z = _mm256_castsi256_pd(iz);

  const __m256d r = _mm256_fmadd_pd(z, invc, splat(-1.0));
  const __m256d w = _mm256_fmadd_pd(kd, splat(c::ln2_hi), logc);
  const __m256d a21 = _mm256_fmadd_pd(r, splat(c::a[2]), splat(c::a[1]));
  const __m256d hi = _mm256_add_pd(w, r);
  const __m256d r2 = _mm256_mul_pd(r, r);
  __m256d lo = _mm256_add_pd(_mm256_sub_pd(w, hi), r);
  lo = _mm256_fmadd_pd(kd, splat(c::ln2_lo), lo);
  const __m256d r3 = _mm256_mul_pd(r, r2);
  __m256d a43 = _mm256_fmadd_pd(r, splat(c::a[4]), splat(c::a[3]));
  lo = _mm256_fmadd_pd(r2, splat(c::a[0]), lo);
  a43 = _mm256_fmadd_pd(a43, r2, a21);
  const __m256d y = _mm256_fmadd_pd(r3, a43, lo);
  __m256d result = _mm256_add_pd(y, hi);

  if (!_mm256_testz_si256(near_one, near_one))
    result = _mm256_blendv_pd(result, log4_near_one(x), _mm256_castsi256_pd(near_one));
  const __m256i other = _mm256_andnot_si256(usual, splat64(-1));
  if (!_mm256_testz_si256(other, other))
    result = scalar_lanes(x, result, other, [](double v) { return Math::log(v); });
  return result;
}

}  // namespace exact_math::avx2
