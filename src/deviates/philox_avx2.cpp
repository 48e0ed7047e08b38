// Four pairs in a register of 64-bit lanes, four registers a step so that
// the products of one hide the latency of another's. The products' high
// halves come down by a shuffle rather than a shift, which would compete
// with the products for their ports.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "deviates/philox_vector.h"
#include "exact_math/cpu_features.h"

#define DEVIATES_AVX2 __attribute__((target("avx2")))

namespace deviates::philox_detail {

bool cpu_runs_avx2() { return exact_math::cpu_has_avx2(); }

namespace {

constexpr int lanes = 4;
constexpr int registers = 4;
constexpr std::size_t step = lanes * registers;
constexpr std::uint64_t next_attempt = std::uint64_t{1} << 32;

struct keys {
  __m256i k0[10], k1[10];
};

DEVIATES_AVX2 keys broadcast_keys(std::uint64_t seed) {
  const auto round = round_keys(seed);
  keys out;
  for (int r = 0; r < 10; ++r) {
    out.k0[r] = _mm256_set1_epi64x(round[r][0]);
    out.k1[r] = _mm256_set1_epi64x(round[r][1]);
  }
  return out;
}

/// 2.0 * (((hi * 2^32 + lo) >> 11) * 2^-53) - 1.0 from the low halves of lo
/// and hi. With m the 53-bit integer that is m * 2^-52 - 1: the double
/// 1 + (m mod 2^52) * 2^-52, less 2 when m < 2^52 and less 1 otherwise. Each
/// step is exact, so the bits are the scalar conversion's.
DEVIATES_AVX2 inline __m256d unit_from_words(__m256i lo, __m256i hi) {
  const __m256i m = _mm256_srli_epi64(_mm256_blend_epi32(lo, _mm256_slli_epi64(hi, 32), 0xaa), 11);
  const __m256i top = _mm256_set1_epi64x(std::int64_t{1} << 52);
  const __m256i below_top = _mm256_set1_epi64x((std::int64_t{1} << 52) - 1);
  const __m256i one_bits = _mm256_castpd_si256(_mm256_set1_pd(1.0));
  const __m256i two_bits = _mm256_castpd_si256(_mm256_set1_pd(2.0));
  const __m256i in_one_to_two = _mm256_or_si256(_mm256_and_si256(m, below_top), one_bits);
  const __m256i less = _mm256_sub_epi64(two_bits, _mm256_and_si256(m, top));
  return _mm256_sub_pd(_mm256_castsi256_pd(in_one_to_two), _mm256_castsi256_pd(less));
}

/// One attempt for a step of pairs: pair indices in p, attempt numbers in c2
/// (low halves). Gives (v1, v2) and a bit per pair, set where the attempt is
/// refused.
DEVIATES_AVX2 inline unsigned attempt(const __m256i (&p)[registers], const __m256i (&c2_words)[registers],
                                      __m256i c3_word, const keys& key, __m256d (&v1)[registers],
                                      __m256d (&v2)[registers]) {
  const __m256i m0 = _mm256_set1_epi64x(0xD2511F53);
  const __m256i m1 = _mm256_set1_epi64x(0xCD9E8D57);
  __m256i c0[registers], c1[registers], c2[registers], c3[registers];
  for (int j = 0; j < registers; ++j) {
    c0[j] = p[j];
    c1[j] = _mm256_srli_epi64(p[j], 32);
    c2[j] = c2_words[j];
    c3[j] = c3_word;
  }
  for (int r = 0; r < 10; ++r) {
    for (int j = 0; j < registers; ++j) {
      const __m256i product0 = _mm256_mul_epu32(c0[j], m0);
      const __m256i product1 = _mm256_mul_epu32(c2[j], m1);
      c0[j] = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi32(product1, 0xb1), c1[j]), key.k0[r]);
      c2[j] = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi32(product0, 0xb1), c3[j]), key.k1[r]);
      c1[j] = product1;
      c3[j] = product0;
    }
  }
  const __m256d one = _mm256_set1_pd(1.0);
  unsigned refused = 0;
  for (int j = 0; j < registers; ++j) {
    v1[j] = unit_from_words(c0[j], c1[j]);
    v2[j] = unit_from_words(c2[j], c3[j]);
    const __m256d rsq = _mm256_add_pd(_mm256_mul_pd(v1[j], v1[j]), _mm256_mul_pd(v2[j], v2[j]));
    // polar_accepts: rsq < 1.0 && rsq != 0.0 (unordered-or-unequal, as C's !=).
    const __m256d accepted =
        _mm256_and_pd(_mm256_cmp_pd(rsq, one, _CMP_LT_OQ), _mm256_cmp_pd(rsq, _mm256_setzero_pd(), _CMP_NEQ_UQ));
    refused |= static_cast<unsigned>(~_mm256_movemask_pd(accepted) & 0xf) << (lanes * j);
  }
  return refused;
}

/// All ones in the lanes of a register from `at` that lie before `end`.
DEVIATES_AVX2 inline __m256i live_lanes(std::size_t at, std::size_t end) {
  const auto live = static_cast<std::int64_t>(at < end ? std::min<std::size_t>(end - at, lanes) : 0);
  return _mm256_cmpgt_epi64(_mm256_set1_epi64x(live), _mm256_setr_epi64x(0, 1, 2, 3));
}

/// The next attempt of the entries list[at, min(at + step, end)), each
/// (attempt << 32) + k for pair first + k: the pairs into v1[k], v2[k]
/// (a refused one is overwritten by a later attempt), the refused ones'
/// next entries appended from list + kept (at most at), after every load.
DEVIATES_AVX2 inline std::size_t retry(const keys& key, __m256i c3_word, std::uint64_t first, std::uint64_t* list,
                                std::size_t at, std::size_t end, std::size_t kept, double* v1, double* v2) {
  const __m256i low_words = _mm256_set1_epi64x(0xffffffff);
  std::uint64_t entry[step];
  __m256i p[registers], c2[registers];
  for (int j = 0; j < registers; ++j) {
    const __m256i loaded = _mm256_maskload_epi64(reinterpret_cast<const long long*>(list + at + lanes * j),
                                                 live_lanes(at + lanes * j, end));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(entry + lanes * j), loaded);
    p[j] = _mm256_add_epi64(_mm256_set1_epi64x(static_cast<std::int64_t>(first)), _mm256_and_si256(loaded, low_words));
    c2[j] = _mm256_srli_epi64(loaded, 32);
  }
  __m256d w1[registers], w2[registers];
  const unsigned refused = attempt(p, c2, c3_word, key, w1, w2);
  double t1[step], t2[step];
  for (int j = 0; j < registers; ++j) {
    _mm256_storeu_pd(t1 + lanes * j, w1[j]);
    _mm256_storeu_pd(t2 + lanes * j, w2[j]);
  }
  const std::size_t live = std::min(step, end - at);
  for (std::size_t i = 0; i < live; ++i) {
    const auto k = static_cast<std::uint32_t>(entry[i]);
    v1[k] = t1[i];
    v2[k] = t2[i];
    list[kept] = entry[i] + next_attempt;
    kept += (refused >> i) & 1u;
  }
  return kept;
}

/// Pairs first, ..., first + count - 1 (count <= block_pairs) into v1, v2.
DEVIATES_AVX2 void block(const keys& key, std::uint32_t generation, std::uint64_t first, std::size_t count,
                         double* v1, double* v2) {
  // (attempt << 32) + k for each pair first + k still to draw; each entry is
  // written before the count may pass it, so up to a step past the last.
  std::uint64_t list[block_pairs + step];
  std::size_t n = 0;
  const __m256i c3_word = _mm256_set1_epi64x(generation);
  const __m256i lane_offsets = _mm256_setr_epi64x(0, 1, 2, 3);

  // Attempt 0, every pair in order, stored in place whatever the outcome.
  for (std::size_t at = 0; at < count; at += step) {
    __m256i p[registers], c2[registers];
    for (int j = 0; j < registers; ++j) {
      p[j] = _mm256_add_epi64(_mm256_set1_epi64x(static_cast<std::int64_t>(first + at + lanes * j)), lane_offsets);
      c2[j] = _mm256_setzero_si256();
    }
    __m256d w1[registers], w2[registers];
    unsigned refused = attempt(p, c2, c3_word, key, w1, w2);
    for (int j = 0; j < registers; ++j) {
      const __m256i live = live_lanes(at + lanes * j, count);
      _mm256_maskstore_pd(v1 + at + lanes * j, live, w1[j]);
      _mm256_maskstore_pd(v2 + at + lanes * j, live, w2[j]);
    }
    if (count - at < step) refused &= (1u << (count - at)) - 1;
    for (std::size_t i = 0; i < step; ++i) {
      list[n] = next_attempt + at + i;
      n += (refused >> i) & 1u;
    }
  }

  // The rest: whole steps while there are enough, the entries left short of
  // a step moving behind the survivors to join the next round; then one
  // last part-empty step at a time.
  while (n > 0) {
    std::size_t at = 0, kept = 0;
    for (; at + step <= n; at += step) kept = retry(key, c3_word, first, list, at, n, kept, v1, v2);
    if (at > 0) {
      std::memmove(list + kept, list + at, (n - at) * sizeof *list);
      n = kept + (n - at);
    } else {
      n = retry(key, c3_word, first, list, 0, n, 0, v1, v2);
    }
  }
}

}  // namespace

DEVIATES_AVX2 void polar_pairs_avx2(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair,
                                    std::size_t count, double* v1, double* v2) {
  const keys key = broadcast_keys(seed);
  for (std::size_t done = 0; done < count; done += block_pairs) {
    const std::size_t n = std::min(block_pairs, count - done);
    block(key, generation, first_pair + done, n, v1 + done, v2 + done);
  }
}

}  // namespace deviates::philox_detail
