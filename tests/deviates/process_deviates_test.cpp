// The process-wide functions share one state for the whole process, so this
// walks through their life in one test, in order.
#include "deviates/deviates.h"

#include <gtest/gtest.h>

#include "deviates/subtractive_engine.h"
#include "support/golden.h"

namespace {

using testing_support::data_path;
using testing_support::read_doubles;

TEST(ProcessDeviates, SeedWordLifecycle) {
  // The very first draw initialises even from a positive word, and sets it to 1.
  std::int32_t seed = 5;
  deviates::subtractive_engine expected_engine(5);
  EXPECT_EQ(deviates::uniform_deviate(seed), expected_engine.next_unit());
  EXPECT_EQ(seed, 1);
  EXPECT_EQ(deviates::uniform_deviate(seed), expected_engine.next_unit());

  // A negative word rebuilds the table; the caller then draws one sequence.
  seed = -1000;
  const auto uniforms = read_doubles(data_path("uniform_seed-1000.txt"));
  for (std::size_t i = 0; i < uniforms.size(); ++i) {
    ASSERT_EQ(deviates::uniform_deviate(seed), uniforms[i]) << "draw " << i + 1;
    ASSERT_EQ(seed, 1);
  }

  // No Gaussian was drawn yet, so nothing is cached: the run's sequence starts clean.
  seed = -1700000000;
  const auto gaussians = read_doubles(data_path("gaussian_seed-1700000000.txt"));
  for (std::size_t i = 0; i < gaussians.size(); ++i) {
    ASSERT_EQ(deviates::gaussian_deviate(seed), gaussians[i]) << "deviate " << i + 1;
  }
}

}  // namespace
