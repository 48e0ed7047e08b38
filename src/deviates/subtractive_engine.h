// subtractive_engine.h: the lagged subtractive generator behind every random
// draw of a run.
//
// A 55-entry table of integers in [0, 10^9); each draw replaces one entry by
// its difference with the entry 24 places behind it, modulo 10^9. The draw is
// that integer; as a uniform deviate it is scaled by 1e-9 into [0, 1).
//
// Thread-compatible, not thread-safe: one instance per thread of use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace deviates {

class subtractive_engine {
 public:
  using result_type = std::int32_t;
  static constexpr result_type modulus = 1000000000;
  /// The uniform deviate of a draw d is d * unit_scale (a product, not d / 10^9).
  static constexpr double unit_scale = 1e-9;

  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return modulus - 1; }

  /// Seeds from |seed|; equal magnitudes, or magnitudes 10^9 apart, give one sequence.
  explicit subtractive_engine(std::int64_t seed = 0) { this->seed(seed); }
  void seed(std::int64_t seed);

  result_type operator()() {
    if (++next_index_ == 56) next_index_ = 1;
    if (++lag_index_ == 56) lag_index_ = 1;
    result_type d = state_table_[next_index_] - state_table_[lag_index_];
    if (d < 0) d += modulus;
    state_table_[next_index_] = d;
    return d;
  }

  /// The next draw as a uniform deviate in [0, 1).
  double next_unit() { return (*this)() * unit_scale; }

  void discard(unsigned long long count) {
    while (count-- > 0) (*this)();
  }

  /// The next `count` draws, in order, into `out`. Whole rounds of 55 draws
  /// are made in `out` itself, many lanes at a time.
  void fill(result_type* out, std::size_t count);

  friend bool operator==(const subtractive_engine&, const subtractive_engine&) = default;

 private:
  std::array<result_type, 56> state_table_{};  // slot 0 unused
  int next_index_ = 0;
  int lag_index_ = 31;
};

}  // namespace deviates
