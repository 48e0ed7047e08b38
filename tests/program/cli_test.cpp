// The built program, run as a user would run it.
#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cascade/formats.h"
#include "cascade/laws.h"
#include "cascade/models.h"
#include "support/golden.h"
#include "support/run_program.h"
#include "support/sanitized_build.h"

namespace {

using testing_support::data_path;
using testing_support::program_options;
using testing_support::read_file;
using testing_support::run_cascade;
using testing_support::scratch_file;
using testing_support::sanitized_build;

struct golden_run {
  std::string seed, lambda, step_number, n0;
  std::string name() const { return "run-T" + seed + "-args-" + lambda + "-" + step_number + "-" + n0; }
};

const std::vector<golden_run> golden_runs = {
    {"1000", "0.5", "2", "3"},
    {"1600000000", "0.4", "12", "1"},
    {"1700000000", "0", "4", "2"},  // lambda 0: plain Gaussian noise
    {"1700000000", "0.3", "3", "1"},
};

TEST(Cli, SeededRunsMatchKnownAnswers) {
  for (const auto& run : golden_runs) {
    const auto result = run_cascade({"--seed", run.seed, run.lambda, run.step_number, run.n0});
    EXPECT_EQ(result.status, 0) << run.name();
    EXPECT_EQ(result.out, read_file(data_path(run.name() + ".out"))) << run.name();
    EXPECT_EQ(result.err, read_file(data_path(run.name() + ".err"))) << run.name();
  }
}

/// A fresh temporary file's path; the file exists and is empty.
/// Text lines as printf prints them, from raw little-endian doubles.
std::string lines_of_binary(const std::string& bytes) {
  std::string lines;
  char line[400];
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(bytes[i + b]);
    lines.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%16.15lf\n", std::bit_cast<double>(bits))));
  }
  return lines;
}

// --weights FILE writes the final weights in the values' format; the values
// and the summary stay byte for byte those of the run without it.
TEST(Cli, WeightsMatchKnownAnswers) {
  for (const auto& run : golden_runs) {
    for (const bool binary : {false, true}) {
      const std::string weights = scratch_file();
      std::vector<std::string> arguments{"--seed", run.seed, "--weights", weights, run.lambda, run.step_number, run.n0};
      if (binary) arguments.insert(arguments.begin(), "--binary");
      const auto result = run_cascade(arguments);
      const std::string label = run.name() + (binary ? " binary" : " text");
      EXPECT_EQ(result.status, 0) << label;
      EXPECT_EQ(result.err, read_file(data_path(run.name() + ".err"))) << label;
      const std::string expected_out = read_file(data_path(run.name() + ".out"));
      EXPECT_EQ(binary ? lines_of_binary(result.out) : result.out, expected_out) << label;
      const std::string written = read_file(weights);
      EXPECT_EQ(binary ? lines_of_binary(written) : written, read_file(data_path(run.name() + ".weights"))) << label;
      if (binary) {
        EXPECT_EQ(written.size(), result.out.size()) << label;
      }
      unlink(weights.c_str());
    }
  }
}

// Long enough for both threads to write both files, chunk after chunk: the
// values equal those of the run without the option.
TEST(Cli, WeightsLeaveALongRunUnchanged) {
  const std::string weights = scratch_file();
  const auto with = run_cascade({"--seed", "7", "--weights", weights, "0.4", "17", "1"});
  const auto without = run_cascade({"--seed", "7", "0.4", "17", "1"});
  EXPECT_EQ(with.status, 0);
  EXPECT_EQ(with.err, without.err);
  EXPECT_TRUE(with.out == without.out);
  const std::string written = read_file(weights);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1 << 17);
  unlink(weights.c_str());
}

// --verbose adds one line after the summary: a command that, pasted back,
// gives the same run; a clock-seeded run names its second.
TEST(Cli, VerboseNamesTheRunAsACommand) {
  const golden_run& run = golden_runs[3];
  const auto seeded = run_cascade({"--verbose", "--seed", run.seed, "+.3", "03", run.n0});
  EXPECT_EQ(seeded.status, 0);
  EXPECT_EQ(seeded.out, read_file(data_path(run.name() + ".out")));
  EXPECT_EQ(seeded.err, read_file(data_path(run.name() + ".err")) + "cascade --seed 1700000000 0.3 3 1 # N = 8\n");

  const std::string preload = std::string("LD_PRELOAD=") + FROZEN_CLOCK_LIBRARY;
  const std::string asan_options = testing_support::asan_options_with("verify_asan_link_order=0");
  const auto clocked = run_cascade({"--binary", "--verbose", "-0.5", "2", "3"},
                                   program_options{{preload, "FROZEN_TIME=1000", asan_options}, "", "", ""});
  EXPECT_EQ(clocked.err, read_file(data_path("run-T1000-args-0.5-2-3.err")) +
                             "cascade --seed 1000 --binary -0.5 2 3 # N = 12\n");
}

// Options may stand anywhere, extra words are ignored, and lambda enters only
// through its square: all of these are the same run.
TEST(Cli, EquivalentCommandLinesGiveTheSameBytes) {
  const std::string expected = read_file(data_path("run-T1000-args-0.5-2-3.out"));
  const std::vector<std::vector<std::string>> lines = {
      {"--seed=1000", "0.5", "2", "3"},
      {"0.5", "2", "3", "--seed", "1000"},
      {"--seed", "1000", "-0.5", "2", "3"},
      {"--seed", "1000", "--", "-0.5", "2", "3", "more", "words"},
      {"--seed", "1000", "5e-1", "+2", "03"},
      {"--seed", "1000", "--model", "dyadic", "0.5", "2", "3"},
      {"--seed", "1000", "--law=lognormal", "--model=dyadic", "0.5", "2", "3"},
  };
  for (const auto& line : lines) {
    const auto result = run_cascade(line);
    EXPECT_EQ(result.status, 0) << line[0] << " " << line[1];
    EXPECT_EQ(result.out, expected) << line[0] << " " << line[1];
  }
}

// --binary writes the very doubles that the text lines print, little-endian,
// 8 bytes each and nothing else; the summary line is unchanged.
TEST(Cli, BinaryValuesAreTheDoublesBehindTheTextLines) {
  const golden_run& run = golden_runs[1];
  const auto binary = run_cascade({"--binary", "--seed", run.seed, run.lambda, run.step_number, run.n0});
  EXPECT_EQ(binary.status, 0);
  EXPECT_EQ(binary.err, read_file(data_path(run.name() + ".err")));
  ASSERT_EQ(binary.out.size(), 4096u * 8);
  std::string lines;
  char line[400];
  for (std::size_t i = 0; i < binary.out.size(); i += 8) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(binary.out[i + b]);
    lines.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%16.15lf\n", std::bit_cast<double>(bits))));
  }
  EXPECT_EQ(lines, read_file(data_path(run.name() + ".out")));
}

// A run started at second T without --seed is the --seed T run; a clock past
// 2^31 - 1 folds back into range.
TEST(Cli, ClockSeededRunEqualsSeedOfTheSameSecond) {
  const std::string preload = std::string("LD_PRELOAD=") + FROZEN_CLOCK_LIBRARY;
  // A program with a shared AddressSanitizer runtime refuses to start when a
  // preloaded library comes before that runtime; the clock shim is harmless there.
  const std::string asan_options = testing_support::asan_options_with("verify_asan_link_order=0");
  const auto at = [&](const std::string& seconds) {
    return run_cascade({"0.3", "3", "1"},
                       program_options{{preload, "FROZEN_TIME=" + seconds, asan_options}, "", "", ""});
  };
  const auto frozen = at("1700000000");
  EXPECT_EQ(frozen.status, 0);
  EXPECT_EQ(frozen.out, read_file(data_path("run-T1700000000-args-0.3-3-1.out")));
  EXPECT_EQ(frozen.err, read_file(data_path("run-T1700000000-args-0.3-3-1.err")));

  const auto folded = at(std::to_string(2147483648LL + 1000));
  EXPECT_EQ(folded.out, run_cascade({"--seed", "1000", "0.3", "3", "1"}).out);
}

struct refused_line {
  std::vector<std::string> arguments;
  int status;
  std::string err;  // exact standard error
};

TEST(Cli, CommandLineContract) {
  const std::string usage = "Command lambda step_number n0\nTry 'cascade --help' for more information.\n";
  const std::vector<refused_line> cases = {
      {{}, 2, usage},
      {{"0.5", "2"}, 2, usage},
      {{"abc", "2", "3"}, 2, "cascade: lambda must be a finite decimal number, got 'abc'\n"},
      {{"0.5", "0", "3"}, 2, "cascade: step_number must be a whole number of at least 1, got '0'\n"},
      {{"0.5", "2", "abc"}, 2, "cascade: n0 must be a whole number of at least 1, got 'abc'\n"},
      {{"0.5", "30", "2"}, 2, "cascade: n0 * 2^step_number must be at most 2147483647, got 2 * 2^30\n"},
      {{"0.3", "4", "3000000000"}, 2, "cascade: n0 must be at most 2147483647, got '3000000000'\n"},
      {{"0.3", "99999999999", "1"}, 2,
       "cascade: step_number must be at most 30 (n0 * 2^step_number at most 2147483647), got '99999999999'\n"},
      {{"--weights", "/nonexistent-folder/w.txt", "0.5", "2", "3"}, 2,
       "cascade: cannot open the weights file '/nonexistent-folder/w.txt': No such file or directory\n"},
      {{"--frobnicate", "0.5", "2", "3"}, 2, "cascade: unknown option '--frobnicate' (see cascade --help)\n"},
      {{"--seed", "x", "0.5", "2", "3"}, 2,
       "cascade: --seed must be a whole number from 0 to 2147483647, got 'x'\n"},
      // Every factor would be exp(inf - inf): not a number.
      {{"--seed", "1", "1.35e154", "3", "1"}, 2,
       "cascade: lambda must be at most 1.3407807929942596e+154 in size, so that its square is finite, got "
       "'1.35e154'\n"},
      // A path is shown as any refused word is: escaped, on one line.
      {{"--weights", "/nonexistent-folder/w\n\x1b[2J.txt", "0.5", "2", "3"}, 2,
       "cascade: cannot open the weights file '/nonexistent-folder/w\\n\\x1b[2J.txt': No such file or directory\n"},
      // A long word is cut at 79 bytes.
      {{std::string(100, '7') + "x", "2", "3"}, 2,
       "cascade: lambda must be a finite decimal number, got '" + std::string(79, '7') + "\xe2\x80\xa6'\n"},
  };
  for (const auto& c : cases) {
    const auto result = run_cascade(c.arguments);
    const std::string label = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(result.status, c.status) << label;
    EXPECT_EQ(result.err, c.err) << label;
    EXPECT_EQ(result.out, "") << label;
  }
}

// The math variables take their documented values only; anything else is
// refused before any work, naming the variable.
TEST(Cli, MathVariablesOutsideTheirValuesAreRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"CASCADE_VECTOR_LANES=16", "cascade: CASCADE_VECTOR_LANES must be 4 or 8, got '16'\n"},
      {"CASCADE_VECTOR_LANES=four", "cascade: CASCADE_VECTOR_LANES must be 4 or 8, got 'four'\n"},
      {"CASCADE_SCALAR_MATH=yes", "cascade: CASCADE_SCALAR_MATH must be 1 or 0, got 'yes'\n"},
  };
  for (const auto& [setting, err] : cases) {
    const auto result = run_cascade({"--seed", "1", "0.3", "3", "1"}, program_options{{setting}, "", "", ""});
    EXPECT_EQ(result.status, 2) << setting;
    EXPECT_EQ(result.err, err) << setting;
    EXPECT_EQ(result.out, "") << setting;
  }
  for (const std::string setting : {"CASCADE_SCALAR_MATH=0", "CASCADE_VECTOR_LANES=8", "CASCADE_SCALAR_MATH="}) {
    const golden_run& run = golden_runs[3];
    const auto result = run_cascade({"--seed", run.seed, run.lambda, run.step_number, run.n0},
                                    program_options{{setting}, "", "", ""});
    EXPECT_EQ(result.status, 0) << setting;
    EXPECT_EQ(result.out, read_file(data_path(run.name() + ".out"))) << setting;
  }
}

// Every rule of a run, its environment's included, is checked before any
// file is opened: a refused run leaves an existing weights file as it was.
// CASCADE_THREADS is judged even when --threads overrides it, and takes
// what --threads takes.
TEST(Cli, RefusedEnvironmentLeavesTheWeightsFileAsItWas) {
  const std::string weights = scratch_file();
  const std::string kept = "1\n2\n3\n";
  struct environment_case {
    std::string setting;
    std::vector<std::string> options;
    std::string err;
  };
  const std::vector<environment_case> cases = {
      {"CASCADE_THREADS=abc", {}, "cascade: CASCADE_THREADS must be a whole number from 1 to 1024, got 'abc'\n"},
      {"CASCADE_THREADS=0", {"--generator", "philox"},
       "cascade: CASCADE_THREADS must be a whole number from 1 to 1024, got '0'\n"},
      {"CASCADE_THREADS=abc", {"--threads", "2"},
       "cascade: CASCADE_THREADS must be a whole number from 1 to 1024, got 'abc'\n"},
      {"CASCADE_VECTOR_LANES=16", {"--generator", "philox"}, "cascade: CASCADE_VECTOR_LANES must be 4 or 8, got '16'\n"},
      {"CASCADE_SCALAR_MATH=yes", {}, "cascade: CASCADE_SCALAR_MATH must be 1 or 0, got 'yes'\n"},
  };
  for (const auto& c : cases) {
    { std::ofstream(weights) << kept; }
    std::vector<std::string> arguments = c.options;
    for (const std::string word : {"--seed", "1", "--weights", weights.c_str(), "0.3", "3", "1"}) arguments.push_back(word);
    const auto result = run_cascade(arguments, program_options{{c.setting}, "", "", ""});
    const std::string label = c.setting + (c.options.empty() ? "" : " " + c.options[0]);
    EXPECT_EQ(result.status, 2) << label;
    EXPECT_EQ(result.err, c.err) << label;
    EXPECT_EQ(result.out, "") << label;
    EXPECT_EQ(read_file(weights), kept) << label;
  }
  // A sign, as --threads takes it.
  const auto signed_threads = run_cascade({"--seed", "1", "--generator", "philox", "0.3", "3", "1"},
                                          program_options{{"CASCADE_THREADS=+2"}, "", "", ""});
  EXPECT_EQ(signed_threads.status, 0) << signed_threads.err;
  unlink(weights.c_str());
}

/// The options of the table of formats, the default's (none) left out.
std::vector<std::string> format_options() {
  std::vector<std::string> options;
  for (const cascade::format_row& row : cascade::output_formats()) {
    if (!row.option.empty()) options.emplace_back(row.option);
  }
  return options;
}

/// The options joined by `between`, each spelled by `spelled`.
template <typename Spelling>
std::string joined(const std::vector<std::string>& options, const std::string& between, Spelling spelled) {
  std::string text;
  for (const std::string& option : options) {
    if (!text.empty()) text += between;
    text += spelled(option);
  }
  return text;
}

/// "[--binary | --float32]", the usage's choice of a format.
std::string format_choice() {
  std::string choice = "[";
  choice += joined(format_options(), " | ", [](const std::string& option) { return option; });
  choice += "]";
  return choice;
}

/// "--float32" as roff writes it, "\-\-float32".
std::string roff(const std::string& option) {
  std::string spelled;
  for (const char c : option) spelled += c == '-' ? std::string("\\-") : std::string(1, c);
  return spelled;
}

std::string source_file(const std::string& path) { return read_file(std::string(CASCADE_SOURCE_DIR) + "/" + path); }

TEST(Cli, HelpAndVersionGoToStandardOutput) {
  const auto help = run_cascade({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_NE(help.out.find("Usage: cascade [--seed T] " + format_choice() + " [--weights FILE] [--verbose] [--no-progress]\n"
                          "               [--generator NAME] [--law NAME[:PARAM]] [--model NAME]\n"
                          "               [--range START:STOP] [--threads K]\n"
                          "               [--output FILE [--with-weights] [--force]] lambda step_number n0\n"
                          "       cascade [--threads K] --verify FILE\n"),
            std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);

  EXPECT_EQ(run_cascade({"-h"}).out, help.out);  // no number looks like -h

  const auto version = run_cascade({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("cascade ", 0), 0u);
  EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);

  // With --verbose, the math path a run takes, in a second line.
  const auto verbose = run_cascade({"--version", "--verbose"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_EQ(verbose.out.rfind(version.out + "math: ", 0), 0u) << verbose.out;
  const auto scalar = run_cascade({"--verbose", "--version"}, program_options{{"CASCADE_SCALAR_MATH=1"}, "", "", ""});
  // Each stream's path: the subtractive stream's exp and log are the C library's, the philox stream's its own.
  // Then whether the build writes results files, and with which HDF5.
  EXPECT_EQ(scalar.out.rfind(version.out +
                                 "math: scalar (the C library's exp and log): CASCADE_SCALAR_MATH=1 (the subtractive "
                                 "stream)\nphilox math: the program's own exp and log, scalar (std::fma), the same bits "
                                 "on every machine\nresults files: ",
                             0),
            0u)
      << scalar.out;
  EXPECT_EQ(std::count(scalar.out.begin(), scalar.out.end(), '\n'), 4) << scalar.out;
}

// A C library whose exp and log are replaced (here by a preloaded library
// that changes exp and log on one input in 65536, which a sample of inputs could
// miss) is not the one the vector functions were proven against: the run
// takes the scalar path, and so the library's own values.
TEST(Cli, ReplacedExpOrLogMeansTheScalarPath) {
  const std::string asan_options = testing_support::asan_options_with("verify_asan_link_order=0");
  const auto result = run_cascade({"--version", "--verbose"},
                                  program_options{{std::string("LD_PRELOAD=") + ALTERED_MATH_LIBRARY, asan_options,
                                                   "CASCADE_SCALAR_MATH=0"},
                                                  "", "", ""});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("math: scalar (the C library's exp and log): exp or log is not the C library's own"),
            std::string::npos)
      << result.out;
}

/// The distinct "--option" words of a text (roff's "\-" read as "-").
std::set<std::string> options_named_in(std::string text) {
  for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z0-9-]*");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  return options;
}

// The help and the manual describe the same options and the same statuses.
TEST(Cli, HelpAndManualAgree) {
  const std::string help = run_cascade({"--help"}).out;
  const std::string manual = read_file(CASCADE_MAN_PAGE);
  ASSERT_FALSE(manual.empty());
  EXPECT_EQ(options_named_in(help), options_named_in(manual));
  std::set<std::string> expected{"--generator", "--help",    "--law",     "--model",   "--no-progress",
                                 "--range",     "--seed",    "--threads", "--verbose", "--version",
                                 "--weights",   "--output",  "--verify",  "--force",   "--with-weights"};
  for (const std::string& option : format_options()) expected.insert(option);
  EXPECT_EQ(options_named_in(help), expected);
  for (const char* status : {"0", "1", "2"}) {
    EXPECT_NE(manual.find(std::string(".B ") + status + "\n"), std::string::npos) << "exit status " << status;
  }
  EXPECT_NE(help.find("Exit status: 0 success; 1 the run failed"), std::string::npos);
  EXPECT_NE(help.find("2 the command line was refused"), std::string::npos);
}

// Every format of the table is in the usage of the help, the manual, the
// README and docs/command-line.md, as one choice, and has its own entry in
// the help's options, the manual's and docs/command-line.md's table.
TEST(Cli, EveryFormatIsDocumented) {
  const std::string help = run_cascade({"--help"}).out;
  const std::string manual = read_file(CASCADE_MAN_PAGE);
  const std::string readme = source_file("README.md");
  const std::string command_line = source_file("docs/command-line.md");
  ASSERT_FALSE(readme.empty());
  ASSERT_FALSE(command_line.empty());
  const std::vector<std::string> options = format_options();
  ASSERT_FALSE(options.empty());
  const std::string choice = format_choice();
  EXPECT_NE(help.find("Usage: cascade [--seed T] " + choice + " [--weights FILE]"), std::string::npos) << choice;
  EXPECT_NE(manual.find(".RB [ " + joined(options, " \" | \" ", roff) + " ]\n"), std::string::npos) << choice;
  const std::string usage_line = "\n        " + choice + " [--weights FILE] [--verbose] [--no-progress] lambda step_number n0\n";
  EXPECT_NE(readme.find(usage_line), std::string::npos) << choice;
  EXPECT_NE(command_line.find(usage_line), std::string::npos) << choice;
  for (const std::string& option : options) {
    EXPECT_NE(help.find("\n  " + option + " "), std::string::npos) << option;
    EXPECT_NE(manual.find(".TP\n.B " + roff(option) + "\n"), std::string::npos) << option;
    EXPECT_NE(command_line.find("\n| `" + option + "` | "), std::string::npos) << option;
  }
}

// The names of every law and model of the tables, written where a user
// reads them all: the help takes them from the tables; the manual and the
// page of the laws are held to them here, so a row added without its words
// fails. (The other pages, the header and the docstrings name the default
// and send the reader to the tables.)
TEST(Cli, EveryLawAndModelIsDocumented) {
  const std::string help = run_cascade({"--help"}).out;
  const std::string manual = read_file(CASCADE_MAN_PAGE);
  const std::string laws_page = source_file("docs/laws.md");
  const auto section = [](const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t start = text.find(from);
    return start == std::string::npos ? std::string() : text.substr(start, text.find(to, start + 1) - start);
  };
  // The help's lines joined again: a summary may be wrapped.
  const std::string help_laws = std::regex_replace(section(help, "  --law NAME[:PARAM]  ", "\n  --"),
                                                   std::regex("\n +"), " ");
  const std::string manual_laws = section(manual, ".BI \\-\\-law", ".TP");
  for (const cascade::law_descriptor* law : cascade::law_table) {
    const std::string name(law->name);
    EXPECT_NE(help_laws.find(" " + name), std::string::npos) << name;
    EXPECT_NE(help_laws.find(std::string(law->summary)), std::string::npos) << name;
    EXPECT_NE(manual_laws.find("\n.B " + name + "\n") + manual_laws.find("\n.BI " + name), 2 * std::string::npos)
        << name;
    EXPECT_NE(laws_page.find("\n| `" + name), std::string::npos) << name;
  }
  const std::string help_models = section(help, "  --model NAME  ", "\n  --");
  const std::string manual_models = section(manual, ".BI \\-\\-model", ".TP");
  ASSERT_FALSE(cascade::model_table.empty());
  for (const cascade::model_descriptor* model : cascade::model_table) {
    const std::string name(model->name);
    EXPECT_NE(help_models.find(" " + name + " ("), std::string::npos) << name;
    EXPECT_NE(manual_models.find("\n.B " + name + "\n"), std::string::npos) << name;
  }
}

TEST(Cli, FullDiskIsAFailureWithAReason) {
  const auto result = run_cascade({"--seed", "1", "0.3", "12", "4"}, program_options{{}, "/dev/full", "", ""});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("N = 16384, mean = ", 0), 0u) << result.err;
  EXPECT_TRUE(result.err.ends_with("\ncascade: cannot write the values: No space left on device\n")) << result.err;
}

// The summary is part of the output: a run whose summary cannot be written
// failed, and writes no values after it.
TEST(Cli, SummaryThatCannotBeWrittenIsAFailure) {
  for (const std::string format : {"--no-progress", "--binary"}) {
    const std::string out = scratch_file();
    const auto result = run_cascade({format, "--seed", "5", "0.3", "3", "1"}, program_options{{}, out, "", "/dev/full"});
    EXPECT_EQ(result.status, 1) << format;
    EXPECT_EQ(read_file(out), "") << format;
    unlink(out.c_str());
  }
}

// Help and version text that cannot be written is no success either.
TEST(Cli, FullDiskFailsHelpAndVersion) {
  for (const std::string option : {"--help", "--version"}) {
    const auto result = run_cascade({option}, program_options{{}, "/dev/full", "", ""});
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_EQ(result.err, "cascade: cannot write to standard output: No space left on device\n") << option;
  }
}

// 2^31 - 2 values need 16 GiB. A 1 GiB address-space limit
// refuses them; AddressSanitizer reserves far more address space than that
// up front, so there its allocator is capped instead.
TEST(Cli, MemoryThatCannotBeHadIsReportedBeforeAnyOutput) {
  const program_options one_gibibyte =
      sanitized_build
          ? program_options{{testing_support::asan_options_with("allocator_may_return_null=1:max_allocation_size_mb=1024")},
                            "",
                            "",
                            ""}
          : program_options{{}, "", "ulimit -v 1048576;", ""};
  const auto result = run_cascade({"0.3", "1", "1073741823"}, one_gibibyte);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(testing_support::without_refused_allocation_warnings(result.err),
            "cascade: cannot allocate memory for 2147483646 values\n");
  EXPECT_EQ(result.out, "");
}

struct refused_allocation {
  std::vector<std::string> arguments;
  std::string size, thread, nth;  // which allocation the preloaded allocator refuses
  std::string err;                // the last line of standard error
};

// One allocation refused at a time, by a preloaded allocator: the run ends
// with status 1 and a line naming what it could not have, never a signal,
// and no value is written after the failure. The values, then the weights;
// then the text buffers of both windows, made before any thread uses them
// (blocks of 2^15 lines at 20 bytes, plus room for one line of the longest
// kind; three a window).
TEST(Cli, RefusedAllocationsAreNamed) {
  const std::string vector_bytes = std::to_string((1 << 20) * 8);
  const std::string block_text_bytes = std::to_string((1 << 15) * 20 + 352);
  const std::string weights = scratch_file();
  const std::vector<std::string> run{"--seed", "1", "0.3", "20", "1"};
  const std::vector<std::string> run_with_weights{"--seed", "1", "--weights", weights, "0.3", "20", "1"};
  const std::vector<refused_allocation> cases = {
      {run, vector_bytes, "main", "1", "cascade: cannot allocate memory for 1048576 values\n"},
      {run_with_weights, vector_bytes, "main", "2", "cascade: cannot allocate memory for 1048576 weights\n"},
      {run, block_text_bytes, "main", "1", "cascade: cannot allocate memory for the working buffers\n"},
      {run, block_text_bytes, "main", "4", "cascade: cannot allocate memory for the working buffers\n"},
  };
  const std::string asan_options = testing_support::asan_options_with("verify_asan_link_order=0");
  for (const auto& c : cases) {
    const auto result = run_cascade(
        c.arguments, program_options{{std::string("LD_PRELOAD=") + FAILING_MALLOC_LIBRARY, "FAIL_SIZE=" + c.size,
                                      "FAIL_THREAD=" + c.thread, "FAIL_NTH=" + c.nth, asan_options},
                                     "", "", ""});
    const std::string label = c.size + " #" + c.nth;
    EXPECT_EQ(result.status, 1) << label << "\n" << result.err;
    EXPECT_TRUE(result.err.ends_with(c.err)) << label << "\n" << result.err;
    EXPECT_EQ(result.out, "") << label;
  }
  unlink(weights.c_str());
}

// Every allocation of a run that shares its work between threads, refused
// in turn, whatever its size and on any thread, for both streams: the run
// either carries on (with fewer threads when a helper cannot be had) and
// writes exactly the bytes of an unhindered run, or ends with status 1 and a
// line saying what memory it could not have. Never a signal, never other
// bytes. --version --verbose either says which math a run would use, for a
// true reason, or fails the same way.
TEST(Cli, EveryRefusedAllocationEndsCleanly) {
  if (sanitized_build) GTEST_SKIP() << "the sanitizers' allocator stands before the preloaded one";
  const std::string out = scratch_file(), weights = scratch_file(), count_file = scratch_file();
  const std::vector<std::vector<std::string>> runs = {
      {"--seed", "1", "--weights", weights, "0.3", "15", "1"},
      {"--seed", "1", "--generator", "philox", "--threads", "3", "--weights", weights, "0.3", "16", "1"},
      {"--version", "--verbose"},
  };
  const std::string preload = std::string("LD_PRELOAD=") + FAILING_ALLOCATIONS_LIBRARY;
  const std::string asan_options = testing_support::asan_options_with("verify_asan_link_order=0");
  for (const auto& run : runs) {
    ASSERT_EQ(run_cascade(run, program_options{{}, out, "", ""}).status, 0);
    const std::string expected_out = read_file(out), expected_weights = read_file(weights);
    for (const std::string thread : {"main", "helper"}) {
      run_cascade(run, program_options{{preload, "FAIL_SIZE=any", "FAIL_THREAD=" + thread, "FAIL_NTH=0",
                                        "FAIL_COUNT_FILE=" + count_file, asan_options},
                                       out, "", ""});
      const long allocations = std::strtol(read_file(count_file).c_str(), nullptr, 10);
      if (thread == "main") {
        // A run makes scores of allocations; --version --verbose a few
        // (fewer still with CASCADE_SCALAR_MATH=1: no self-check).
        EXPECT_GT(allocations, run[0] == "--version" ? 2 : 20) << "the shim saw no allocation";
      }
      for (long nth = 1; nth <= allocations; ++nth) {
        const auto result = run_cascade(run, program_options{{preload, "FAIL_SIZE=any", "FAIL_THREAD=" + thread,
                                                              "FAIL_NTH=" + std::to_string(nth), asan_options},
                                                             out, "", ""});
        const std::string label = run[1] + " " + thread + " #" + std::to_string(nth) + "\n" + result.err;
        const bool version = run[0] == "--version";
        if (result.status == 0 && version) {
          // Another math path may be taken, for a true reason.
          EXPECT_EQ(read_file(out).rfind(expected_out.substr(0, expected_out.find("math: ") + 6), 0), 0u) << label;
          EXPECT_EQ(read_file(out).find("a preloaded library replaces it"), std::string::npos) << label;
        } else if (result.status == 0) {
          EXPECT_TRUE(read_file(out) == expected_out && read_file(weights) == expected_weights) << label;
        } else {
          EXPECT_EQ(result.status, 1) << label;
          const std::string err = testing_support::without_refused_allocation_warnings(result.err);
          const std::size_t last_line = err.rfind('\n', err.size() - 2);
          const std::string last = err.substr(last_line == std::string::npos ? 0 : last_line + 1);
          EXPECT_EQ(last.rfind("cascade: cannot", 0), 0u) << label;
        }
      }
    }
  }
  for (const std::string& file : {out, weights, count_file}) unlink(file.c_str());
}

}  // namespace
