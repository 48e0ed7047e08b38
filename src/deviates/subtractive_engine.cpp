#include "deviates/subtractive_engine.h"

#include <algorithm>

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

// With next_index_ at 0 or 55 the lag index is 31, and the next 55 draws
// update slots 1..55 in order: slot i against slot i + 31 (not yet updated in
// this round) for i <= 24, then against slot i - 24 (already updated).
void subtractive_engine::draw_round() {
  result_type* t = state_table_.data();
  for (int i = 1; i <= 24; ++i) {
    const result_type d = t[i] - t[i + 31];
    t[i] = d < 0 ? d + modulus : d;
  }
  for (int i = 25; i <= 55; ++i) {
    const result_type d = t[i] - t[i - 24];
    t[i] = d < 0 ? d + modulus : d;
  }
  next_index_ = 55;
  lag_index_ = 31;
}

void subtractive_engine::fill(result_type* out, std::size_t count) {
  while (count > 0 && next_index_ != 0 && next_index_ != 55) {
    *out++ = (*this)();
    --count;
  }
  for (; count >= 55; count -= 55, out += 55) {
    draw_round();
    std::copy(state_table_.begin() + 1, state_table_.end(), out);
  }
  for (; count > 0; --count) *out++ = (*this)();
}

}  // namespace deviates
