#include "program/help_text.h"

#include "cascade/formats.h"

namespace cascade {
namespace {

constexpr std::string_view description =
    "               [--generator NAME] [--law NAME[:PARAM]] [--range START:STOP] [--threads K]\n"
    "               [--output FILE [--with-weights] [--force]] lambda step_number n0\n"
    "       cascade [--threads K] --verify FILE\n"
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
    "                18446744073709551615, and every T gives another stream\n";

constexpr std::string_view after_formats =
    "  --weights FILE  also write the cascade's final weights w (x = w * g, g the\n"
    "                last Gaussian deviate) to FILE, in the format and order of\n"
    "                the values\n"
    "  --output FILE write the run into FILE instead of standard output: one\n"
    "                HDF5 file laid out as netCDF-4 (xarray.open_dataset opens\n"
    "                it), the values x (float64, or float32 with --float32) along\n"
    "                t, the run's parameters, the command that makes it again\n"
    "                and a SHA-256 of each dataset as attributes; written under a\n"
    "                temporary name in FILE's folder and renamed when complete\n"
    "  --with-weights  with --output, the weights w in FILE too\n"
    "  --force       with --output, replace FILE when it exists (else refused)\n"
    "  --verify FILE make the run FILE describes again and compare every value\n"
    "                bit for bit: status 0 equal, 1 one differs (the first is\n"
    "                named), 2 FILE is no results file of cascade or unreadable\n"
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
    "terminal, --output FILE exists or is no regular file, or a CASCADE_\n"
    "variable has a value it does not take). --verify: 0 equal, 1 differs,\n"
    "2 not a results file.\n";

/// "[--binary | --float32]": the options of the table of formats.
std::string format_choice() {
  std::string choice;
  for (const format_row& row : output_formats()) {
    if (row.option.empty()) continue;
    choice += choice.empty() ? "[" : " | ";
    choice += row.option;
  }
  return choice + "]";
}

/// The option in a column of 14, then its lines, the later ones indented to the text.
std::string option_lines(const format_row& row) {
  std::string lines = "  " + std::string(row.option);
  lines.append(lines.size() < 14 ? 16 - lines.size() : 2, ' ');
  for (const char c : row.help) {
    lines += c;
    if (c == '\n') lines.append(16, ' ');
  }
  return lines + '\n';
}

}  // namespace

std::string help_text() {
  std::string text = "Usage: cascade [--seed T] " + format_choice() + " [--weights FILE] [--verbose] [--no-progress]\n";
  text += description;
  for (const format_row& row : output_formats()) {
    if (!row.option.empty()) text += option_lines(row);
  }
  text += after_formats;
  return text;
}

}  // namespace cascade
