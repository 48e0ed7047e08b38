// Eight pairs a step: 16 draws converted and split into w1 and w2, the
// accept mask from one packed compare, the accepted lanes compressed to the
// front and interleaved back into {w1, w2, rsq} records. Stores are whole
// (24 doubles) while at least 8 slots remain, so no record is ever written
// past the caller's room and the unaccepted tail is overwritten later.
#include "deviates/polar_pairs_avx512.h"

#include <immintrin.h>

#include <cstddef>

// GCC 12's AVX-512 intrinsics pass an intentionally undefined register as the
// unused merge source, and then warn that it may be uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define DEVIATES_AVX512 __attribute__((target("avx512f")))

namespace deviates {

static_assert(sizeof(polar_pair) == 3 * sizeof(double) && offsetof(polar_pair, w1) == 0 &&
                  offsetof(polar_pair, w2) == sizeof(double) && offsetof(polar_pair, rsq) == 2 * sizeof(double),
              "records are stored as three packed doubles");

bool cpu_screens_pairs_avx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}

DEVIATES_AVX512 std::size_t screen_pairs_avx512(const std::int32_t* draws, std::size_t draw_count, polar_pair* out,
                                                std::size_t room, std::size_t* taken) {
  // Even draws (w1) to the low half, odd draws (w2) to the high half.
  const __m512i split = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  // Record k of the output is (w1[k], w2[k], rsq[k]); lane indices into
  // w1 (0-7) and w2 (8-15) first, then rsq placed by a masked permute.
  const __m512i pick0 = _mm512_setr_epi64(0, 8, 0, 1, 9, 0, 2, 10);
  const __m512i pick1 = _mm512_setr_epi64(0, 3, 11, 0, 4, 12, 0, 5);
  const __m512i pick2 = _mm512_setr_epi64(13, 0, 6, 14, 0, 7, 15, 0);
  const __m512i rsq0 = _mm512_setr_epi64(0, 0, 0, 0, 0, 1, 0, 0);
  const __m512i rsq1 = _mm512_setr_epi64(2, 0, 0, 3, 0, 0, 4, 0);
  const __m512i rsq2 = _mm512_setr_epi64(0, 5, 0, 0, 6, 0, 0, 7);
  const __m512d scale = _mm512_set1_pd(1e-9);
  const __m512d two = _mm512_set1_pd(2.0);
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d zero = _mm512_setzero_pd();

  std::size_t used = 0;
  std::size_t kept = *taken;
  for (; used + 16 <= draw_count && room - kept >= 8; used += 16) {
    const __m512i d = _mm512_permutexvar_epi32(split, _mm512_loadu_si512(draws + used));
    const __m512d d1 = _mm512_cvtepi32_pd(_mm512_castsi512_si256(d));
    const __m512d d2 = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(d, 1));
    // 2.0 * (d * 1e-9) - 1.0, as the scalar code.
    const __m512d w1 = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_mul_pd(d1, scale)), one);
    const __m512d w2 = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_mul_pd(d2, scale)), one);
    const __m512d rsq = _mm512_add_pd(_mm512_mul_pd(w1, w1), _mm512_mul_pd(w2, w2));
    // rsq < 1.0 && rsq != 0.0 (unordered-or-unequal, as C's !=).
    const __mmask8 accept = _mm512_mask_cmp_pd_mask(_mm512_cmp_pd_mask(rsq, one, _CMP_LT_OQ), rsq, zero, _CMP_NEQ_UQ);

    const __m512d kept_w1 = _mm512_maskz_compress_pd(accept, w1);
    const __m512d kept_w2 = _mm512_maskz_compress_pd(accept, w2);
    const __m512d kept_rsq = _mm512_maskz_compress_pd(accept, rsq);
    double* const to = reinterpret_cast<double*>(out + kept);
    _mm512_storeu_pd(to, _mm512_mask_permutexvar_pd(_mm512_permutex2var_pd(kept_w1, pick0, kept_w2), 0x24, rsq0, kept_rsq));
    _mm512_storeu_pd(to + 8, _mm512_mask_permutexvar_pd(_mm512_permutex2var_pd(kept_w1, pick1, kept_w2), 0x49, rsq1, kept_rsq));
    _mm512_storeu_pd(to + 16, _mm512_mask_permutexvar_pd(_mm512_permutex2var_pd(kept_w1, pick2, kept_w2), 0x92, rsq2, kept_rsq));
    kept += static_cast<std::size_t>(__builtin_popcount(accept));
  }
  *taken = kept;
  return used;
}

}  // namespace deviates
