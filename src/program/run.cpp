#include "program/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "cascade/cascade.h"
#include "cascade/population.h"
#include "cascade/quoted.h"
#include "cascade/run_limits.h"
#include "cascade/seed.h"
#include "cascade/statistics.h"
#include "cascade/thread_team.h"
#include "cascade/work_sharing.h"
#include "program/command_echo.h"
#include "program/counter_run.h"
#include "program/exit_status.h"
#include "program/output.h"
#include "program/progress.h"
#include "program/run_failure.h"
#include "program/standard_streams.h"

namespace cascade {

namespace {

// Runs shorter than this end before a progress line would be worth reading.
constexpr std::int64_t progress_threshold = std::int64_t{1} << 22;

/// Progress is for a person watching a terminal while the data goes elsewhere;
/// pipes, files and logs never see it.
bool wants_progress(const run_parameters& parameters, std::int64_t count) {
  return parameters.progress && count >= progress_threshold && isatty(STDERR_FILENO) == 1 &&
         isatty(STDOUT_FILENO) == 0;
}

/// Writes values[0, count) to fd in the run's format.
int write_series(int fd, const run_parameters& parameters, const double* values, std::int64_t count,
                 work_sharing& lanes, progress_meter& progress, const std::function<int()>& before_first_write) {
  if (!parameters.binary) return write_values(fd, values, count, lanes, &progress, before_first_write);
  if (before_first_write) {
    if (const int error = before_first_write(); error != 0) return error;
  }
  return write_binary(fd, values, count, &progress);
}

/// Generates into values[0, count) (and the weights, when kept), summarises
/// and writes.
run_failure generate_and_write(const run_parameters& parameters, const cascade_shape& shape, std::int32_t seed,
                               std::int64_t seed_second, unsigned threads, double* values, double* weights,
                               int weights_fd) {
  const std::int64_t count = shape.value_count();
  work_sharing lanes(threads > 1 && count >= shared_work_threshold);
  progress_meter progress(STDERR_FILENO, wants_progress(parameters, count));
  series_options options;
  options.weights = weights;
  options.progress = [&progress](std::int64_t done, std::int64_t total) { progress.show("generating", done, total); };
  double sum = 0.0;
  try {
    sum = generate_series(values, shape, seed, lanes, options);
  } catch (const std::bad_alloc&) {
    return memory_failure("the cascade's working buffers");
  }
  // The summary line goes out before the first value; its second pass over
  // the values overlaps the formatting of the first lines.
  int summary_error = 0;
  const auto announce = [&] {
    const series_summary summary = summarize(values, count, sum);
    progress.erase();
    summary_error = write_summary(STDERR_FILENO, summary);
    if (summary_error == 0 && parameters.verbose) summary_error = write_error_text(command_echo(parameters, static_cast<std::uint64_t>(seed_second)) + "\n");
    return summary_error;
  };
  try {
    // A reference wrapper: the std::function holds it without allocating.
    const int error = write_series(STDOUT_FILENO, parameters, values, count, lanes, progress, std::cref(announce));
    if (summary_error != 0) return write_failure("the summary", summary_error);
    if (error != 0) return write_failure("the values", error);
    if (weights != nullptr) {
      if (const int weights_error = write_series(weights_fd, parameters, weights, count, lanes, progress, {});
          weights_error != 0) {
        return write_failure(weights_write, weights_error);
      }
    }
  } catch (const std::bad_alloc&) {
    return memory_failure("the text buffers");
  }
  return {};
}

/// Which standard stream `opened` is the same file as (the weights would
/// be mixed into it), or null. A character device (/dev/null, a terminal)
/// may take both: it keeps no file to spoil.
const char* same_file_as_standard(int opened) {
  struct stat file;
  if (fstat(opened, &file) != 0 || S_ISCHR(file.st_mode)) return nullptr;
  const std::pair<int, const char*> streams[] = {{STDOUT_FILENO, "standard output"}, {STDERR_FILENO, "standard error"}};
  for (const auto& [fd, name] : streams) {
    struct stat standard;
    if (fstat(fd, &standard) == 0 && standard.st_dev == file.st_dev && standard.st_ino == file.st_ino) return name;
  }
  return nullptr;
}

/// Opens the file for --weights (creating it, and emptying it once it is
/// known not to be standard output or error, which are left as they were).
/// -1 after reporting why not; the caller exits with exit_usage.
int open_weights(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    report("cannot open the weights file %s: %s", quoted(path).c_str(), std::strerror(errno));
    return -1;
  }
  if (const char* stream = same_file_as_standard(fd)) {
    close(fd);
    report("--weights %s is the same file as %s", quoted(path).c_str(), stream);
    return -1;
  }
  struct stat file;
  if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && ftruncate(fd, 0) != 0) {
    report("cannot empty the weights file %s: %s", quoted(path).c_str(), std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

/// The subtractive stream's run: the whole series in memory, then written.
run_failure subtractive_run(const run_parameters& parameters, const cascade_shape& shape, std::int64_t seed_second,
                            unsigned threads, int weights_fd) {
  // One vector holds every generation, sized for the last: N values.
  const std::int64_t capacity = shape.value_count();
  // Addressed from 1: population + 1 is the first value.
  double* const population = new_vector(1, capacity);
  double* const weights = population != nullptr && weights_fd >= 0 ? new_vector(1, capacity) : nullptr;
  run_failure failure;
  if (population == nullptr) {
    failure = memory_failure("values", true);
  } else if (weights_fd >= 0 && weights == nullptr) {
    failure = memory_failure("weights", true);
  } else {
    failure = generate_and_write(parameters, shape, seed_word_for(seed_second), seed_second, threads, population + 1,
                                 weights != nullptr ? weights + 1 : nullptr, weights_fd);
  }
  free_vector(weights, 1, capacity);
  free_vector(population, 1, capacity);
  return failure;
}

/// The threads of a run: --threads, else CASCADE_THREADS, else every CPU
/// this process may use (the subtractive stream: at most two). Nothing,
/// after reporting why, when CASCADE_THREADS is refused.
std::optional<unsigned> run_threads(const run_parameters& parameters) {
  const bool subtractive = parameters.generator == stream::subtractive;
  if (parameters.threads) return static_cast<unsigned>(*parameters.threads);
  if (const char* set = std::getenv("CASCADE_THREADS"); set != nullptr && *set != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long threads = std::strtoll(set, &end, 10);
    if (*end != '\0' || errno != 0 || !(set[0] >= '0' && set[0] <= '9') || threads < 1 || threads > max_threads) {
      report("CASCADE_THREADS must be a whole number from 1 to %lld, got %s", static_cast<long long>(max_threads),
             quoted(set).c_str());
      return std::nullopt;
    }
    // The subtractive stream's draws are one chain: a second thread shares the rest, more have nothing to take.
    return subtractive ? std::min(2u, static_cast<unsigned>(threads)) : static_cast<unsigned>(threads);
  }
  return subtractive ? 2u : available_cpus();
}

}  // namespace

int run_cascade(const run_parameters& parameters) {
  if (const auto refused = environment_refusal()) {
    report("%s", refused->c_str());
    return exit_usage;
  }
  if (parameters.binary && isatty(STDOUT_FILENO) == 1) {
    report("binary output is not written to a terminal; redirect standard output to a file or a pipe");
    return exit_usage;
  }
  int weights_fd = -1;
  if (parameters.weights_path) {
    weights_fd = open_weights(*parameters.weights_path);
    if (weights_fd < 0) return exit_usage;
  }

  const auto threads = run_threads(parameters);
  if (!threads) return exit_usage;

  const auto shape = cascade_shape::of(parameters.lambda, parameters.step_number, parameters.n0);
  run_failure failure;
  std::int64_t count = shape.value_count();
  if (parameters.generator == stream::philox) {
    const std::uint64_t seed = parameters.seed_time ? *parameters.seed_time : static_cast<std::uint64_t>(seed_second_now());
    const auto [begin, end] = parameters.range.value_or(std::pair<std::int64_t, std::int64_t>{0, count});
    count = end - begin;
    failure = write_counter_series(parameters, shape, seed, begin, end, *threads, weights_fd,
                                   wants_progress(parameters, count));
  } else {
    const std::int64_t seed_second =
        parameters.seed_time ? fold_seed_second(static_cast<std::int64_t>(*parameters.seed_time)) : seed_second_now();
    failure = subtractive_run(parameters, shape, seed_second, *threads, weights_fd);
  }
  if (weights_fd >= 0 && close(weights_fd) != 0 && !failure.failed()) {
    failure = write_failure(weights_write, errno);
  }
  return report_failure(failure, count, parameters);
}

}  // namespace cascade
