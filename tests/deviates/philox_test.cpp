#include "deviates/philox.h"

#include <Random123/philox.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using deviates::philox4x32_10;
using deviates::philox_lanes;
using words = std::array<std::uint32_t, 4>;
using key_words = std::array<std::uint32_t, 2>;

words random123_philox(const words& counter, const key_words& key) {
  const r123::Philox4x32::ctr_type c = {{counter[0], counter[1], counter[2], counter[3]}};
  const r123::Philox4x32::key_type k = {{key[0], key[1]}};
  const auto out = r123::Philox4x32()(c, k);
  return {out[0], out[1], out[2], out[3]};
}

// Random123's known-answer vectors for Philox4x32-10, which Random123 itself
// must give too (so a change of its defaults would show here).
TEST(PhiloxGenerator, MatchesPublishedKnownAnswers) {
  struct known {
    words counter;
    key_words key;
    words output;
  };
  const known table[] = {
      {{0, 0, 0, 0}, {0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
      {{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
       {0xffffffff, 0xffffffff},
       {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
      {{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
       {0xa4093822, 0x299f31d0},
       {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
  };
  for (const known& row : table) {
    EXPECT_EQ(random123_philox(row.counter, row.key), row.output);
    EXPECT_EQ(philox4x32_10(row.counter, row.key), row.output);
  }
}

// Every combination of words at the edges of 32 bits (where a counter made
// from a 64-bit pair index carries from one word into the next), under keys
// at the edges, then random counters and keys.
TEST(PhiloxGenerator, MatchesRandom123) {
  const std::uint32_t edges[] = {0, 1, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff};
  for (const std::uint32_t c0 : edges)
    for (const std::uint32_t c1 : edges)
      for (const std::uint32_t c2 : edges)
        for (const std::uint32_t c3 : edges)
          for (const std::uint32_t k0 : edges)
            for (const std::uint32_t k1 : edges) {
              const words counter{c0, c1, c2, c3};
              const key_words key{k0, k1};
              ASSERT_EQ(philox4x32_10(counter, key), random123_philox(counter, key))
                  << std::hex << c0 << ' ' << c1 << ' ' << c2 << ' ' << c3 << " key " << k0 << ' ' << k1;
            }
  std::mt19937 random(20110101);
  const auto word = [&random] { return static_cast<std::uint32_t>(random()); };
  for (int n = 0; n < 100000; ++n) {
    const words counter{word(), word(), word(), word()};
    const key_words key{word(), word()};
    ASSERT_EQ(philox4x32_10(counter, key), random123_philox(counter, key));
  }
}

/// Attempt `a` of a pair, worked out from the stream's definition.
struct attempt_outcome {
  double v1, v2;
  bool accepted;
};

double unit_from(std::uint32_t low, std::uint32_t high) {
  const std::uint64_t m = ((std::uint64_t{high} << 32) | low) >> 11;
  return 2.0 * std::ldexp(static_cast<double>(m), -53) - 1.0;
}

attempt_outcome defined_attempt(std::uint64_t seed, std::uint32_t generation, std::uint64_t pair, std::uint32_t a) {
  const words counter{static_cast<std::uint32_t>(pair & 0xffffffff), static_cast<std::uint32_t>(pair >> 32), a,
                      generation};
  const key_words key{static_cast<std::uint32_t>(seed & 0xffffffff), static_cast<std::uint32_t>(seed >> 32)};
  const words r = random123_philox(counter, key);
  const double v1 = unit_from(r[0], r[1]);
  const double v2 = unit_from(r[2], r[3]);
  const double rsq = v1 * v1 + v2 * v2;
  return {v1, v2, rsq < 1.0 && rsq != 0.0};
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// For pairs whose first accepted attempt is 0, 1 and 2 (found by working
// through the definition), at pair indices below and across 2^32 and at
// the top of the range, the pair is that attempt's.
TEST(PhiloxPair, IsTheFirstAcceptedAttempt) {
  const std::uint64_t seeds[] = {0, 1700000000, std::uint64_t{1} << 32, 0xfedcba9876543210, ~std::uint64_t{0}};
  const std::uint32_t generations[] = {0, 1, 48};
  const std::uint64_t starts[] = {0, (std::uint64_t{1} << 32) - 40, deviates::philox_pair_limit - 4000};
  for (const std::uint64_t seed : seeds)
    for (const std::uint32_t generation : generations)
      for (const std::uint64_t start : starts)
        for (std::uint32_t wanted = 0; wanted < 3; ++wanted) {
          // The first pair from `start` whose attempts before `wanted` are all refused and attempt `wanted` accepted.
          std::uint64_t pair = start;
          for (;; ++pair) {
            ASSERT_LT(pair, deviates::philox_pair_limit) << "no pair accepted at attempt " << wanted;
            std::uint32_t a = 0;
            while (!defined_attempt(seed, generation, pair, a).accepted) ++a;
            if (a == wanted) break;
          }
          const attempt_outcome expected = defined_attempt(seed, generation, pair, wanted);
          const deviates::polar_pair drawn = deviates::philox_polar_pair(seed, generation, pair);
          EXPECT_TRUE(same_bits(drawn.v1, expected.v1) && same_bits(drawn.v2, expected.v2))
              << "seed " << seed << " generation " << generation << " pair " << pair << " attempt " << wanted << ": ("
              << drawn.v1 << ", " << drawn.v2 << ") against (" << expected.v1 << ", " << expected.v2 << ")";
        }
}

/// A stretch of pairs: the first index and how many.
struct span {
  std::uint64_t first;
  std::size_t count;
};

std::vector<span> spans() {
  std::vector<span> out;
  // Every length up to a few steps of the widest lanes, from an aligned and
  // an unaligned start.
  for (std::size_t count = 0; count <= 40; ++count) {
    out.push_back({0, count});
    out.push_back({3, count});
  }
  const std::uint64_t carry = std::uint64_t{1} << 32;
  out.insert(out.end(), {{carry - 37, 100},
                         {carry - 1500, 3000},
                         {carry, 17},
                         {0, 1023},
                         {5, 1024},
                         {7, 1025},
                         {12345, 5000},
                         {deviates::philox_pair_limit - 2100, 2100}});
  return out;
}

class PhiloxPairs : public testing::TestWithParam<philox_lanes> {};

// Every lane count gives exactly the single-pair form's pairs, writes no
// slot outside the ones asked for, across blocks, the carry of the pair
// index into the counter's second word, large seeds, and generations 0
// and 48.
TEST_P(PhiloxPairs, EqualTheSinglePairForm) {
  const philox_lanes lanes = GetParam();
  if (!deviates::cpu_runs_philox_lanes(lanes)) GTEST_SKIP() << "this CPU does not run these lanes";
  const double guard = std::bit_cast<double>(std::uint64_t{0x7ff4dead0000beef});
  const std::uint64_t seeds[] = {0, 1700000000, std::uint64_t{1} << 32, 0xfedcba9876543210, ~std::uint64_t{0}};
  const std::uint32_t generations[] = {0, 48};
  constexpr std::size_t margin = 16;
  std::size_t refused_once = 0, refused_twice = 0;
  for (const std::uint64_t seed : seeds)
    for (const std::uint32_t generation : generations)
      for (const span& s : spans()) {
        std::vector<double> v1(s.count + 2 * margin, guard), v2(s.count + 2 * margin, guard);
        deviates::philox_polar_pairs(lanes, seed, generation, s.first, s.count, v1.data() + margin, v2.data() + margin);
        for (std::size_t k = 0; k < v1.size(); ++k) {
          const auto where = [&] {
            return "seed " + std::to_string(seed) + " generation " + std::to_string(generation) + " pairs from " +
                   std::to_string(s.first) + ", " + std::to_string(s.count) + ": slot " + std::to_string(k) + " of " +
                   std::to_string(v1.size());
          };
          if (k < margin || k >= margin + s.count) {
            ASSERT_TRUE(same_bits(v1[k], guard) && same_bits(v2[k], guard)) << where();
            continue;
          }
          const std::uint64_t pair = s.first + (k - margin);
          const deviates::polar_pair expected = deviates::philox_polar_pair(seed, generation, pair);
          ASSERT_TRUE(same_bits(v1[k], expected.v1) && same_bits(v2[k], expected.v2)) << where();
          if (!defined_attempt(seed, generation, pair, 0).accepted) {
            ++refused_once;
            if (!defined_attempt(seed, generation, pair, 1).accepted) ++refused_twice;
          }
        }
      }
  // The retries ran, some more than once: about one pair in five is refused
  // at its first attempt, and one of those in five at its second.
  EXPECT_GT(refused_once, 10000u);
  EXPECT_GT(refused_twice, 2000u);
}

std::string lanes_name(const testing::TestParamInfo<philox_lanes>& info) {
  switch (info.param) {
    case philox_lanes::one: return "One";
    case philox_lanes::four: return "Four";
    case philox_lanes::eight: return "Eight";
  }
  return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Lanes, PhiloxPairs,
                         testing::Values(philox_lanes::one, philox_lanes::four, philox_lanes::eight), lanes_name);

class PhiloxUniformPairs : public testing::TestWithParam<philox_lanes> {};

// The uniforms of one attempt word are the words of their counter, joined
// and scaled as defined, for every lane count, across blocks and the carry
// into the counter's second word; no slot outside the ones asked for.
TEST_P(PhiloxUniformPairs, AreTheWordsOfTheirCounter) {
  const philox_lanes lanes = GetParam();
  if (!deviates::cpu_runs_philox_lanes(lanes)) GTEST_SKIP() << "this CPU does not run these lanes";
  const double guard = std::bit_cast<double>(std::uint64_t{0x7ff4dead0000beef});
  constexpr std::size_t margin = 16;
  for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{1700000000}, ~std::uint64_t{0}})
    for (const std::uint32_t attempt : {0xFFFFFFFFu, 5u})
      for (const span& s : spans()) {
        std::vector<double> u1(s.count + 2 * margin, guard), u2(s.count + 2 * margin, guard);
        deviates::philox_uniform_pairs(lanes, seed, 7, attempt, s.first, s.count, u1.data() + margin,
                                       u2.data() + margin);
        for (std::size_t k = 0; k < u1.size(); ++k) {
          if (k < margin || k >= margin + s.count) {
            ASSERT_TRUE(same_bits(u1[k], guard) && same_bits(u2[k], guard)) << "slot " << k;
            continue;
          }
          const std::uint64_t pair = s.first + (k - margin);
          const auto r = deviates::philox4x32_10(
              {static_cast<std::uint32_t>(pair), static_cast<std::uint32_t>(pair >> 32), attempt, 7},
              deviates::philox_key(seed));
          const auto unit = [](std::uint32_t lo, std::uint32_t hi) {
            return std::ldexp(static_cast<double>(((std::uint64_t{hi} << 32) | lo) >> 11), -53);
          };
          ASSERT_TRUE(same_bits(u1[k], unit(r[0], r[1])) && same_bits(u2[k], unit(r[2], r[3])))
              << "seed " << seed << " attempt " << attempt << " pair " << pair;
        }
      }
}

INSTANTIATE_TEST_SUITE_P(Lanes, PhiloxUniformPairs,
                         testing::Values(philox_lanes::one, philox_lanes::four, philox_lanes::eight), lanes_name);

// The form without a lane count takes lanes this CPU runs, with the same pairs.
TEST(PhiloxPairsDefault, EqualTheSinglePairForm) {
  const std::size_t count = 3000;
  const std::uint64_t seed = 0x123456789, first = (std::uint64_t{1} << 32) - 1000;
  std::vector<double> v1(count), v2(count);
  deviates::philox_polar_pairs(seed, 48, first, count, v1.data(), v2.data());
  for (std::size_t k = 0; k < count; ++k) {
    const deviates::polar_pair expected = deviates::philox_polar_pair(seed, 48, first + k);
    ASSERT_TRUE(same_bits(v1[k], expected.v1) && same_bits(v2[k], expected.v2)) << "pair " << first + k;
  }
}

}  // namespace
