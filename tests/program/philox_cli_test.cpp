// The philox stream through the program: its known answers (made by an
// independent statement of the stream, tools/philox_plain.py), pieces
// that equal the whole, any number of threads, and no use of the C
// library's exp and log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cascade/laws.h"
#include "support/golden.h"
#include "support/run_program.h"
#include "support/sanitized_build.h"

namespace {

using testing_support::data_path;
using testing_support::program_options;
using testing_support::read_file;
using testing_support::run_cascade;
using testing_support::scratch_file;

std::vector<double> doubles_of(const std::string& bytes) {
  std::vector<double> values(bytes.size() / sizeof(double));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
  return values;
}

std::vector<double> hex_lines(const std::string& path) {
  std::istringstream text(read_file(path));
  std::vector<double> values;
  for (std::string line; std::getline(text, line);) values.push_back(std::strtod(line.c_str(), nullptr));
  return values;
}

std::vector<double> philox_run(const std::vector<std::string>& arguments, const program_options& options = {}) {
  std::vector<std::string> words{"--generator", "philox", "--binary"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  const auto result = run_cascade(words, options);
  EXPECT_EQ(result.status, 0) << result.err;
  return doubles_of(result.out);
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

struct known_answer {
  std::vector<std::string> arguments;  ///< seed, range and the three numbers
  std::string file;
};

// The definition, stated twice: the program and a plain reimplementation
// agree to the last bit, also for a piece at 2^41 of a series of 3 * 2^40
// values, whose ancestors cross every level's boundary.
TEST(Philox, KnownAnswers) {
  const std::vector<known_answer> cases = {
      {{"--seed", "7", "0.5", "3", "2"}, "philox-S7-args-0.5-3-2.values.hex"},
      {{"--seed", "1099511627779", "1.2", "10", "1"}, "philox-S1099511627779-args-1.2-10-1.values.hex"},
      {{"--seed", "18446744073709551615", "--range", "2199023255549:2199023255555", "0.4", "40", "3"},
       "philox-S18446744073709551615-args-0.4-40-3-range-2199023255549-2199023255555.values.hex"},
  };
  for (const auto& c : cases) {
    for (const char* scalar : {"0", "1"}) {
      const auto values = philox_run(c.arguments, program_options{{std::string("CASCADE_SCALAR_MATH=") + scalar}, "", "", ""});
      EXPECT_TRUE(same_bits(values, hex_lines(data_path(c.file)))) << c.file << " scalar " << scalar;
    }
  }
  const std::string weights = "/tmp/cascade-philox-weights-" + std::to_string(getpid());
  philox_run({"--seed", "7", "--weights", weights, "0.5", "3", "2"});
  EXPECT_TRUE(same_bits(doubles_of(read_file(weights)), hex_lines(data_path("philox-S7-args-0.5-3-2.weights.hex"))));
  unlink(weights.c_str());
}

// Every law of the table's values and weights, as the plain reimplementation
// draws them (tools/philox_plain.py --law), on both math paths: a law
// added without its known answers fails here. Also logpoisson at another
// beta, and a logpoisson piece at 2^41 with a mean of K above 1.
TEST(Philox, KnownAnswersOfEveryLaw) {
  const std::string weights = "/tmp/cascade-philox-law-weights-" + std::to_string(getpid());
  std::vector<std::string> laws{"logpoisson:0.3"};
  for (const cascade::law_descriptor* const law : cascade::law_table) laws.emplace_back(law->name);
  for (const std::string& law : laws) {
    std::string file = "philox-S11-args-1.3-6-3-law-" + law;
    std::replace(file.begin(), file.end(), ':', '-');
    for (const char* scalar : {"0", "1"}) {
      const auto values = philox_run({"--seed", "11", "--law", law, "--weights", weights, "1.3", "6", "3"},
                                     program_options{{std::string("CASCADE_SCALAR_MATH=") + scalar}, "", "", ""});
      EXPECT_TRUE(same_bits(values, hex_lines(data_path(file + ".values.hex")))) << law << " scalar " << scalar;
      EXPECT_TRUE(same_bits(doubles_of(read_file(weights)), hex_lines(data_path(file + ".weights.hex"))))
          << law << " scalar " << scalar;
    }
  }
  unlink(weights.c_str());
  const auto piece = philox_run({"--seed", "18446744073709551615", "--law", "logpoisson:0.5", "--range",
                                 "2199023255549:2199023255555", "2.5", "40", "3"});
  EXPECT_TRUE(same_bits(piece, hex_lines(data_path(
                                   "philox-S18446744073709551615-args-2.5-40-3-law-logpoisson-0.5-range-2199023255549-"
                                   "2199023255555.values.hex"))));
}

// Pieces that cross block boundaries (2^15 values) and the modulation's
// pairs, made alone, are the whole series' bytes, on any number of threads.
TEST(Philox, PiecesAndThreadsGiveTheWholeSeriesBytes) {
  std::vector<std::string> laws{"logpoisson:0.4"};
  for (const cascade::law_descriptor* const law : cascade::law_table) laws.emplace_back(law->name);
  for (const std::string& law : laws) {
    const std::vector<std::string> shape{"--law", law, "0.7", "16", "3"};  // 196608 values: six blocks
    std::vector<std::string> whole_words{"--seed", "99", "--threads", "1"};
    whole_words.insert(whole_words.end(), shape.begin(), shape.end());
    const auto whole = philox_run(whole_words);
    ASSERT_EQ(whole.size(), 196608u);
    for (const char* threads : {"2", "3", "8"}) {
      std::vector<std::string> words{"--seed", "99", "--threads", threads};
      words.insert(words.end(), shape.begin(), shape.end());
      EXPECT_TRUE(same_bits(philox_run(words), whole)) << law << ", " << threads << " threads";
    }
    const std::vector<std::pair<std::int64_t, std::int64_t>> pieces = {
        {0, 1}, {1, 32767}, {32767, 32769}, {32769, 65537}, {65537, 196607}, {196607, 196608}};
    std::vector<double> joined;
    for (const auto& [start, stop] : pieces) {
      std::vector<std::string> words{"--seed", "99", "--threads", "3", "--range",
                                     std::to_string(start) + ":" + std::to_string(stop)};
      words.insert(words.end(), shape.begin(), shape.end());
      const auto piece = philox_run(words);
      joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_TRUE(same_bits(joined, whole)) << law;
  }
}

// The stream's arithmetic is the program's own: exp and log replaced in the
// C library (by one ulp on every input) change the subtractive stream's
// values but not one bit of philox's.
TEST(Philox, TheCLibrarysExpAndLogAreNotUsed) {
  const program_options altered{{std::string("LD_PRELOAD=") + ALTERED_MATH_LIBRARY, "ALTERED_MATH=all",
                                 testing_support::asan_options_with("verify_asan_link_order=0")},
                                "", "", ""};
  const std::vector<std::string> run{"--seed", "5", "0.9", "12", "2"};
  EXPECT_TRUE(same_bits(philox_run(run, altered), philox_run(run)));
  std::vector<std::string> subtractive{"--binary"};
  subtractive.insert(subtractive.end(), run.begin(), run.end());
  EXPECT_NE(run_cascade(subtractive, altered).out, run_cascade(subtractive).out) << "the preloaded library had no effect";
}

// The text lines and the summary: the lines are the binary doubles printed,
// and the summary line, made in the same pass, comes after them.
TEST(Philox, TextAndSummary) {
  const auto text = run_cascade({"--generator", "philox", "--seed", "7", "--verbose", "0.5", "3", "2"});
  EXPECT_EQ(text.status, 0);
  std::string expected;
  char line[64];
  for (const double v : hex_lines(data_path("philox-S7-args-0.5-3-2.values.hex"))) {
    expected.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%16.15lf\n", v)));
  }
  EXPECT_EQ(text.out, expected);
  EXPECT_EQ(text.err.rfind("N = 16, mean = ", 0), 0u) << text.err;
  EXPECT_TRUE(text.err.ends_with("\ncascade --seed 7 --generator philox 0.5 3 2 # N = 16\n")) << text.err;
  // A law is echoed in the form that reads back to it; the default law is not echoed.
  const auto law = run_cascade({"--generator", "philox", "--seed", "7", "--verbose", "--law", "logpoisson:.250",
                                "--float32", "0.5", "3", "2"});
  EXPECT_TRUE(law.err.ends_with("\ncascade --seed 7 --generator philox --law logpoisson:0.25 --float32 0.5 3 2 # N = "
                                "16\n"))
      << law.err;
  const auto lognormal = run_cascade({"--generator", "philox", "--seed", "7", "--verbose", "--law", "lognormal", "0.5",
                                      "3", "2"});
  EXPECT_TRUE(lognormal.err.ends_with("\ncascade --seed 7 --generator philox 0.5 3 2 # N = 16\n")) << lognormal.err;
}

struct refused_run {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::string err;
};

// The philox stream writes as it makes and summarises last: a full disk or
// a closed stream ends the run with status 1 and a reason, and what was
// written before the failure is the unhindered run's. A closed standard
// input changes nothing.
TEST(Philox, FullDiskAndClosedStreams) {
  const std::string weights = scratch_file(), out = scratch_file(),
                    err = scratch_file();
  const std::vector<std::string> run{"--seed", "9", "--generator", "philox", "--threads", "2",
                                     "--weights", weights, "0.3", "17", "1"};
  ASSERT_EQ(run_cascade(run, program_options{{}, out, "", err}).status, 0);
  const std::string whole_out = read_file(out), whole_weights = read_file(weights), whole_err = read_file(err);
  struct failing_case {
    std::string out_path, shell;
    int status;
    std::string err_end;
    bool values_whole;
  };
  const std::vector<failing_case> cases = {
      {"/dev/full", "", 1, "cascade: cannot write the values: No space left on device\n", false},
      {out, "exec >&-;", 1, "cascade: cannot write the values: Bad file descriptor\n", false},
      {out, "exec 2>&-;", 1, "", true},
      {out, "exec <&-;", 0, whole_err, true},
  };
  for (const auto& c : cases) {
    const auto result = run_cascade(run, program_options{{}, c.out_path, c.shell, err});
    const std::string label = c.out_path + " " + c.shell;
    EXPECT_EQ(result.status, c.status) << label;
    EXPECT_TRUE(read_file(err).ends_with(c.err_end)) << label << "\n" << read_file(err);
    // The summary comes after the values: a run that failed writing them has none.
    if (!c.values_whole) {
      EXPECT_EQ(read_file(err).find("N = "), std::string::npos) << label;
    } else {
      EXPECT_TRUE(read_file(out) == whole_out) << label;
      EXPECT_TRUE(read_file(weights) == whole_weights) << label;
    }
  }
  for (const std::string& file : {weights, out, err}) unlink(file.c_str());
}

TEST(Philox, Refusals) {
  const std::vector<refused_run> cases = {
      {{"--range", "0:4", "0.5", "3", "2"}, {},
       "cascade: --range needs --generator philox: the subtractive stream is one chain, so no piece of it can be made "
       "without every value before it\n"},
      {{"--threads", "3", "0.5", "3", "2"}, {},
       "cascade: --threads must be 1 or 2 with the subtractive stream (its draws are one chain; use the philox stream "
       "for more), got '3'\n"},
      {{"--generator", "philox", "--threads", "0", "0.5", "3", "2"}, {},
       "cascade: --threads must be a whole number from 1 to 1024, got '0'\n"},
      {{"--generator", "philox", "--range", "4:4", "0.5", "3", "2"}, {},
       "cascade: --range must be START:STOP with 0 <= START < STOP <= N = 16, got '4:4'\n"},
      {{"--generator", "philox", "--range", "0:17", "0.5", "3", "2"}, {},
       "cascade: --range must be START:STOP with 0 <= START < STOP <= N = 16, got '0:17'\n"},
      {{"--generator", "philox", "--seed", "18446744073709551616", "0.5", "3", "2"}, {},
       "cascade: --seed must be a whole number from 0 to 18446744073709551615 with the philox stream, got "
       "'18446744073709551616'\n"},
      {{"--seed", "2147483648", "0.5", "3", "2"}, {},
       "cascade: --seed must be a whole number from 0 to 2147483647, got '2147483648'\n"},
      {{"--generator", "philox", "0.5", "49", "1"}, {},
       "cascade: n0 * 2^step_number must be at most 2^48 = 281474976710656 with the philox stream, got 1 * 2^49\n"},
      {{"--generator", "mt", "0.5", "3", "2"}, {}, "cascade: --generator must be subtractive or philox, got 'mt'\n"},
      {{"--generator", "philox", "0.5", "3", "2"}, {"CASCADE_THREADS=lots"},
       "cascade: CASCADE_THREADS must be a whole number from 1 to 1024, got 'lots'\n"},
      {{"--law", "binomial", "0.5", "3", "2"}, {},
       "cascade: --law binomial needs --generator philox: the subtractive stream's draws are its long-standing "
       "contract, so its factors are lognormal alone\n"},
      {{"--generator", "philox", "--law", "cauchy", "0.5", "3", "2"}, {},
       "cascade: --law must be " + cascade::law_names() + ", got 'cauchy'\n"},
      {{"--generator", "philox", "--law", "logpoisson:1", "0.5", "3", "2"}, {},
       "cascade: --law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got '1'\n"},
      {{"--generator", "philox", "--law", "binomial:0.5", "0.5", "3", "2"}, {},
       "cascade: --law must be " + cascade::law_names() + ", got 'binomial:0.5'\n"},
      {{"--generator", "philox", "--law", "logpoisson", "100", "10", "2"}, {},
       "cascade: lambda^2 / step_number must be at most 700 log(beta)^2 with the logpoisson law (a mean of K beyond "
       "700 would leave the normal doubles), got 1000\n"},
      // c = -log(cosh(2 sigma)) / 2 would be -inf, and every value and weight 0.
      {{"--generator", "philox", "--law", "microcanonical", "--seed", "1", "712", "4", "4"}, {},
       "cascade: sigma = |lambda| / sqrt(step_number) must be at most 354.891356446692 with the microcanonical law "
       "(beyond it cosh(2 sigma) leaves the doubles), got 356\n"},
      {{"--generator", "philox", "--law", "binomial", "1e6", "1", "1"}, {},
       "cascade: sigma = |lambda| / sqrt(step_number) must be at most 354.891356446692 with the binomial law "
       "(beyond it cosh(2 sigma) leaves the doubles), got 1e+06\n"},
      {{"--generator", "philox", "--law", "logpoisson:0.99999999999999999999", "0.5", "3", "2"}, {},
       "cascade: --law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got "
       "'0.99999999999999999999', which rounds to 1 in the doubles\n"},
      {{"--generator", "philox", "--law", "logpoisson:1e-999", "0.5", "3", "2"}, {},
       "cascade: --law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got '1e-999', which "
       "rounds to 0 in the doubles\n"},
      {{"--generator", "philox", "--law", "logpoisson:0." + std::string(400, '5'), "0.5", "3", "2"}, {},
       "cascade: --law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got "
       "'0.5555555555555555555555'... (402 characters), which is too long (at most 64 characters)\n"},
      // A repeated option or two formats are refused, whichever order: a script's meaning never rests on the last.
      {{"--generator", "philox", "--law", "binomial", "--law=lognormal", "0.5", "3", "2"}, {},
       "cascade: --law may be given once, got it twice (see cascade --help)\n"},
      {{"--generator", "philox", "--generator", "philox", "0.5", "3", "2"}, {},
       "cascade: --generator may be given once, got it twice (see cascade --help)\n"},
      {{"--seed=1", "--seed", "1", "0.5", "3", "2"}, {},
       "cascade: --seed may be given once, got it twice (see cascade --help)\n"},
      {{"--binary", "--float32", "0.5", "3", "2"}, {}, "cascade: --binary and --float32 choose two formats; give one\n"},
      {{"--float32", "0.5", "--binary", "3", "2"}, {}, "cascade: --float32 and --binary choose two formats; give one\n"},
  };
  for (const auto& c : cases) {
    const auto result = run_cascade(c.arguments, program_options{c.environment, "", "", ""});
    EXPECT_EQ(result.status, 2) << c.err;
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "") << c.err;
  }
}

}  // namespace
