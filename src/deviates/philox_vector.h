// philox_vector.h: the bulk polar pairs of the counter-based stream, many
// lanes at a time.
//
// Both forms run Philox on 64-bit lanes, one counter per lane with its words
// in the low halves of four registers: a 32 x 32 -> 64-bit lane product
// reads only the low halves, and the exclusive-ors that feed the high halves
// never reach a low one, so the high halves may hold anything until the
// words are joined into the 53-bit integers.
//
// Attempt 0 of every pair runs in order and is stored in place, refused or
// not. Each refused pair k leaves an entry (a << 32) + k, a its next
// attempt, in a list. The list is worked through a step at a time, every
// lane with its own attempt number; a pair refused again re-enters the list
// with its next attempt, and the entries left short of a whole step are
// carried into the next round, so steps stay full until the list is shorter
// than one. Lists are kept per block of pairs, in a fixed buffer on the
// stack.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "deviates/philox.h"

namespace deviates::philox_detail {

/// Pairs per block: the two arrays' part (16 KiB) and its list (8 KiB) stay
/// in the first-level cache while their attempts run.
inline constexpr std::size_t block_pairs = 1024;

/// The keys of the ten rounds: round_keys[r] = {k0 + r * 0x9E3779B9, k1 + r * 0xBB67AE85}.
inline std::array<std::array<std::uint32_t, 2>, 10> round_keys(std::uint64_t seed) {
  std::array<std::array<std::uint32_t, 2>, 10> keys{};
  keys[0] = philox_key(seed);
  for (std::size_t r = 1; r < keys.size(); ++r) keys[r] = {keys[r - 1][0] + 0x9E3779B9u, keys[r - 1][1] + 0xBB67AE85u};
  return keys;
}

bool cpu_runs_avx2();
bool cpu_runs_avx512();

/// philox_polar_pairs four lanes at a time; only where cpu_runs_avx2().
void polar_pairs_avx2(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair, std::size_t count,
                      double* v1, double* v2);

/// philox_uniform_pairs eight lanes at a time; only where cpu_runs_avx512().
void uniform_pairs_avx512(std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt, std::uint64_t first_pair,
                          std::size_t count, double* u1, double* u2);

/// philox_polar_pairs eight lanes at a time; only where cpu_runs_avx512().
void polar_pairs_avx512(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair, std::size_t count,
                        double* v1, double* v2);

}  // namespace deviates::philox_detail
