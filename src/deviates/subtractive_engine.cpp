#include "deviates/subtractive_engine.h"

#include <immintrin.h>

#include <algorithm>

#include "exact_math/cpu_features.h"

namespace deviates {

void subtractive_engine::seed(std::int64_t seed) {
  const std::int64_t magnitude = seed < 0 ? -seed : seed;
  // 64-bit so that any magnitude works; the result lies in [0, 10^9).
  std::int64_t r = (161803398 - magnitude) % modulus;
  if (r < 0) r += modulus;

  state_table_ = {};
  result_type mj = static_cast<result_type>(r);
  result_type mk = 1;
  state_table_[55] = mj;
  // 21 is coprime to 55, so slot (21 * i) mod 55 visits 1..54 once each.
  for (int i = 1; i <= 54; ++i) {
    const int ii = (21 * i) % 55;
    state_table_[ii] = mk;
    result_type next = mj - mk;
    if (next < 0) next += modulus;
    mj = state_table_[ii];
    mk = next;
  }
  for (int pass = 0; pass < 4; ++pass) {
    for (int i = 1; i <= 55; ++i) {
      state_table_[i] -= state_table_[1 + (i + 30) % 55];
      if (state_table_[i] < 0) state_table_[i] += modulus;
    }
  }
  next_index_ = 0;
  lag_index_ = 31;
}

namespace {

constexpr std::int32_t modulus = subtractive_engine::modulus;

// Draw n of the stream is draw n - 55 minus draw n - 24, modulo 10^9. The
// functions below make draws [0, count) into out from the last 55 draws
// before them, oldest first, in last[0, 55).

/// Draws [0, 55), whose terms lie partly in `last`.
void first_round(const std::int32_t* last, std::int32_t* out) {
  for (std::size_t i = 0; i < 24; ++i) {
    const std::int32_t d = last[i] - last[i + 31];
    out[i] = d < 0 ? d + modulus : d;
  }
  for (std::size_t i = 24; i < 55; ++i) {
    const std::int32_t d = last[i] - out[i - 24];
    out[i] = d < 0 ? d + modulus : d;
  }
}

/// Draws [from, count), from 55 on, whose terms lie in out.
void later_rounds(std::int32_t* out, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < count; ++i) {
    const std::int32_t d = out[i - 55] - out[i - 24];
    out[i] = d < 0 ? d + modulus : d;
  }
}

void continue_stream_plain(const std::int32_t* last, std::int32_t* out, std::size_t count) {
  first_round(last, out);
  later_rounds(out, 55, count);
}

/// From draw 56 on, eight draws a step from the last 56, kept in seven
/// registers: the draws 24 back are one of them (24 is a multiple of 8) and
/// those 55 back two of them turned one lane down and blended, so no step
/// waits on memory, and each waits only on the step three before it.
__attribute__((target("avx2"))) void continue_stream_avx2(const std::int32_t* last, std::int32_t* out,
                                                          std::size_t count) {
  first_round(last, out);
  if (count < 56 + 8) {
    later_rounds(out, 55, count);
    return;
  }
  later_rounds(out, 55, 56);
  const __m256i m = _mm256_set1_epi32(modulus);
  const __m256i rotate = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 0);
  // bj holds draws i - 56 + 8 j .. i - 49 + 8 j; rotated0 is b0 turned one
  // lane down, so that draws i - 55 .. i - 48 are it with its last lane
  // taken from b1 turned the same way.
  const __m256i* blocks = reinterpret_cast<const __m256i*>(out);
  __m256i b1 = _mm256_loadu_si256(blocks + 1), b2 = _mm256_loadu_si256(blocks + 2), b3 = _mm256_loadu_si256(blocks + 3),
          b4 = _mm256_loadu_si256(blocks + 4), b5 = _mm256_loadu_si256(blocks + 5), b6 = _mm256_loadu_si256(blocks + 6);
  __m256i rotated0 = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(blocks), rotate);
  std::size_t i = 56;
  for (; i + 8 <= count; i += 8) {
    const __m256i rotated1 = _mm256_permutevar8x32_epi32(b1, rotate);
    const __m256i older = _mm256_blend_epi32(rotated0, rotated1, 0x80);
    const __m256i d = _mm256_sub_epi32(older, b4);
    // d + 10^9 where d is negative: read as unsigned, a negative d lies above
    // 2^31 and d + 10^9 below 10^9, while a non-negative d lies below
    // d + 10^9 (under 2^31), so the unsigned minimum is the draw either way.
    const __m256i made = _mm256_min_epu32(d, _mm256_add_epi32(d, m));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), made);
    rotated0 = rotated1;
    b1 = b2;
    b2 = b3;
    b3 = b4;
    b4 = b5;
    b5 = b6;
    b6 = made;
  }
  later_rounds(out, i, count);
}

// The AVX2 path is chosen at run time rather than through an ifunc, whose
// resolver would run before a sanitizer's runtime is up.
using exact_math::cpu_has_avx2;

}  // namespace

void subtractive_engine::fill(result_type* out, std::size_t count) {
  while (count > 0 && next_index_ != 0 && next_index_ != 55) {
    *out++ = (*this)();
    --count;
  }
  // At a round boundary, slots 1..55 hold the last 55 draws, oldest first.
  if (const std::size_t whole = count / 55 * 55; whole > 0) {
    (cpu_has_avx2() ? continue_stream_avx2 : continue_stream_plain)(state_table_.data() + 1, out, whole);
    std::copy(out + whole - 55, out + whole, state_table_.begin() + 1);
    next_index_ = 55;
    lag_index_ = 31;
    out += whole;
    count -= whole;
  }
  for (; count > 0; --count) *out++ = (*this)();
}

}  // namespace deviates
