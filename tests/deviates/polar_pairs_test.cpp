#include "deviates/polar_pairs.h"

#include <gtest/gtest.h>

#include <cstring>
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

// The eight-at-a-time accept test (where the CPU has it) and the forced
// one-at-a-time loop give the same records, bit for bit, and leave the
// stream at the same place: requests of every size from 1 to 40 (the vector
// steps stop short of a request's end at each), then large ones across
// many refills.
TEST(PolarPairs, VectorAndScalarScreeningAgree) {
  const subtractive_engine engine(314159);
  deviates::polar_pair_source vector_source(engine);
  deviates::polar_pair_source scalar_source(engine, false);
  std::vector<std::size_t> requests;
  for (std::size_t request = 1; request <= 40; ++request) requests.push_back(request);
  for (int k = 0; k < 100; ++k) requests.push_back(10007);
  std::size_t total = 0;
  for (const std::size_t request : requests) {
    std::vector<polar_pair> from_vector(request), from_scalar(request);
    vector_source.next(from_vector.data(), request);
    scalar_source.next(from_scalar.data(), request);
    ASSERT_EQ(std::memcmp(from_vector.data(), from_scalar.data(), request * sizeof(polar_pair)), 0)
        << "request of " << request << " after " << total << " pairs";
    total += request;
  }
  EXPECT_GT(total, 1000000u);
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
