// The numeric rules that the library and the Python module apply to numbers
// (the command line's words are tested in arguments_test).
#include "cascade/run_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace {

using cascade::refused_argument;

constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();

struct numbers_case {
  double lambda;
  std::int64_t step_number;
  std::int64_t n0;
  std::optional<refused_argument> refused;
};

TEST(RunLimits, FirstBrokenRuleInCommandLineOrder) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<numbers_case> cases = {
      {0.3, 30, 1, std::nullopt},                    // N = 2^30
      {0.3, 1, 1073741823, std::nullopt},            // N = 2^31 - 2, the largest N there is
      {-1.3407807929942596e154, 1, 1, std::nullopt},  // the largest lambda whose square is finite
      {-1.3407807929942597e154, 1, 1, refused_argument::lambda_too_large},  // every factor exp(inf - inf)
      {1e300, 1, 1, refused_argument::lambda_too_large},
      {0.3, 31, 1, refused_argument::value_count},   // N = 2^31
      {0.3, 1, 1073741824, refused_argument::value_count},
      {0.3, 2, 536870912, refused_argument::value_count},
      {0.3, 63, 1, refused_argument::value_count},   // shifts past the width are refused, not done
      {0.3, int64_max, int64_max, refused_argument::value_count},
      {0.3, 1, int64_max, refused_argument::value_count},
      {0.3, 0, 1, refused_argument::step_number},
      {0.3, 1, 0, refused_argument::n0},
      {0.3, -5, -5, refused_argument::step_number},  // step_number is read before n0
      {nan, 0, 0, refused_argument::lambda},         // and lambda before both
      {inf, 1, 1, refused_argument::lambda},
      {-inf, 1, 1, refused_argument::lambda},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.refused, cascade::check_run_numbers(c.lambda, c.step_number, c.n0))
        << c.lambda << " " << c.step_number << " " << c.n0;
  }
}

// The philox stream's limit, N <= 2^48, where a shifted n0 could pass 2^63.
TEST(RunLimits, PhiloxSeriesUpTo2To48Values) {
  using cascade::stream;
  const std::vector<numbers_case> cases = {
      {0.3, 48, 1, std::nullopt},
      {0.3, 17, 2147483647, std::nullopt},  // n0 * 2^17 < 2^48
      {0.3, 18, 2147483647, refused_argument::philox_value_count},
      {0.3, 49, 1, refused_argument::philox_value_count},
      {0.3, 40, 300000634, refused_argument::philox_value_count},  // 2^68: found by the argument fuzzer
      {0.3, 47, 3, refused_argument::philox_value_count},
      {0.3, 46, 4, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.refused, cascade::check_run_numbers(c.lambda, c.step_number, c.n0, stream::philox))
        << c.step_number << " " << c.n0;
  }
  EXPECT_EQ(cascade::check_run_numbers(0.3, 31, 1, stream::subtractive), refused_argument::value_count);
}

TEST(RunLimits, SeedSecondsFromZeroTo2147483647) {
  EXPECT_TRUE(cascade::seed_in_range(0));
  EXPECT_TRUE(cascade::seed_in_range(2147483647));
  EXPECT_FALSE(cascade::seed_in_range(-1));
  EXPECT_FALSE(cascade::seed_in_range(2147483648));
}

TEST(RunLimits, MessagesNameTheArgumentAndShowTheValue) {
  EXPECT_EQ("n0 * 2^step_number must be at most 2147483647, got 3 * 2^30",
            cascade::refusal_message(refused_argument::value_count, cascade::value_count_shown("3", "30")));
  EXPECT_EQ("seed must be a whole number from 0 to 2147483647, got -1",
            cascade::refusal_message(refused_argument::seed, "-1"));
}

}  // namespace
