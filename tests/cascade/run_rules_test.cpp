// The numeric rules that the library and the Python module apply to numbers
// (the command line's words are tested in arguments_test), and the messages
// that every face takes from the stream table.
#include "cascade/run_rules.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace {

using cascade::refused_argument;
using cascade::spelling;
using cascade::stream;

constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();

struct numbers_case {
  double lambda;
  std::int64_t step_number;
  std::int64_t n0;
  std::optional<refused_argument> refused;
};

TEST(RunRules, FirstBrokenRuleInCommandLineOrder) {
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
    EXPECT_EQ(c.refused, cascade::check_run_numbers(c.lambda, c.step_number, c.n0, stream::subtractive))
        << c.lambda << " " << c.step_number << " " << c.n0;
  }
}

// The philox stream's limit, N <= 2^48, where a shifted n0 could pass 2^63.
TEST(RunRules, PhiloxSeriesUpTo2To48Values) {
  const std::vector<numbers_case> cases = {
      {0.3, 48, 1, std::nullopt},
      {0.3, 17, 2147483647, std::nullopt},  // n0 * 2^17 < 2^48
      {0.3, 18, 2147483647, refused_argument::value_count},
      {0.3, 49, 1, refused_argument::value_count},
      {0.3, 40, 300000634, refused_argument::value_count},  // 2^68: found by the argument fuzzer
      {0.3, 47, 3, refused_argument::value_count},
      {0.3, 46, 4, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.refused, cascade::check_run_numbers(c.lambda, c.step_number, c.n0, stream::philox))
        << c.step_number << " " << c.n0;
  }
  EXPECT_EQ(cascade::check_run_numbers(0.3, 31, 1, stream::subtractive), refused_argument::value_count);
}

TEST(RunRules, SeedsThreadsAndPiecesByStream) {
  EXPECT_TRUE(cascade::seed_allowed(0, stream::subtractive));
  EXPECT_TRUE(cascade::seed_allowed(2147483647, stream::subtractive));
  EXPECT_FALSE(cascade::seed_allowed(2147483648, stream::subtractive));
  EXPECT_TRUE(cascade::seed_allowed(UINT64_MAX, stream::philox));
  EXPECT_TRUE(cascade::threads_allowed(2, stream::subtractive));
  EXPECT_FALSE(cascade::threads_allowed(3, stream::subtractive));
  EXPECT_FALSE(cascade::threads_allowed(0, stream::philox));
  EXPECT_TRUE(cascade::threads_allowed(1024, stream::philox));
  EXPECT_FALSE(cascade::threads_allowed(1025, stream::philox));
  EXPECT_EQ(cascade::check_range(0, 8, 8, stream::subtractive), refused_argument::range_unmade);
  EXPECT_EQ(cascade::check_range(0, 8, 8, stream::philox), std::nullopt);
  EXPECT_EQ(cascade::check_range(3, 3, 8, stream::philox), refused_argument::range);
  EXPECT_EQ(cascade::check_range(-1, 3, 8, stream::philox), refused_argument::range);
  EXPECT_EQ(cascade::check_range(0, 9, 8, stream::philox), refused_argument::range);
  EXPECT_TRUE(cascade::in_stream_table(stream::philox));
  EXPECT_FALSE(cascade::in_stream_table(static_cast<stream>(7)));
  EXPECT_FALSE(cascade::in_stream_table(static_cast<stream>(-1)));
}

// Every number of a message is the table's, and each face's words are its own.
TEST(RunRules, MessagesTakeTheirNumbersFromTheTable) {
  struct message_case {
    refused_argument argument;
    stream from;
    spelling spelled;
    const char* shown;
    const char* expected;
  };
  const std::vector<message_case> cases = {
      {refused_argument::generator, stream::philox, spelling::call, "7",
       "generator must be subtractive or philox, got 7"},
      {refused_argument::generator, stream::subtractive, spelling::command_line, "'mt'",
       "--generator must be subtractive or philox, got 'mt'"},
      {refused_argument::value_count, stream::subtractive, spelling::call, "3 * 2^30",
       "n0 * 2^step_number must be at most 2147483647, got 3 * 2^30"},
      {refused_argument::value_count, stream::philox, spelling::call, "1 * 2^49",
       "n0 * 2^step_number must be at most 2^48 = 281474976710656 with the philox stream, got 1 * 2^49"},
      {refused_argument::step_number_too_large, stream::philox, spelling::command_line, "'99999999999'",
       "step_number must be at most 48 (n0 * 2^step_number at most 2^48 = 281474976710656) with the philox stream, "
       "got '99999999999'"},
      {refused_argument::step_number_too_large, stream::subtractive, spelling::command_line, "'99999999999'",
       "step_number must be at most 30 (n0 * 2^step_number at most 2147483647), got '99999999999'"},
      {refused_argument::seed, stream::subtractive, spelling::call, "-1",
       "seed must be a whole number from 0 to 2147483647, got -1"},
      {refused_argument::seed, stream::philox, spelling::command_line, "'-1'",
       "--seed must be a whole number from 0 to 18446744073709551615 with the philox stream, got '-1'"},
      {refused_argument::threads, stream::subtractive, spelling::command_line, "'3'",
       "--threads must be 1 or 2 with the subtractive stream (its draws are one chain; use the philox stream for "
       "more), got '3'"},
      {refused_argument::threads, stream::philox, spelling::call, "0",
       "threads must be a whole number from 1 to 1024, got 0"},
      {refused_argument::range, stream::philox, spelling::call, "5 and 2",
       "start and stop must satisfy 0 <= start < stop <= N = 8, got 5 and 2"},
      {refused_argument::range, stream::philox, spelling::command_line, "'5:2'",
       "--range must be START:STOP with 0 <= START < STOP <= N = 8, got '5:2'"},
      {refused_argument::range_unmade, stream::subtractive, spelling::command_line, "'0:1'",
       "--range needs --generator philox: the subtractive stream is one chain, so no piece of it can be made without "
       "every value before it"},
      {refused_argument::range_unmade, stream::subtractive, spelling::call, "0 and 1",
       "start and stop need the philox stream: the subtractive stream is one chain, so no piece of it can be made "
       "without every value before it"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, cascade::refusal_message(c.argument, c.from, c.shown, c.spelled, 8));
  }
  EXPECT_EQ("subtractive or philox", cascade::stream_names());
  EXPECT_EQ(30, cascade::rules_of(stream::subtractive).max_step_number());
  EXPECT_EQ(48, cascade::rules_of(stream::philox).max_step_number());
}

// CASCADE_THREADS takes what --threads takes, [+]digits, up to the most any stream takes.
TEST(RunRules, ThreadsFromTheEnvironment) {
  struct environment_case {
    const char* value;  // null: unset
    std::optional<std::int64_t> threads;
    bool refused;
  };
  const std::vector<environment_case> cases = {
      {nullptr, std::nullopt, false}, {"", std::nullopt, false}, {"3", 3, false},   {"+2", 2, false},
      {"1024", 1024, false},          {"0", std::nullopt, true}, {"1025", std::nullopt, true},
      {"abc", std::nullopt, true},    {"-1", std::nullopt, true}, {"+", std::nullopt, true},
      {"99999999999999999999999", std::nullopt, true},
  };
  for (const auto& c : cases) {
    if (c.value == nullptr) {
      unsetenv("CASCADE_THREADS");
    } else {
      setenv("CASCADE_THREADS", c.value, 1);
    }
    std::optional<std::string> refusal;
    EXPECT_EQ(c.threads, cascade::threads_from_environment(refusal)) << (c.value ? c.value : "(unset)");
    EXPECT_EQ(c.refused, refusal.has_value()) << (c.value ? c.value : "(unset)");
    if (refusal) {
      EXPECT_EQ(0u, refusal->find("CASCADE_THREADS must be a whole number from 1 to 1024, got '"));
    }
  }
  unsetenv("CASCADE_THREADS");
}

}  // namespace
