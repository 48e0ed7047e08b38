// philox.h: the counter-based random stream. Every polar pair is a function
// of (seed, generation, pair index) alone, so any stretch of a generation can
// be drawn anywhere, in any order, by any number of threads, with the same
// bits.
//
// The stream, completely:
//
// Uniform bits come from Philox4x32-10 (J. K. Salmon, M. A. Moraes,
// R. O. Dror and D. E. Shaw, "Parallel random numbers: as easy as 1, 2, 3",
// SC 2011), as Random123 implements it. It maps a counter of four 32-bit
// words (c0, c1, c2, c3) and a key of two (k0, k1) to four words by ten
// rounds; one round is
//   (c0, c1, c2, c3) <- (hi(M1 * c2) ^ c1 ^ k0, lo(M1 * c2),
//                        hi(M0 * c0) ^ c3 ^ k1, lo(M0 * c0))
// where M0 = 0xD2511F53, M1 = 0xCD9E8D57, * is the full 64-bit product of
// two 32-bit words and hi, lo its upper and lower 32 bits. After each round
// but the last the key moves on: k0 += 0x9E3779B9, k1 += 0xBB67AE85 (modulo
// 2^32). The output (r0, r1, r2, r3) is the counter after the tenth round;
// for the zero counter under the zero key it is 0x6627e8d5, 0xe169c58d,
// 0xbc57ac4c, 0x9b00dbd8.
//
// The key is the seed s, a 64-bit unsigned whole number: k0 = s mod 2^32,
// k1 = floor(s / 2^32).
//
// Pair p (p < 2^47) of generation g (0 for the first children, ...,
// step_number - 1 for the last, step_number for the final modulation) is
// drawn in attempts a = 0, 1, 2, ...; attempt a uses the counter
//   c0 = p mod 2^32, c1 = floor(p / 2^32), c2 = a, c3 = g.
// From its output, m1 = (r1 * 2^32 + r0) >> 11 and m2 = (r3 * 2^32 + r2) >> 11
// are 53-bit integers, u_i = m_i * 2^-53 lies in [0, 1), and
// v_i = 2.0 * u_i - 1.0 in IEEE double lies in [-1, 1) (both operations are
// exact). The attempt is accepted when rsq = v1 * v1 + v2 * v2 (two rounded
// products, then their rounded sum; nothing fused) satisfies rsq < 1.0 and
// rsq != 0.0 (polar_rsq and polar_accepts, in polar_gaussian.h). The first
// accepted attempt's (v1, v2) is pair p's.
//
// The pair's Gaussian deviates are then v1 * fac and v2 * fac with
// fac = polar_factor(rsq), for children 2p and 2p + 1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace deviates {

/// Philox4x32-10 of one counter under one key, as defined above.
constexpr std::array<std::uint32_t, 4> philox4x32_10(std::array<std::uint32_t, 4> counter,
                                                    std::array<std::uint32_t, 2> key) {
  constexpr std::uint64_t m0 = 0xD2511F53, m1 = 0xCD9E8D57;
  for (int round = 0; round < 10; ++round) {
    if (round > 0) {
      key[0] += 0x9E3779B9u;
      key[1] += 0xBB67AE85u;
    }
    const std::uint64_t product0 = m0 * counter[0];
    const std::uint64_t product1 = m1 * counter[2];
    counter = {static_cast<std::uint32_t>(product1 >> 32) ^ counter[1] ^ key[0], static_cast<std::uint32_t>(product1),
               static_cast<std::uint32_t>(product0 >> 32) ^ counter[3] ^ key[1], static_cast<std::uint32_t>(product0)};
  }
  return counter;
}

/// The key of a seed: its low word, then its high word.
constexpr std::array<std::uint32_t, 2> philox_key(std::uint64_t seed) {
  return {static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)};
}

/// The pair indices a generation can hold: p < 2^47.
inline constexpr std::uint64_t philox_pair_limit = std::uint64_t{1} << 47;

/// An accepted pair: both in [-1, 1), strictly inside the unit disc, not both zero.
struct polar_pair {
  double v1, v2;
};

/// Pair `pair` (below philox_pair_limit) of generation `generation` under `seed`.
polar_pair philox_polar_pair(std::uint64_t seed, std::uint32_t generation, std::uint64_t pair);

/// Pairs first_pair, ..., first_pair + count - 1 (all below philox_pair_limit)
/// into v1[0, count) and v2[0, count): the same bits as philox_polar_pair,
/// on the fastest way this CPU has. Nothing else is written and nothing is
/// allocated.
void philox_polar_pairs(std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair, std::size_t count,
                        double* v1, double* v2);

/// The uniforms of pairs first_pair .. first_pair + count - 1 of one
/// attempt word: for the counter (p mod 2^32, floor(p / 2^32), attempt,
/// generation), u1[k] = ((r1 * 2^32 + r0) >> 11) * 2^-53 and u2[k] the same
/// of (r3, r2), each in [0, 1). The laws beyond the lognormal draw their
/// factors from these (cascade/factor_draws.h). Nothing is allocated.
void philox_uniform_pairs(std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt,
                          std::uint64_t first_pair, std::size_t count, double* u1, double* u2);

/// The ways the bulk form runs: one pair at a time; four lanes (AVX2); eight
/// lanes (AVX-512 F, DQ and VL).
enum class philox_lanes { one, four, eight };

/// Whether this CPU (and its OS) runs those lanes; `one` always.
bool cpu_runs_philox_lanes(philox_lanes lanes);

/// philox_uniform_pairs on the given lanes, which must be ones the CPU runs
/// (four lanes run the definition pair by pair); the same bits.
void philox_uniform_pairs(philox_lanes lanes, std::uint64_t seed, std::uint32_t generation, std::uint32_t attempt,
                          std::uint64_t first_pair, std::size_t count, double* u1, double* u2);

/// philox_polar_pairs on the given lanes, which must be ones the CPU runs
/// (for comparisons and measurement; the results are the same bits).
void philox_polar_pairs(philox_lanes lanes, std::uint64_t seed, std::uint32_t generation, std::uint64_t first_pair,
                        std::size_t count, double* v1, double* v2);

}  // namespace deviates
