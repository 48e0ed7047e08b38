#include "program/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <utility>

#include "cascade/cascade.h"
#include "cascade/population.h"
#include "cascade/quoted.h"
#include "cascade/run_limits.h"
#include "cascade/seed.h"
#include "cascade/statistics.h"
#include "cascade/work_sharing.h"
#include "program/command_echo.h"
#include "program/exit_status.h"
#include "program/output.h"
#include "program/progress.h"
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

/// What a run that was under way failed at: memory that could not be had
/// (`no_memory_for` names it; preceded by N when `counted`), or a write
/// (`write_of`, with its errno). Plain text, so that reporting a failure
/// needs no memory of its own.
struct run_failure {
  const char* no_memory_for = nullptr;
  bool counted = false;
  const char* write_of = nullptr;
  int errno_value = 0;
  bool failed() const { return no_memory_for != nullptr || write_of != nullptr; }
};

constexpr const char* weights_write = "the weights";

run_failure memory_failure(const char* what, bool counted = false) { return {what, counted, nullptr, 0}; }
run_failure write_failure(const char* what, int error) { return {nullptr, false, what, error}; }

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
                               std::int64_t seed_second, double* values, double* weights, int weights_fd) {
  const std::int64_t count = shape.value_count();
  work_sharing lanes(count >= shared_work_threshold);
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
    if (summary_error == 0 && parameters.verbose) summary_error = write_error_text(command_echo(parameters, seed_second) + "\n");
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

  const std::int64_t seed_second = parameters.seed_time ? fold_seed_second(*parameters.seed_time) : seed_second_now();
  const std::int32_t seed = seed_word_for(seed_second);
  const auto shape = cascade_shape::of(parameters.lambda, parameters.step_number, parameters.n0);
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
    failure = generate_and_write(parameters, shape, seed, seed_second, population + 1,
                                 weights != nullptr ? weights + 1 : nullptr, weights_fd);
  }
  free_vector(weights, 1, capacity);
  free_vector(population, 1, capacity);
  if (weights_fd >= 0 && close(weights_fd) != 0 && !failure.failed()) {
    failure = write_failure(weights_write, errno);
  }

  if (failure.no_memory_for != nullptr) {
    if (failure.counted) {
      report("cannot allocate memory for %lld %s", static_cast<long long>(capacity), failure.no_memory_for);
    } else {
      report("cannot allocate memory for %s", failure.no_memory_for);
    }
    return exit_failure;
  }
  if (failure.write_of == weights_write) {
    report("cannot write the weights to %s: %s", quoted(*parameters.weights_path).c_str(),
           std::strerror(failure.errno_value));
    return exit_failure;
  }
  if (failure.write_of != nullptr) {
    report("cannot write %s: %s", failure.write_of, std::strerror(failure.errno_value));
    return exit_failure;
  }
  return exit_success;
}

}  // namespace cascade
