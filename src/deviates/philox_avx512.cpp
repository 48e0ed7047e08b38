// Eight pairs in a register of 64-bit lanes, four registers a step so that
// the products of one hide the latency of another's. The products' high
// halves come down by a shuffle rather than a shift (which would queue
// behind the products on the same port), the words' three-way exclusive-or
// is one instruction, the 53-bit integers convert directly (DQ), the list's
// entries are compressed into place and the retried pairs scattered to
// their slots.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "deviates/philox_vector.h"
#include "exact_math/cpu_features.h"

// GCC 12's AVX-512 intrinsics pass an intentionally undefined register as the
// unused merge source, and then warn that it is, or may be, uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define DEVIATES_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl")))

namespace deviates::philox_detail {

bool cpu_runs_avx512() { return exact_math::cpu_has_avx512(); }

namespace {

constexpr int lanes = 8;
constexpr int registers = 4;
constexpr std::size_t step = lanes * registers;
constexpr int exclusive_or3 = 0x96;  // the truth table of a ^ b ^ c

struct keys {
  __m512i k0[10], k1[10];
};

DEVIATES_AVX512 keys broadcast_keys(std::uint64_t seed) {
  const auto round = round_keys(seed);
  keys out;
  for (int r = 0; r < 10; ++r) {
    out.k0[r] = _mm512_set1_epi64(round[r][0]);
    out.k1[r] = _mm512_set1_epi64(round[r][1]);
  }
  return out;
}

/// 2.0 * (((hi * 2^32 + lo) >> 11) * 2^-53) - 1.0 from the low halves of lo
/// and hi, as m * 2^-52 - 1.0 with m the 53-bit integer: the same value,
/// and exact at each step, so the same bits.
DEVIATES_AVX512 inline __m512d unit_from_words(__m512i lo, __m512i hi) {
  const __m512i joined = _mm512_mask_shuffle_epi32(lo, 0xaaaa, hi, _MM_PERM_CDAB);
  const __m512d m = _mm512_cvtepi64_pd(_mm512_srli_epi64(joined, 11));
  return _mm512_sub_pd(_mm512_mul_pd(m, _mm512_set1_pd(0x1p-52)), _mm512_set1_pd(1.0));
}

/// Philox4x32-10 of R registers of counters: pair indices in p, attempt
/// numbers in c2 (low halves); the output words in c0 .. c3 (low halves).
template <int R>
DEVIATES_AVX512 inline void rounds(const __m512i (&p)[R], const __m512i (&c2_words)[R], __m512i c3_word,
                                   const keys& key, __m512i (&c0)[R], __m512i (&c1)[R], __m512i (&c2)[R],
                                   __m512i (&c3)[R]) {
  const __m512i m0 = _mm512_set1_epi64(0xD2511F53);
  const __m512i m1 = _mm512_set1_epi64(0xCD9E8D57);
  for (int j = 0; j < R; ++j) {
    c0[j] = p[j];
    c1[j] = _mm512_srli_epi64(p[j], 32);
    c2[j] = c2_words[j];
    c3[j] = c3_word;
  }
  for (int r = 0; r < 10; ++r) {
    for (int j = 0; j < R; ++j) {
      const __m512i product0 = _mm512_mul_epu32(c0[j], m0);
      const __m512i product1 = _mm512_mul_epu32(c2[j], m1);
      c0[j] = _mm512_ternarylogic_epi64(_mm512_shuffle_epi32(product1, _MM_PERM_CDAB), c1[j], key.k0[r], exclusive_or3);
      c2[j] = _mm512_ternarylogic_epi64(_mm512_shuffle_epi32(product0, _MM_PERM_CDAB), c3[j], key.k1[r], exclusive_or3);
      c1[j] = product1;
      c3[j] = product0;
    }
  }
}

/// One attempt for R registers of pairs: pair indices in p, attempt numbers
/// in c2 (low halves). Gives (v1, v2) and a mask per register, set where the
/// attempt is refused.
template <int R>
DEVIATES_AVX512 inline void attempt(const __m512i (&p)[R], const __m512i (&c2_words)[R], __m512i c3_word,
                                    const keys& key, __m512d (&v1)[R], __m512d (&v2)[R], __mmask8 (&refused)[R]) {
  __m512i c0[R], c1[R], c2[R], c3[R];
  rounds(p, c2_words, c3_word, key, c0, c1, c2, c3);
  const __m512d one = _mm512_set1_pd(1.0);
  for (int j = 0; j < R; ++j) {
    v1[j] = unit_from_words(c0[j], c1[j]);
    v2[j] = unit_from_words(c2[j], c3[j]);
    const __m512d rsq = _mm512_add_pd(_mm512_mul_pd(v1[j], v1[j]), _mm512_mul_pd(v2[j], v2[j]));
    // The complement of polar_accepts: rsq >= 1.0 (or unordered) or rsq == 0.0.
    refused[j] = static_cast<__mmask8>(_mm512_cmp_pd_mask(rsq, one, _CMP_NLT_UQ) |
                                       _mm512_cmp_pd_mask(rsq, _mm512_setzero_pd(), _CMP_EQ_OQ));
  }
}

/// The lanes of a register from `at` that lie before `end`.
inline __mmask8 live_lanes(std::size_t at, std::size_t end) {
  const std::size_t live = at < end ? end - at : 0;
  return static_cast<__mmask8>(live >= lanes ? 0xff : (1u << live) - 1);
}

/// Appends the `chosen` lanes of `entries` at list + n; writes all eight slots from there.
DEVIATES_AVX512 inline std::size_t append(std::uint64_t* list, std::size_t n, __m512i entries, __mmask8 chosen) {
  _mm512_storeu_si512(list + n, _mm512_maskz_compress_epi64(chosen, entries));
  return n + static_cast<std::size_t>(__builtin_popcount(chosen));
}

/// The next attempt of the R x 8 entries from list + at (those before `end`),
/// each (attempt << 32) + k for pair first + k: accepted pairs into v1[k],
/// v2[k]; the refused ones' next entries appended from list + kept (at most
/// at), after every load.
template <int R>
DEVIATES_AVX512 inline std::size_t retry(const keys& key, __m512i c3_word, __m512i first, std::uint64_t* list,
                                         std::size_t at, std::size_t end, std::size_t kept, double* v1, double* v2) {
  const __m512i low_words = _mm512_set1_epi64(0xffffffff);
  __m512i entries[R], k[R], p[R], c2[R];
  __mmask8 live[R], refused[R];
  __m512d w1[R], w2[R];
  for (int j = 0; j < R; ++j) {
    live[j] = live_lanes(at + lanes * j, end);
    entries[j] = _mm512_maskz_loadu_epi64(live[j], list + at + lanes * j);
    k[j] = _mm512_and_si512(entries[j], low_words);
    p[j] = _mm512_add_epi64(first, k[j]);
    c2[j] = _mm512_srli_epi64(entries[j], 32);
  }
  attempt(p, c2, c3_word, key, w1, w2, refused);
  const __m512i next_attempt = _mm512_set1_epi64(std::int64_t{1} << 32);
  for (int j = 0; j < R; ++j) {
    const __mmask8 accepted = static_cast<__mmask8>(live[j] & ~refused[j]);
    _mm512_mask_i64scatter_pd(v1, accepted, k[j], w1[j], 8);
    _mm512_mask_i64scatter_pd(v2, accepted, k[j], w2[j], 8);
    kept = append(list, kept, _mm512_add_epi64(entries[j], next_attempt), static_cast<__mmask8>(live[j] & refused[j]));
  }
  return kept;
}

/// Pairs first, ..., first + count - 1 (count <= block_pairs) into v1, v2.
DEVIATES_AVX512 void block(const keys& key, std::uint32_t generation, std::uint64_t first, std::size_t count,
                           double* v1, double* v2) {
  // (attempt << 32) + k for each pair first + k still to draw.
  std::uint64_t list[block_pairs + lanes];
  std::size_t n = 0;
  const __m512i c3_word = _mm512_set1_epi64(generation);
  const __m512i lane_offsets = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  const __m512i first_vector = _mm512_set1_epi64(static_cast<std::int64_t>(first));

  // Attempt 0, every pair in order, stored in place whatever the outcome (a
  // later attempt overwrites a refused one).
  for (std::size_t at = 0; at < count; at += step) {
    __m512i k[registers], p[registers], c2[registers];
    __m512d w1[registers], w2[registers];
    __mmask8 refused[registers];
    for (int j = 0; j < registers; ++j) {
      k[j] = _mm512_add_epi64(_mm512_set1_epi64(static_cast<std::int64_t>(at + lanes * j)), lane_offsets);
      p[j] = _mm512_add_epi64(first_vector, k[j]);
      c2[j] = _mm512_setzero_si512();
    }
    attempt(p, c2, c3_word, key, w1, w2, refused);
    for (int j = 0; j < registers; ++j) {
      const __mmask8 live = live_lanes(at + lanes * j, count);
      _mm512_mask_storeu_pd(v1 + at + lanes * j, live, w1[j]);
      _mm512_mask_storeu_pd(v2 + at + lanes * j, live, w2[j]);
      n = append(list, n, _mm512_add_epi64(k[j], _mm512_set1_epi64(std::int64_t{1} << 32)),
                 static_cast<__mmask8>(live & refused[j]));
    }
  }

  // The rest: whole steps while there are enough, the entries left short of
  // a step moving behind the survivors to join the next round; then a
  // register at a time.
  while (n > 0) {
    std::size_t at = 0, kept = 0;
    for (; at + step <= n; at += step)
      kept = retry<registers>(key, c3_word, first_vector, list, at, n, kept, v1, v2);
    if (at > 0) {
      std::memmove(list + kept, list + at, (n - at) * sizeof *list);
      n = kept + (n - at);
      continue;
    }
    for (; at < n; at += lanes) kept = retry<1>(key, c3_word, first_vector, list, at, n, kept, v1, v2);
    n = kept;
  }
}

}  // namespace

DEVIATES_AVX512 void uniform_pairs_avx512(std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt_word,
                                          std::uint64_t first_pair, std::size_t count, double* u1, double* u2) {
  const keys key = broadcast_keys(seed);
  const __m512i c3_word = _mm512_set1_epi64(generation);
  const __m512i lane_offsets = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  const __m512i first_vector = _mm512_set1_epi64(static_cast<std::int64_t>(first_pair));
  const __m512d scale = _mm512_set1_pd(0x1p-53);
  __m512i c2_words[registers];
  for (int j = 0; j < registers; ++j) c2_words[j] = _mm512_set1_epi64(attempt_word);
  for (std::size_t at = 0; at < count; at += step) {
    __m512i p[registers], c0[registers], c1[registers], c2[registers], c3[registers];
    for (int j = 0; j < registers; ++j) {
      p[j] = _mm512_add_epi64(first_vector,
                              _mm512_add_epi64(_mm512_set1_epi64(static_cast<std::int64_t>(at + lanes * j)), lane_offsets));
    }
    rounds(p, c2_words, c3_word, key, c0, c1, c2, c3);
    for (int j = 0; j < registers; ++j) {
      const __mmask8 live = live_lanes(at + lanes * j, count);
      // (hi * 2^32 + lo) >> 11, exact in a double, times 2^-53: exact too.
      const __m512i first_joined = _mm512_mask_shuffle_epi32(c0[j], 0xaaaa, c1[j], _MM_PERM_CDAB);
      const __m512i second_joined = _mm512_mask_shuffle_epi32(c2[j], 0xaaaa, c3[j], _MM_PERM_CDAB);
      _mm512_mask_storeu_pd(u1 + at + lanes * j, live,
                            _mm512_mul_pd(_mm512_cvtepi64_pd(_mm512_srli_epi64(first_joined, 11)), scale));
      _mm512_mask_storeu_pd(u2 + at + lanes * j, live,
                            _mm512_mul_pd(_mm512_cvtepi64_pd(_mm512_srli_epi64(second_joined, 11)), scale));
    }
  }
}

DEVIATES_AVX512 void polar_pairs_avx512(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair,
                                        std::size_t count, double* v1, double* v2) {
  const keys key = broadcast_keys(seed);
  for (std::size_t done = 0; done < count; done += block_pairs) {
    const std::size_t n = std::min(block_pairs, count - done);
    block(key, generation, first_pair + done, n, v1 + done, v2 + done);
  }
}

}  // namespace deviates::philox_detail
