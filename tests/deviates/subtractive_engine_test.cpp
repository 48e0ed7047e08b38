#include "deviates/subtractive_engine.h"

#include <gtest/gtest.h>

#include "support/golden.h"

namespace {

using deviates::subtractive_engine;
using testing_support::data_path;
using testing_support::read_doubles;

void expect_draws(subtractive_engine engine, const std::vector<double>& expected) {
  ASSERT_FALSE(expected.empty());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(engine.next_unit(), expected[i]) << "draw " << i + 1;
  }
}

// Both files run past the 55th and 56th draws, where the two table indices
// wrap; the second seed's magnitude exceeds the seeding constant, so its
// first remainder is negative before the correction.
TEST(SubtractiveEngine, MatchesKnownAnswers) {
  expect_draws(subtractive_engine(-1000), read_doubles(data_path("uniform_seed-1000.txt")));
  expect_draws(subtractive_engine(-1700000000), read_doubles(data_path("uniform_seed-1700000000.txt")));
}

TEST(SubtractiveEngine, SeedEntersOnlyThroughItsMagnitudeModulo1e9) {
  const subtractive_engine reference(-1000);
  EXPECT_EQ(subtractive_engine(1000), reference);
  EXPECT_EQ(subtractive_engine(1000 + 1000000000LL), reference);
  EXPECT_EQ(subtractive_engine(-700000000), subtractive_engine(1700000000));
  EXPECT_NE(subtractive_engine(1001), reference);
}

TEST(SubtractiveEngine, ReseedingDiscardsThePastSequence) {
  subtractive_engine engine(-42);
  engine.discard(1000);
  engine.seed(-1000);
  expect_draws(engine, read_doubles(data_path("uniform_seed-1000.txt")));
}

TEST(SubtractiveEngine, DiscardEqualsThatManyDraws) {
  subtractive_engine drawn(-1700000000);
  subtractive_engine skipped = drawn;
  for (int i = 0; i < 1234; ++i) drawn();
  skipped.discard(1234);
  EXPECT_EQ(drawn, skipped);
  EXPECT_EQ(drawn(), skipped());
}

// Bulk fills run whole rounds of the table when aligned and single draws
// otherwise; from any starting point they must continue the one sequence.
TEST(SubtractiveEngine, FillEqualsSingleDraws) {
  for (const std::size_t offset : {0u, 1u, 54u, 55u, 56u, 100u}) {
    for (const std::size_t size : {55u * 3 + 17, 55u * 16, 4001u}) {
      subtractive_engine single(-1700000000), bulk(-1700000000);
      single.discard(offset);
      bulk.discard(offset);
      std::vector<subtractive_engine::result_type> filled(size);
      bulk.fill(filled.data(), filled.size());
      for (std::size_t i = 0; i < filled.size(); ++i)
        ASSERT_EQ(filled[i], single()) << "offset " << offset << ", size " << size << ", draw " << i;
      EXPECT_EQ(bulk, single) << "offset " << offset << ", size " << size;
      EXPECT_EQ(bulk(), single()) << "offset " << offset << ", size " << size;
    }
  }
}

// The largest magnitudes and a zero seed still give a table in [0, 10^9).
TEST(SubtractiveEngine, DrawsStayInRangeForExtremeSeeds) {
  for (const std::int64_t seed : {0LL, 161803398LL, 161803399LL, 2147483647LL, -2147483647LL}) {
    subtractive_engine engine(seed);
    for (int i = 0; i < 100000; ++i) {
      const auto d = engine();
      ASSERT_GE(d, subtractive_engine::min()) << "seed " << seed;
      ASSERT_LE(d, subtractive_engine::max()) << "seed " << seed;
    }
  }
}

}  // namespace
