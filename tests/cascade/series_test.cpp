// The one-vector, chunked, two-thread series against the cascade written the
// plain way: two vectors, one Gaussian draw at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cascade/subtractive_series.h"
#include "deviates/polar_gaussian.h"
#include "deviates/subtractive_engine.h"

namespace {

using cascade::cascade_shape;

/// The series, and in `weights` (when given) the final weights before modulation.
std::vector<double> plain_series(const cascade_shape& shape, std::int32_t seed_word,
                                 std::vector<double>* weights = nullptr) {
  deviates::subtractive_engine engine(seed_word);
  deviates::polar_gaussian gaussian;
  const auto z = [&] { return gaussian([&] { return engine.next_unit(); }); };
  std::vector<double> parents(static_cast<std::size_t>(shape.n0), 1.0);
  const double s2 = shape.sigma * shape.sigma;
  for (int step = 0; step < shape.step_number; ++step) {
    std::vector<double> children;
    for (const double parent : parents) {
      children.push_back(std::exp(shape.sigma * z() - s2) * parent);
      children.push_back(std::exp(shape.sigma * z() - s2) * parent);
    }
    parents = std::move(children);
  }
  if (weights != nullptr) *weights = parents;
  for (double& value : parents) value = z() * value;
  return parents;
}

struct shape_case {
  double lambda;
  std::int32_t step_number;
  std::int32_t n0;
  const char* why;
};

// Chunks hold 16384 pairs and shrink near the end of every generation, where
// a child could land on a parent not yet read; these shapes cross those edges.
const shape_case shapes[] = {
    {0.5, 1, 1, "the smallest run"},
    {0.4, 3, 3, "an odd number of cells"},
    {0.3, 17, 1, "generations of many chunks"},
    {0.7, 2, 40001, "a long first generation, odd"},
    {1.3, 1, 70000, "one step: the modulation right after the first generation"},
    {0.0, 5, 1025, "lambda 0"},
};

TEST(Series, EqualsThePlainCascadeWithOneThreadAndWithTwo) {
  for (const bool with_helper : {false, true}) {
    cascade::work_sharing sharing(with_helper);
    for (const auto& c : shapes) {
      const cascade_shape shape{cascade::step_sigma(c.lambda, c.step_number), c.step_number, c.n0};
      const auto expected = plain_series(shape, -1700000000);
      std::vector<double> values(expected.size());
      const double sum = cascade::generate_series(values.data(), shape, -1700000000, sharing);
      const char* threads = with_helper ? ", two threads" : ", one thread";
      ASSERT_EQ(0, std::memcmp(values.data(), expected.data(), values.size() * sizeof(double))) << c.why << threads;
      double expected_sum = 0.0;
      for (const double v : expected) expected_sum += v;
      EXPECT_EQ(sum, expected_sum) << c.why << threads;  // the same running sum, chunk by chunk
    }
  }
}

// Keeping the weights, and dropping the running sum, changes no value, on
// either thread count.
TEST(Series, KeepsTheWeightsBeforeModulation) {
  for (const bool with_helper : {false, true}) {
    cascade::work_sharing sharing(with_helper);
    for (const auto& c : shapes) {
      const cascade_shape shape{cascade::step_sigma(c.lambda, c.step_number), c.step_number, c.n0};
      std::vector<double> expected_weights;
      const auto expected = plain_series(shape, -1600000000, &expected_weights);
      std::vector<double> values(expected.size()), weights(expected.size(), -1.0);
      cascade::series_options options;
      options.weights = weights.data();
      options.sum = false;  // as the library asks: no summary, the same values
      cascade::generate_series(values.data(), shape, -1600000000, sharing, options);
      const char* threads = with_helper ? ", two threads" : ", one thread";
      ASSERT_EQ(0, std::memcmp(values.data(), expected.data(), values.size() * sizeof(double))) << c.why << threads;
      ASSERT_EQ(0, std::memcmp(weights.data(), expected_weights.data(), weights.size() * sizeof(double)))
          << c.why << threads;
    }
  }
}

}  // namespace
