#include "program/help_text.h"

#include "cascade/formats.h"
#include "cascade/laws.h"
#include "cascade/models.h"

namespace cascade {
namespace {

constexpr std::string_view description_before_laws =
    "               [--generator NAME] [--law NAME[:PARAM]] [--model NAME]\n"
    "               [--range START:STOP] [--threads K]\n"
    "               [--output FILE [--with-weights] [--force]] lambda step_number n0\n"
    "       cascade [--threads K] --verify FILE\n"
    "\n";

constexpr std::string_view arguments_and_seed =
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
    "                the values)\n";

constexpr std::string_view after_laws =
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

/// `text` after `start`, its words in lines of at most 78 columns, the later
/// lines indented by `indent` (the options' text by default).
std::string wrapped(std::string start, std::string_view text, std::size_t indent = 16) {
  constexpr std::size_t width = 78;
  std::string lines = std::move(start);
  std::size_t line_start = 0;
  while (!text.empty()) {
    const std::size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const bool first = lines.size() == line_start || lines.back() == ' ';
    if (!first && lines.size() - line_start + 1 + word.size() > width) {
      lines += '\n';
      line_start = lines.size();
      lines.append(indent, ' ');
    } else if (!first) {
      lines += ' ';
    }
    lines += word;
  }
  return lines + '\n';
}

/// "a, b or c".
template <typename Rows, typename Text>
std::string listed(const Rows& rows, Text text) {
  std::string list;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) list += i + 1 == rows.size() ? " or " : ", ";
    list += text(*rows[i], i == 0);
  }
  return list;
}

/// What a run writes, naming the models and laws of their tables.
std::string what_it_writes() {
  const std::string models = listed(model_table, [](const model_descriptor& model, bool) {
    return std::string(model.name);
  });
  const std::string laws = listed(law_table, [](const law_descriptor& law, bool) { return std::string(law.name); });
  return wrapped("", "Writes a random series of N = n0 * 2^step_number values whose magnitudes follow a "
                     "multiplicative cascade (--model: " + models + "). Starting from n0 cells of weight 1, every "
                     "step splits each cell in two and multiplies each child by a factor W of spread "
                     "sigma = |lambda| / sqrt(step_number) that follows a law (--law: " + laws + "; by default "
                     "log-normal, W = exp(sigma * z - sigma^2), z standard normal); each final weight is then "
                     "multiplied by one more standard normal deviate.", 0) + "\n";
}

std::string law_option() {
  const std::string laws = listed(law_table, [](const law_descriptor& law, bool first) {
    std::string item(law.name);
    if (law.has_parameter) item += "[:BETA]";
    return item + " (" + (first ? "the default: " : "") + std::string(law.summary) + ")";
  });
  return wrapped("  --law NAME[:PARAM]  ", "with philox, the law of each step's factor W, the same lambda "
                                          "(Var log W = sigma^2, E[W^2] = 1): " + laws);
}

std::string model_option() {
  const std::string models = listed(model_table, [](const model_descriptor& model, bool first) {
    return std::string(model.name) + " (" + (first ? "the default: " : "") + std::string(model.summary) + ")";
  });
  return wrapped("  --model NAME  ", "the cascade's model: " + models);
}

}  // namespace

std::string help_text() {
  std::string text = "Usage: cascade [--seed T] " + format_choice() + " [--weights FILE] [--verbose] [--no-progress]\n";
  text += description_before_laws;
  text += what_it_writes();
  text += arguments_and_seed;
  for (const format_row& row : output_formats()) {
    if (!row.option.empty()) text += option_lines(row);
  }
  text += after_formats;
  text += law_option();
  text += model_option();
  text += after_laws;
  return text;
}

}  // namespace cascade
