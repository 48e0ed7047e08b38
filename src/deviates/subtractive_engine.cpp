#include "deviates/subtractive_engine.h"

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

}  // namespace deviates
