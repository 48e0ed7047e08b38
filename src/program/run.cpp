#include "program/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "cascade/quoted.h"
#include "cascade/run_rules.h"
#include "cascade/seed.h"
#include "cascade/series_source.h"
#include "cascade/thread_team.h"
#include "program/exit_status.h"
#include "program/progress.h"
#include "program/results_output.h"
#include "program/run_failure.h"
#include "program/standard_streams.h"
#include "program/writer.h"

namespace cascade {

namespace {

// Runs shorter than this end before a progress line would be worth reading.
constexpr std::int64_t progress_threshold = std::int64_t{1} << 22;

/// Progress is for a person watching a terminal while the data goes elsewhere;
/// pipes, files and logs never see it.
bool wants_progress(const run_parameters& parameters, std::int64_t count) {
  return parameters.progress && count >= progress_threshold && isatty(STDERR_FILENO) == 1 &&
         (parameters.output_path || isatty(STDOUT_FILENO) == 0);
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

/// The threads of a run: --threads, else CASCADE_THREADS (beyond what the
/// stream takes, all it takes), else the stream's default.
unsigned run_threads(const run_parameters& parameters, std::optional<std::int64_t> from_environment) {
  const stream_rules& rules = rules_of(parameters.generator);
  if (parameters.threads) return static_cast<unsigned>(*parameters.threads);
  if (from_environment) return static_cast<unsigned>(std::min(*from_environment, rules.max_threads));
  return rules.default_threads != 0 ? static_cast<unsigned>(rules.default_threads) : available_cpus();
}

/// The rules of a run that its words cannot show: the environment, and
/// where its output goes. Checked before any file is opened, so that a
/// refused run leaves every file as it was. Nothing, or the refusal.
std::optional<std::string> run_refusal(const run_parameters& parameters, std::optional<std::int64_t>& threads) {
  if (auto refused = environment_refusal()) return refused;
  std::optional<std::string> refused;
  threads = threads_from_environment(refused);
  if (refused) return refused;
  if (format_of(parameters.format).binary() && !parameters.output_path && isatty(STDOUT_FILENO) == 1) {
    return "binary output is not written to a terminal; redirect standard output to a file or a pipe";
  }
  return std::nullopt;
}

}  // namespace

int run_cascade(const run_parameters& parameters) {
  std::optional<std::int64_t> environment_threads;
  if (const auto refused = run_refusal(parameters, environment_threads)) {
    report("%s", refused->c_str());
    return exit_usage;
  }
  const unsigned threads = run_threads(parameters, environment_threads);
  int weights_fd = -1;
  if (parameters.weights_path) {
    weights_fd = open_weights(*parameters.weights_path);
    if (weights_fd < 0) return exit_usage;
  }

  const stream from = parameters.generator;
  const std::uint64_t seed = parameters.seed ? *parameters.seed : static_cast<std::uint64_t>(seed_second_now());
  source_request request;
  request.from = from;
  request.shape = cascade_shape::of(parameters.lambda, parameters.step_number, parameters.n0);
  request.seed = seed;
  request.law = parameters.law;
  request.model = parameters.model;
  request.range = parameters.range;
  request.threads = threads;
  request.weights = weights_fd >= 0;
  const std::int64_t count = parameters.range ? parameters.range->second - parameters.range->first
                                              : parameters.value_count();
  progress_meter progress(STDERR_FILENO, wants_progress(parameters, count));
  if (parameters.output_path) return write_results_output(parameters, seed, threads, progress);
  request.progress = [&progress](std::int64_t done, std::int64_t total) { progress.show("generating", done, total); };

  run_failure failure;
  try {
    const auto source = make_series_source(request);
    try {
      source->prepare();
    } catch (const no_memory_for& missing) {
      failure = memory_failure(missing.what_for, true);
    }
    if (!failure.failed()) failure = write_run(*source, parameters, request.seed, threads, weights_fd, progress);
  } catch (const std::bad_alloc&) {
    failure = memory_failure("the working buffers");
  }
  if (weights_fd >= 0 && close(weights_fd) != 0 && !failure.failed()) {
    failure = write_failure(weights_write, errno);
  }
  return report_failure(failure, count, parameters);
}

int verify_cascade(const run_parameters& parameters) {
  std::optional<std::int64_t> environment_threads;
  std::optional<std::string> refused = environment_refusal();
  if (!refused) environment_threads = threads_from_environment(refused);
  if (refused) {
    report("%s", refused->c_str());
    return exit_usage;
  }
  // The file's stream takes at most its own threads of these.
  const unsigned threads = static_cast<unsigned>(parameters.threads ? *parameters.threads
                                                 : environment_threads ? *environment_threads
                                                                       : available_cpus());
  return verify_results_output(parameters, threads);
}

}  // namespace cascade
