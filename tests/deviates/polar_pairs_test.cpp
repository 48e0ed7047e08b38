#include "deviates/polar_pairs.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/golden.h"

namespace {

using deviates::polar_pair;
using deviates::subtractive_engine;

// A Gaussian that always takes two deviates at once sees, pair by pair, the
// fresh deviate and then the cached one; the bulk source must give the same,
// across its internal refills and whatever sizes it is asked for.
TEST(PolarPairs, GiveTheGaussianStreamTwoAtATime) {
  const subtractive_engine engine(-1700000000);
  subtractive_engine single_engine = engine;
  deviates::polar_gaussian gaussian;
  deviates::polar_pair_source source(engine);
  for (const std::size_t request : {1u, 7u, 880u, 1000u, 3u, 5000u}) {
    std::vector<polar_pair> pairs(request);
    source.next(pairs.data(), request);
    for (const polar_pair& pair : pairs) {
      const double fac = pair.factor();
      ASSERT_EQ(pair.first(fac), gaussian([&] { return single_engine.next_unit(); }));
      ASSERT_EQ(pair.second(fac), gaussian([&] { return single_engine.next_unit(); }));
    }
  }
}

TEST(PolarPairs, MatchKnownAnswers) {
  const auto expected = testing_support::read_doubles(testing_support::data_path("gaussian_seed-1700000000.txt"));
  ASSERT_EQ(expected.size() % 2, 0u);
  deviates::polar_pair_source source{subtractive_engine(-1700000000)};
  std::vector<polar_pair> pairs(expected.size() / 2);
  source.next(pairs.data(), pairs.size());
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const double fac = pairs[k].factor();
    EXPECT_EQ(pairs[k].first(fac), expected[2 * k]);
    EXPECT_EQ(pairs[k].second(fac), expected[2 * k + 1]);
  }
}

}  // namespace
