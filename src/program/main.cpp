// The cascade command: reads the command line and hands the run over.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "program/arguments.h"
#include "program/exit_status.h"
#include "program/run.h"

#ifndef CASCADE_VERSION
#define CASCADE_VERSION "unknown"
#endif

namespace {

constexpr const char* usage_lines =
    "Command lambda step_number n0\n"
    "Try 'cascade --help' for more information.\n";

constexpr const char* help_text =
    "Usage: cascade [--seed T] [--binary] [--weights FILE] [--verbose] [--no-progress]\n"
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
    "                (N may be at most 2147483647)\n"
    "\n"
    "Options:\n"
    "  --seed T      seed with Unix second T (0 to 2147483647) instead of the\n"
    "                clock; the run equals a clock-seeded start at second T.\n"
    "                Only T modulo 10^9 counts: T, T + 10^9 and T + 2*10^9 give\n"
    "                the same run, so take distinct seeds from 0 to 999999999\n"
    "  --binary      write raw little-endian IEEE-754 binary64 values, 8 bytes\n"
    "                each, instead of text lines (numpy: np.fromfile(f, '<f8'));\n"
    "                refused when standard output is a terminal\n"
    "  --weights FILE  also write the cascade's final weights w (x = w * g, g the\n"
    "                last Gaussian deviate) to FILE, in the format and order of\n"
    "                the values\n"
    "  --verbose     after the summary, one more line on standard error: the run\n"
    "                as a command that repeats it, with its seed and N\n"
    "  --no-progress never show the progress line\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "  --            end of options (every later word is an argument)\n"
    "\n"
    "Output: the N values on standard output, one a line with 15 decimals, in\n"
    "cascade order (the descendants of one cell stay together); the line\n"
    "'N = <N>, mean = <mean>, SD = <population SD>' on standard error. When\n"
    "standard error is a terminal, standard output is not, and N >= 2^22, a\n"
    "progress line is shown on standard error and erased again.\n"
    "\n"
    "Exit status: 0 success; 1 the run failed (no memory, output could not be\n"
    "written); 2 the command line was refused (or --weights FILE could not be\n"
    "opened, or --binary output would go to a terminal).\n";

/// Writes `text` to standard output; a failure (a full disk) is an error.
int print(const char* text) {
  std::fputs(text, stdout);
  if (std::fflush(stdout) == 0) return cascade::exit_success;
  std::fprintf(stderr, "cascade: cannot write to standard output: %s\n", std::strerror(errno));
  return cascade::exit_failure;
}

}  // namespace

int main(int argc, char** argv) {
  using cascade::parsed_command;
  const parsed_command command =
      cascade::parse_arguments(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
  switch (command.what) {
    case parsed_command::usage:
      std::fputs(usage_lines, stderr);
      return command.status;
    case parsed_command::help:
      return print(help_text);
    case parsed_command::version:
      return print("cascade " CASCADE_VERSION "\n");
    case parsed_command::error:
      std::fprintf(stderr, "%s\n", command.message.c_str());
      return command.status;
    case parsed_command::run:
      break;
  }
  return cascade::run_cascade(command.parameters);
}
