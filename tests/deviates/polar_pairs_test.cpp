#include "deviates/polar_pairs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/golden.h"

namespace {

using deviates::subtractive_engine;

/// `count` pairs from a source, as its two arrays.
struct pairs {
  explicit pairs(std::size_t count) : w1(count), w2(count) {}
  void draw(deviates::polar_pair_source& source) { source.next(w1.data(), w2.data(), w1.size()); }
  double factor(std::size_t k) const { return deviates::polar_factor(deviates::polar_rsq(w1[k], w2[k])); }
  std::vector<double> w1, w2;
};

// A Gaussian that always takes two deviates at once sees, pair by pair, the
// fresh deviate and then the cached one; the bulk source must give the same,
// across its internal refills and whatever sizes it is asked for.
TEST(PolarPairs, GiveTheGaussianStreamTwoAtATime) {
  const subtractive_engine engine(-1700000000);
  subtractive_engine single_engine = engine;
  deviates::polar_gaussian gaussian;
  deviates::polar_pair_source source(engine);
  for (const std::size_t request : {1u, 7u, 880u, 1000u, 3u, 5000u}) {
    pairs drawn(request);
    drawn.draw(source);
    for (std::size_t k = 0; k < request; ++k) {
      const double fac = drawn.factor(k);
      ASSERT_EQ(drawn.w2[k] * fac, gaussian([&] { return single_engine.next_unit(); }));
      ASSERT_EQ(drawn.w1[k] * fac, gaussian([&] { return single_engine.next_unit(); }));
    }
  }
}

// The eight-at-a-time accept test (where the CPU has it) and the forced
// one-at-a-time loop give the same pairs, bit for bit, and leave the
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
    pairs from_vector(request), from_scalar(request);
    from_vector.draw(vector_source);
    from_scalar.draw(scalar_source);
    ASSERT_EQ(std::memcmp(from_vector.w1.data(), from_scalar.w1.data(), request * sizeof(double)), 0)
        << "w1 of a request of " << request << " after " << total << " pairs";
    ASSERT_EQ(std::memcmp(from_vector.w2.data(), from_scalar.w2.data(), request * sizeof(double)), 0)
        << "w2 of a request of " << request << " after " << total << " pairs";
    total += request;
  }
  EXPECT_GT(total, 1000000u);
}

TEST(PolarPairs, MatchKnownAnswers) {
  const auto expected = testing_support::read_doubles(testing_support::data_path("gaussian_seed-1700000000.txt"));
  ASSERT_EQ(expected.size() % 2, 0u);
  deviates::polar_pair_source source{subtractive_engine(-1700000000)};
  pairs drawn(expected.size() / 2);
  drawn.draw(source);
  for (std::size_t k = 0; k < drawn.w1.size(); ++k) {
    const double fac = drawn.factor(k);
    EXPECT_EQ(drawn.w2[k] * fac, expected[2 * k]);
    EXPECT_EQ(drawn.w1[k] * fac, expected[2 * k + 1]);
  }
}

}  // namespace
