// Eight pairs a step: 16 draws split into w1 and w2 and converted, the
// accept mask from one packed compare, and the accepted lanes of w1 and of
// w2 compressed to the front of one register each and stored whole while at
// least 8 slots remain, so nothing is written past the caller's room and
// the unaccepted tail is overwritten later.
#include "deviates/polar_pairs_avx512.h"

#include "exact_math/cpu_features.h"

#include <immintrin.h>

#include <cstddef>

// GCC 12's AVX-512 intrinsics pass an intentionally undefined register as the
// unused merge source, and then warn that it may be uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define DEVIATES_AVX512 __attribute__((target("avx512f,avx512dq")))

namespace deviates {

bool cpu_screens_pairs_avx512() { return exact_math::cpu_has_avx512(); }

DEVIATES_AVX512 std::size_t screen_pairs_avx512(const std::int32_t* draws, std::size_t draw_count, double* w1_out,
                                                double* w2_out, std::size_t room, std::size_t* taken) {
  const __m512i low_half = _mm512_set1_epi64(0xffffffff);
  const __m512d scale = _mm512_set1_pd(1e-9);
  const __m512d two = _mm512_set1_pd(2.0);
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d zero = _mm512_setzero_pd();

  std::size_t used = 0;
  std::size_t kept = *taken;
  for (; used + 16 <= draw_count && room - kept >= 8; used += 16) {
    // Each 64-bit lane holds one pair of draws (non-negative, below 2^31):
    // the first in its low half, the second in its high half.
    const __m512i d = _mm512_loadu_si512(draws + used);
    const __m512d d1 = _mm512_cvtepi64_pd(_mm512_and_si512(d, low_half));
    const __m512d d2 = _mm512_cvtepi64_pd(_mm512_srli_epi64(d, 32));
    // 2.0 * (d * 1e-9) - 1.0, as the scalar code.
    const __m512d w1 = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_mul_pd(d1, scale)), one);
    const __m512d w2 = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_mul_pd(d2, scale)), one);
    const __m512d rsq = _mm512_add_pd(_mm512_mul_pd(w1, w1), _mm512_mul_pd(w2, w2));
    // rsq < 1.0 && rsq != 0.0 (unordered-or-unequal, as C's !=).
    const __mmask8 accept = _mm512_mask_cmp_pd_mask(_mm512_cmp_pd_mask(rsq, one, _CMP_LT_OQ), rsq, zero, _CMP_NEQ_UQ);

    _mm512_storeu_pd(w1_out + kept, _mm512_maskz_compress_pd(accept, w1));
    _mm512_storeu_pd(w2_out + kept, _mm512_maskz_compress_pd(accept, w2));
    kept += static_cast<std::size_t>(__builtin_popcount(accept));
  }
  *taken = kept;
  return used;
}

}  // namespace deviates
