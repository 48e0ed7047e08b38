// The cascade command: reads the command line and hands the run over.
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"
#include "program/arguments.h"
#include "program/exit_status.h"
#include "program/run.h"
#include "program/standard_streams.h"
#include "program/write_fully.h"

#ifndef CASCADE_VERSION
#define CASCADE_VERSION "unknown"
#endif

namespace {

constexpr const char* usage_lines =
    "Command lambda step_number n0\n"
    "Try 'cascade --help' for more information.\n";

constexpr const char* help_text =
    "Usage: cascade [--seed T] [--binary | --float32] [--weights FILE] [--verbose] [--no-progress]\n"
    "               [--generator NAME] [--law NAME[:PARAM]] [--range START:STOP] [--threads K]\n"
    "               lambda step_number n0\n"
    "\n"
    "Writes a random series of N = n0 * 2^step_number values whose magnitudes\n"
    "follow a dyadic multiplicative cascade with log-normal weights. Starting\n"
    "from n0 cells of weight 1, every step splits each cell in two and multiplies\n"
    "each child by exp(sigma * z - sigma^2), z standard normal and\n"
    "sigma = |lambda| / sqrt(step_number); each final weight is then multiplied\n"
    "by one more standard normal deviate.\n"
    "\n"
    "Arguments:\n"
    "  lambda        log-scale spread of the cascade, a finite decimal number\n"
    "  step_number   number of doubling steps, a whole number of at least 1\n"
    "  n0            number of initial cells, a whole number of at least 1\n"
    "                (N may be at most 2147483647; 2^48 with --generator philox)\n"
    "\n"
    "Options:\n"
    "  --seed T      seed with Unix second T (0 to 2147483647) instead of the\n"
    "                clock; the run equals a clock-seeded start at second T.\n"
    "                Only T modulo 10^9 counts: T, T + 10^9 and T + 2*10^9 give\n"
    "                the same run, so take distinct seeds from 0 to 999999999.\n"
    "                With --generator philox, T is the stream's key, 0 to\n"
    "                18446744073709551615, and every T gives another stream\n"
    "  --binary      write raw little-endian IEEE-754 binary64 values, 8 bytes\n"
    "                each, instead of text lines (numpy: np.fromfile(f, '<f8'));\n"
    "                refused when standard output is a terminal\n"
    "  --float32     write raw little-endian IEEE-754 binary32 values, each\n"
    "                rounded to the nearest, 4 bytes each: half the bytes of\n"
    "                --binary (numpy: np.fromfile(f, '<f4')); the summary is\n"
    "                still of the doubles\n"
    "  --weights FILE  also write the cascade's final weights w (x = w * g, g the\n"
    "                last Gaussian deviate) to FILE, in the format and order of\n"
    "                the values\n"
    "  --verbose     after the summary, one more line on standard error: the run\n"
    "                as a command that repeats it, with its seed and N\n"
    "  --no-progress never show the progress line\n"
    "  --generator NAME  the random stream: subtractive (the default, the same\n"
    "                bytes as every earlier run) or philox (counter-based: no\n"
    "                correlation between lags, any piece alone, every CPU, N up\n"
    "                to 2^48 in bounded memory; its summary line comes after\n"
    "                the values)\n"
    "  --law NAME[:PARAM]  with philox, the law of each step's factor W, the\n"
    "                same lambda (Var log W = sigma^2, E[W^2] = 1): lognormal\n"
    "                (the default), binomial (log W = c +- sigma), microcanonical\n"
    "                (siblings take c + sigma and c - sigma) or logpoisson[:BETA]\n"
    "                (log W = c + K log BETA, K Poisson, 0 < BETA < 1, 2/3 unless\n"
    "                given)\n"
    "  --range START:STOP  with philox, write only values START to STOP - 1\n"
    "  --threads K   threads to use: philox 1 to 1024 (default: every CPU the\n"
    "                process may use, or CASCADE_THREADS); subtractive 1 or 2\n"
    "  --help, -h    show this help and exit\n"
    "  --version     show the version and exit (with --verbose, also which exp\n"
    "                and log the run uses: the C library's, or the vector ones)\n"
    "  --            end of options (every later word is an argument)\n"
    "\n"
    "Output: the N values on standard output, one a line with 15 decimals, in\n"
    "cascade order (the descendants of one cell stay together); the line\n"
    "'N = <N>, mean = <mean>, SD = <population SD>' on standard error. When\n"
    "standard error is a terminal, standard output is not, and N >= 2^22, a\n"
    "progress line is shown on standard error and erased again.\n"
    "\n"
    "Environment: CASCADE_SCALAR_MATH=1 (or 0) and CASCADE_VECTOR_LANES=4 (or 8)\n"
    "choose the exp and log path; the values are the same on every path.\n"
    "CASCADE_THREADS=K: the threads when --threads is not given (the\n"
    "subtractive stream uses at most 2).\n"
    "\n"
    "Exit status: 0 success; 1 the run failed (no memory, output could not be\n"
    "written); 2 the command line was refused (or --weights FILE could not be\n"
    "opened or is standard output or error, binary output would go to a\n"
    "terminal, or a CASCADE_ variable has a value it does not take).\n";

/// Writes `text` to standard output; a failure (a full disk) is an error.
int print(std::string_view text) {
  iovec piece{const_cast<char*>(text.data()), text.size()};
  const int error = cascade::write_fully(STDOUT_FILENO, &piece, 1);
  if (error == 0) return cascade::exit_success;
  cascade::report("cannot write to standard output: %s", std::strerror(error));
  return cascade::exit_failure;
}

int print_version(bool verbose) {
  if (!verbose) return print("cascade " CASCADE_VERSION "\n");
  // The subtractive stream's values are the C library's exp and log (or
  // vector forms proven equal to them); the philox stream's, of every law,
  // are the program's own.
  return print("cascade " CASCADE_VERSION "\nmath: " + exact_math::math_path_description() +
               " (the subtractive stream)\nphilox math: " + exact_math::portable_math_description() + "\n");
}

int run(int argc, char** argv) {
  using cascade::parsed_command;
  parsed_command command;
  try {
    command = cascade::parse_arguments(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
  } catch (const std::bad_alloc&) {
    cascade::report("cannot allocate memory for the command line");
    return cascade::exit_failure;
  }
  switch (command.what) {
    case parsed_command::usage:
      cascade::write_error_text(usage_lines);
      return command.status;
    case parsed_command::help:
      return print(help_text);
    case parsed_command::version:
      return print_version(command.parameters.verbose);
    case parsed_command::error:
      cascade::write_error_text(command.message + "\n");
      return command.status;
    case parsed_command::run:
      break;
  }
  return cascade::run_cascade(command.parameters);
}

}  // namespace

int main(int argc, char** argv) {
  cascade::ensure_standard_descriptors();
  // Whatever could not be had and was not reported where it was wanted: one
  // line and the failure status, never an abort.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    cascade::report("cannot allocate memory");
    return cascade::exit_failure;
  }
}
