#include "deviates/philox.h"

#include "deviates/philox_vector.h"
#include "deviates/polar_gaussian.h"

namespace deviates {
namespace {

/// (r_hi * 2^32 + r_lo) >> 11 as a uniform in [0, 1), then mapped to [-1, 1).
double unit_from_words(std::uint32_t r_lo, std::uint32_t r_hi) {
  const std::uint64_t m = ((std::uint64_t{r_hi} << 32) | r_lo) >> 11;
  const double u = static_cast<double>(m) * 0x1p-53;
  return 2.0 * u - 1.0;
}

philox_lanes best_lanes() {
  static const philox_lanes best = philox_detail::cpu_runs_avx512() ? philox_lanes::eight
                                   : philox_detail::cpu_runs_avx2() ? philox_lanes::four
                                                                    : philox_lanes::one;
  return best;
}

}  // namespace

polar_pair philox_polar_pair(std::uint64_t seed, std::uint32_t generation, std::uint64_t pair) {
  const auto key = philox_key(seed);
  const auto low = static_cast<std::uint32_t>(pair);
  const auto high = static_cast<std::uint32_t>(pair >> 32);
  for (std::uint32_t attempt = 0;; ++attempt) {
    const auto r = philox4x32_10({low, high, attempt, generation}, key);
    const double v1 = unit_from_words(r[0], r[1]);
    const double v2 = unit_from_words(r[2], r[3]);
    if (polar_accepts(polar_rsq(v1, v2))) return {v1, v2};
  }
}

void philox_uniform_pairs(philox_lanes lanes, std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt,
                          std::uint64_t first_pair, std::size_t count, double* u1, double* u2) {
  if (lanes == philox_lanes::eight) {
    philox_detail::uniform_pairs_avx512(seed, generation, attempt, first_pair, count, u1, u2);
    return;
  }
  // The definition, pair by pair (the eight lanes are checked against it).
  const auto key = philox_key(seed);
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint64_t pair = first_pair + k;
    const auto r = philox4x32_10({static_cast<std::uint32_t>(pair), static_cast<std::uint32_t>(pair >> 32), attempt,
                                  generation}, key);
    u1[k] = static_cast<double>(((std::uint64_t{r[1]} << 32) | r[0]) >> 11) * 0x1p-53;
    u2[k] = static_cast<double>(((std::uint64_t{r[3]} << 32) | r[2]) >> 11) * 0x1p-53;
  }
}

void philox_uniform_pairs(std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt,
                          std::uint64_t first_pair, std::size_t count, double* u1, double* u2) {
  philox_uniform_pairs(best_lanes(), seed, generation, attempt, first_pair, count, u1, u2);
}

bool cpu_runs_philox_lanes(philox_lanes lanes) {
  switch (lanes) {
    case philox_lanes::one: return true;
    case philox_lanes::four: return philox_detail::cpu_runs_avx2();
    case philox_lanes::eight: return philox_detail::cpu_runs_avx512();
  }
  return false;
}

void philox_polar_pairs(philox_lanes lanes, std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair,
                        std::size_t count, double* v1, double* v2) {
  switch (lanes) {
    case philox_lanes::eight:
      philox_detail::polar_pairs_avx512(seed, generation, first_pair, count, v1, v2);
      return;
    case philox_lanes::four:
      philox_detail::polar_pairs_avx2(seed, generation, first_pair, count, v1, v2);
      return;
    case philox_lanes::one:
      // The definition pair by pair: the other forms are checked against it.
      for (std::size_t k = 0; k < count; ++k) {
        const polar_pair drawn = philox_polar_pair(seed, generation, first_pair + k);
        v1[k] = drawn.v1;
        v2[k] = drawn.v2;
      }
      return;
  }
}

void philox_polar_pairs(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair, std::size_t count,
                        double* v1, double* v2) {
  philox_polar_pairs(best_lanes(), seed, generation, first_pair, count, v1, v2);
}

}  // namespace deviates
