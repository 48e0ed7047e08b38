#include "deviates/polar_gaussian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "deviates/subtractive_engine.h"
#include "support/golden.h"

namespace {

using deviates::polar_gaussian;
using deviates::subtractive_engine;

/// Plays back a fixed list of uniforms and counts how many were taken.
struct scripted_uniforms {
  std::vector<double> values;
  std::size_t taken = 0;
  double operator()() { return values.at(taken++); }
};

TEST(PolarGaussian, MatchesKnownAnswers) {
  const auto expected = testing_support::read_doubles(testing_support::data_path("gaussian_seed-1700000000.txt"));
  ASSERT_FALSE(expected.empty());
  subtractive_engine engine(-1700000000);
  polar_gaussian gaussian;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(gaussian([&] { return engine.next_unit(); }), expected[i]) << "deviate " << i + 1;
  }
}

// (0, 0.5) maps to (-1, 0): rsq exactly 1, on the circle. (0.5, 0.5) maps to
// the centre: rsq exactly 0, where the logarithm would be infinite. Both are
// refused; (0.75, 0.25) maps to (0.5, -0.5), rsq 0.5, and is taken.
TEST(PolarGaussian, RejectsTheCircleAndTheCentreAndServesThePairInOrder) {
  scripted_uniforms uniforms{{0.0, 0.5, 0.5, 0.5, 0.75, 0.25}};
  polar_gaussian gaussian;
  const double fac = 2.0 * std::sqrt(std::log(2.0));  // sqrt(-2 ln 0.5 / 0.5)

  EXPECT_DOUBLE_EQ(gaussian(uniforms), -0.5 * fac);  // built from the second uniform
  EXPECT_EQ(uniforms.taken, 6u);
  EXPECT_TRUE(gaussian.has_spare());
  EXPECT_DOUBLE_EQ(gaussian(uniforms), 0.5 * fac);  // the cached one, no draw
  EXPECT_EQ(uniforms.taken, 6u);
  EXPECT_FALSE(gaussian.has_spare());
}

TEST(PolarGaussian, CachedDeviateIsStateForEqualityAndReset) {
  scripted_uniforms uniforms{{0.75, 0.25, 0.75, 0.375}};
  polar_gaussian fresh, used;
  EXPECT_EQ(fresh, used);
  used(uniforms);
  EXPECT_NE(fresh, used);
  polar_gaussian other = fresh;
  uniforms.taken = 2;
  other(uniforms);  // a different cached value
  EXPECT_NE(other, used);
  used.reset();
  EXPECT_EQ(fresh, used);
}

// The cache belongs to the Gaussian, not to the uniform source: a new stream
// still first receives the deviate cached from the old one.
TEST(PolarGaussian, SpareSurvivesAChangeOfUniformSource) {
  scripted_uniforms first{{0.75, 0.25}};
  scripted_uniforms second{{0.9, 0.9}};
  polar_gaussian gaussian;
  const double returned = gaussian(first);
  EXPECT_EQ(gaussian(second), -returned);
  EXPECT_EQ(second.taken, 0u);
}

TEST(PolarGaussian, EveryDeviateIsFinite) {
  subtractive_engine engine(-1);
  polar_gaussian gaussian;
  for (int i = 0; i < 200000; ++i) {
    ASSERT_TRUE(std::isfinite(gaussian([&] { return engine.next_unit(); })));
  }
}

}  // namespace
