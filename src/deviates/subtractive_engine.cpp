#include "deviates/subtractive_engine.h"

#include <algorithm>
#include <cstring>

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

/// out[i] = draw i of the stream whose last 55 draws, oldest first, are
/// last[0, 55): draw n is draw n - 55 minus draw n - 24, modulo 10^9. From
/// draw 55 on both terms lie in out, 24 or more places back, so 8 lanes at a
/// time never read a draw not yet made.
__attribute__((target_clones("avx512f", "avx2", "default"))) void continue_stream(const std::int32_t* last,
                                                                                   std::int32_t* out,
                                                                                   std::size_t count) {
  constexpr std::int32_t modulus = subtractive_engine::modulus;
  for (std::size_t i = 0; i < 24; ++i) {
    const std::int32_t d = last[i] - last[i + 31];
    out[i] = d < 0 ? d + modulus : d;
  }
  for (std::size_t i = 24; i < 55; ++i) {
    const std::int32_t d = last[i] - out[i - 24];
    out[i] = d < 0 ? d + modulus : d;
  }
  // Eight at a time: the draws 24 back are then exactly the ones an earlier
  // step stored (24 is a multiple of 8), which the processor forwards from
  // the store at once; a step of 16 would read across two stores and wait.
  std::size_t i = 55;
  for (; i + 8 <= count; i += 8) {
    std::int32_t older[8], newer[8], made[8];
    std::memcpy(older, out + i - 55, sizeof older);
    std::memcpy(newer, out + i - 24, sizeof newer);
    for (int j = 0; j < 8; ++j) {
      const std::int32_t d = older[j] - newer[j];
      made[j] = d < 0 ? d + modulus : d;
    }
    std::memcpy(out + i, made, sizeof made);
  }
  for (; i < count; ++i) {
    const std::int32_t d = out[i - 55] - out[i - 24];
    out[i] = d < 0 ? d + modulus : d;
  }
}

}  // namespace

void subtractive_engine::fill(result_type* out, std::size_t count) {
  while (count > 0 && next_index_ != 0 && next_index_ != 55) {
    *out++ = (*this)();
    --count;
  }
  // At a round boundary, slots 1..55 hold the last 55 draws, oldest first.
  if (const std::size_t whole = count / 55 * 55; whole > 0) {
    continue_stream(state_table_.data() + 1, out, whole);
    std::copy(out + whole - 55, out + whole, state_table_.begin() + 1);
    next_index_ = 55;
    lag_index_ = 31;
    out += whole;
    count -= whole;
  }
  for (; count > 0; --count) *out++ = (*this)();
}

}  // namespace deviates
