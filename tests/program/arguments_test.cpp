#include "program/arguments.h"
#include "cascade/models.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using cascade::parse_arguments;
using cascade::parsed_command;

parsed_command parse(const std::vector<const char*>& words) { return parse_arguments(words); }

struct accepted_case {
  std::vector<const char*> words;
  double lambda;
  std::int32_t step_number;
  std::int32_t n0;
  std::optional<std::int32_t> seed;
};

TEST(ParseArguments, AcceptsRuns) {
  const std::vector<accepted_case> cases = {
      {{"0.5", "2", "3"}, 0.5, 2, 3, std::nullopt},
      {{"-0.5", "2", "3"}, -0.5, 2, 3, std::nullopt},  // one dash: a number, not an option
      {{"+.5e1", "+7", "007"}, 5.0, 7, 7, std::nullopt},
      {{"5.", "1", "1"}, 5.0, 1, 1, std::nullopt},
      {{"1e-400", "1", "1"}, 0.0, 1, 1, std::nullopt},  // underflow is a harmless zero
      {{"0.3", "3", "1", "extra", "--"}, 0.3, 3, 1, std::nullopt},
      {{"--seed", "1000", "0.5", "2", "3"}, 0.5, 2, 3, 1000},
      {{"0.5", "2", "3", "--seed=0"}, 0.5, 2, 3, 0},
      {{"0.5", "--seed", "2147483647", "2", "3"}, 0.5, 2, 3, 2147483647},
      {{"--", "-1", "30", "1", "--help"}, -1.0, 30, 1, std::nullopt},  // after "--", words are arguments
      {{"0", "1", "1073741823"}, 0.0, 1, 1073741823, std::nullopt},      // N = 2^31 - 2
  };
  for (const auto& c : cases) {
    const auto parsed = parse(c.words);
    ASSERT_EQ(parsed.what, parsed_command::run) << c.words[0] << ": " << parsed.message;
    EXPECT_EQ(parsed.parameters.lambda, c.lambda);
    EXPECT_EQ(parsed.parameters.step_number, c.step_number);
    EXPECT_EQ(parsed.parameters.n0, c.n0);
    EXPECT_EQ(parsed.parameters.seed, c.seed);
  }
}

// --weights takes the next word whatever it looks like; --verbose,
// --binary and --float32 are flags; none of them changes the run's three
// numbers.
TEST(ParseArguments, WeightsVerboseAndBinary) {
  const auto parsed = parse({"--verbose", "0.5", "--weights", "-0.3", "2", "3", "--binary"});
  ASSERT_EQ(parsed.what, parsed_command::run) << parsed.message;
  EXPECT_EQ(parsed.parameters.weights_path, "-0.3");
  EXPECT_TRUE(parsed.parameters.verbose);
  EXPECT_EQ(parsed.parameters.format, cascade::value_format::float64);
  EXPECT_EQ(parsed.parameters.lambda, 0.5);
  EXPECT_EQ(parsed.parameters.step_number, 2);
  EXPECT_EQ(parsed.parameters.n0, 3);

  const auto joined = parse({"--weights=w.txt", "0.5", "2", "3"});
  EXPECT_EQ(joined.parameters.weights_path, "w.txt");
  EXPECT_FALSE(joined.parameters.verbose);
  EXPECT_EQ(joined.parameters.format, cascade::value_format::text);
  EXPECT_EQ(parse({"--float32", "0.5", "2", "3"}).parameters.format, cascade::value_format::float32);
  EXPECT_FALSE(parse({"0.5", "2", "3"}).parameters.weights_path.has_value());
}

// Each option of the table of formats chooses its row; two of them are
// refused in either order, naming both as given.
TEST(ParseArguments, EveryFormatOptionOfTheTable) {
  for (const cascade::format_row& row : cascade::output_formats()) {
    if (row.option.empty()) continue;
    const std::string option(row.option);
    const auto parsed = parse({option.c_str(), "0.5", "2", "3", option.c_str()});
    ASSERT_EQ(parsed.what, parsed_command::run) << option << ": " << parsed.message;
    EXPECT_EQ(parsed.parameters.format, row.id) << option;
    for (const cascade::format_row& other : cascade::output_formats()) {
      if (other.option.empty() || &other == &row) continue;
      const std::string second(other.option);
      const auto refused = parse({option.c_str(), "0.5", second.c_str(), "2", "3"});
      EXPECT_EQ(refused.what, parsed_command::error) << option << " " << second;
      EXPECT_EQ(refused.message, "cascade: " + option + " and " + second + " choose two formats; give one");
    }
  }
}

struct refused_case {
  std::vector<const char*> words;
  parsed_command::kind what;
  std::string message;
};

TEST(ParseArguments, RefusesOrRedirects) {
  const std::string lambda_error = "cascade: lambda must be a finite decimal number, got ";
  const std::string step_error = "cascade: step_number must be a whole number of at least 1, got ";
  const std::string n0_error = "cascade: n0 must be a whole number of at least 1, got ";
  // Bytes 79 and 80 are one character.
  const std::string long_word = std::string(78, 'x') + "\xc3\xa9" + std::string(20, 'y');
  const std::vector<refused_case> cases = {
      {{}, parsed_command::usage, ""},
      {{"0.5", "2"}, parsed_command::usage, ""},
      {{"--seed", "5", "0.5", "2"}, parsed_command::usage, ""},
      {{"0.5", "2", "3", "--help"}, parsed_command::help, ""},
      {{"--version", "x"}, parsed_command::version, ""},
      {{"-h"}, parsed_command::help, ""},
      {{"0.5", "-h", "2", "3"}, parsed_command::help, ""},
      {{"--", "-h", "2", "3"}, parsed_command::error, lambda_error + "'-h'"},  // an argument after --
      {{"1.35e154", "2", "3"}, parsed_command::error,
       "cascade: lambda must be at most 1.3407807929942596e+154 in size, so that its square is finite, got "
       "'1.35e154'"},
      {{"-1.3407807929942597e154", "2", "3"}, parsed_command::error,
       "cascade: lambda must be at most 1.3407807929942596e+154 in size, so that its square is finite, got "
       "'-1.3407807929942597e154'"},
      {{"nan", "2", "3"}, parsed_command::error, lambda_error + "'nan'"},
      {{"inf", "2", "3"}, parsed_command::error, lambda_error + "'inf'"},
      {{"1e999", "2", "3"}, parsed_command::error, lambda_error + "'1e999'"},
      {{"0,5", "2", "3"}, parsed_command::error, lambda_error + "'0,5'"},
      {{"0.3x", "2", "3"}, parsed_command::error, lambda_error + "'0.3x'"},
      {{"", "2", "3"}, parsed_command::error, lambda_error + "''"},
      {{".", "2", "3"}, parsed_command::error, lambda_error + "'.'"},
      {{"1e", "2", "3"}, parsed_command::error, lambda_error + "'1e'"},
      {{" 1", "2", "3"}, parsed_command::error, lambda_error + "' 1'"},
      {{"0x10", "2", "3"}, parsed_command::error, lambda_error + "'0x10'"},
      {{"0.5", "0", "3"}, parsed_command::error, step_error + "'0'"},
      {{"0.5", "-2", "3"}, parsed_command::error, step_error + "'-2'"},
      {{"0.5", "2.5", "3"}, parsed_command::error, step_error + "'2.5'"},
      {{"0.5", "1e3", "3"}, parsed_command::error, step_error + "'1e3'"},
      {{"0.5", "2", "abc"}, parsed_command::error, n0_error + "'abc'"},
      {{"0.5", "2", "0"}, parsed_command::error, n0_error + "'0'"},
      {{"0.5", "2", "-1"}, parsed_command::error, n0_error + "'-1'"},
      // Too large is told so, with the limit.
      {{"0.5", "2", "2147483648"}, parsed_command::error, "cascade: n0 must be at most 2147483647, got '2147483648'"},
      {{"0.5", "2", "99999999999999999999"}, parsed_command::error,
       "cascade: n0 must be at most 2147483647, got '99999999999999999999'"},
      {{"0.5", "99999999999", "1"}, parsed_command::error,
       "cascade: step_number must be at most 30 (n0 * 2^step_number at most 2147483647), got '99999999999'"},
      {{"0.5", "2147483648", "abc"}, parsed_command::error,
       "cascade: step_number must be at most 30 (n0 * 2^step_number at most 2147483647), got '2147483648'"},
      {{"0.5", "31", "1"}, parsed_command::error,
       "cascade: n0 * 2^step_number must be at most 2147483647, got 1 * 2^31"},
      {{"0.5", "1", "1073741824"}, parsed_command::error,
       "cascade: n0 * 2^step_number must be at most 2147483647, got 1073741824 * 2^1"},
      {{"0.5", "2147483647", "1"}, parsed_command::error,
       "cascade: n0 * 2^step_number must be at most 2147483647, got 1 * 2^2147483647"},
      {{"--frobnicate", "0.5", "2", "3"}, parsed_command::error,
       "cascade: unknown option '--frobnicate' (see cascade --help)"},
      {{"--seed=-1", "0.5", "2", "3"}, parsed_command::error,
       "cascade: --seed must be a whole number from 0 to 2147483647, got '-1'"},
      {{"--seed", "2147483648", "0.5", "2", "3"}, parsed_command::error,
       "cascade: --seed must be a whole number from 0 to 2147483647, got '2147483648'"},
      {{"0.5", "2", "3", "--seed"}, parsed_command::error,
       "cascade: --seed needs a value, a whole number from 0 to 2147483647"},
      // The missing value is the last word, so the stream is known: its rule.
      {{"--generator", "philox", "0.5", "2", "3", "--seed"}, parsed_command::error,
       "cascade: --seed needs a value, a whole number from 0 to 18446744073709551615"},
      {{"0.5", "2", "3", "--threads"}, parsed_command::error, "cascade: --threads needs a value, 1 or 2"},
      {{"0.5", "2", "3", "--weights"}, parsed_command::error, "cascade: --weights needs a value, the file for the weights"},
      {{"--model", "cone", "0.5", "2", "3"}, parsed_command::error, "cascade: --model must be " + cascade::model_names() + ", got 'cone'"},
      {{"--model=", "0.5", "2", "3"}, parsed_command::error, "cascade: --model must be " + cascade::model_names() + ", got ''"},
      {{"0.5", "2", "3", "--model"}, parsed_command::error, "cascade: --model needs a value, " + cascade::model_names()},
      {{"--model", "dyadic", "--model", "dyadic", "0.5", "2", "3"}, parsed_command::error,
       "cascade: --model may be given once, got it twice (see cascade --help)"},
      {{"--weights=", "0.5", "2", "3"}, parsed_command::error, "cascade: --weights needs a value, the file for the weights"},
      // Quoted text stays on one line and sends no control bytes to a terminal.
      {{"0.5", "2", "3\n"}, parsed_command::error, n0_error + "'3\\n'"},
      {{"0.5", "\t2\r", "3"}, parsed_command::error, step_error + "'\\t2\\r'"},
      {{"\x1b[2J\x7f", "2", "3"}, parsed_command::error, lambda_error + "'\\x1b[2J\\x7f'"},
      {{"--\x01", "0.5", "2", "3"}, parsed_command::error, "cascade: unknown option '--\\x01' (see cascade --help)"},
      {{"0.5", "2", "\xc3\xa9"}, parsed_command::error, n0_error + "'\xc3\xa9'"},  // UTF-8 passes as it is
      // Past 80 bytes a word is cut, never inside a character, and ends in an ellipsis.
      {{"0.5", "2", long_word.c_str()}, parsed_command::error, n0_error + "'" + std::string(78, 'x') + "\xe2\x80\xa6'"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse(c.words);
    const std::string label = c.words.empty() ? "(none)" : c.words[0];
    EXPECT_EQ(parsed.what, c.what) << label << " " << parsed.message;
    EXPECT_EQ(parsed.message, c.message) << label;
  }
}

// The parse carries the process's exit status, so main need not derive it.
TEST(ParseArguments, CarriesTheExitStatus) {
  const std::vector<std::pair<std::vector<const char*>, cascade::exit_status>> cases = {
      {{"0.5", "2", "3"}, cascade::exit_success},
      {{"--help"}, cascade::exit_success},
      {{"--version"}, cascade::exit_success},
      {{"0.5", "2"}, cascade::exit_usage},
      {{"0.5", "2", "x"}, cascade::exit_usage},
      {{"--frobnicate"}, cascade::exit_usage},
      {{"0.5", "2", "3", "--seed"}, cascade::exit_usage},
  };
  for (const auto& [words, status] : cases) {
    EXPECT_EQ(parse(words).status, status) << words[0];
  }
}

}  // namespace
