#include "cascade/run.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "cascade/cascade.h"
#include "cascade/exit_status.h"
#include "cascade/output.h"
#include "cascade/population.h"
#include "cascade/progress.h"
#include "cascade/statistics.h"
#include "cascade/work_sharing.h"

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

/// Generates into values[0, count), summarises and writes. Returns 0 or the
/// errno of a failed write.
int generate_and_write(const run_parameters& parameters, const cascade_shape& shape, std::int32_t seed,
                       double* values) {
  const std::int64_t count = shape.value_count();
  work_sharing lanes(count >= shared_work_threshold);
  progress_meter progress(STDERR_FILENO, wants_progress(parameters, count));
  const double sum = generate_series(values, shape, seed, lanes, &progress);
  // The summary line goes out before the first value; its second pass over
  // the values overlaps the formatting of the first lines.
  const auto announce = [&] {
    const series_summary summary = summarize(values, count, sum);
    progress.erase();
    write_summary(stderr, summary);
  };
  if (!parameters.binary) return write_values(STDOUT_FILENO, values, count, lanes, &progress, announce);
  announce();
  return write_binary(STDOUT_FILENO, values, count, &progress);
}

}  // namespace

std::int32_t fold_seed_second(std::int64_t seconds) { return static_cast<std::int32_t>(seconds & 0x7fffffff); }

std::int32_t seed_word_for(std::int64_t seconds) { return -fold_seed_second(seconds); }

int run_cascade(const run_parameters& parameters) {
  const std::int32_t seed = seed_word_for(parameters.seed_time ? *parameters.seed_time : std::time(nullptr));
  const cascade_shape shape{step_sigma(parameters.lambda, parameters.step_number), parameters.step_number,
                            parameters.n0};
  // One vector holds every generation, sized for the last: N values.
  const std::int64_t capacity = shape.value_count();

  // Addressed from 1: population + 1 is the first value.
  double* const population = new_vector(1, capacity);
  bool out_of_memory = population == nullptr;
  int error = 0;
  if (!out_of_memory) {
    try {
      error = generate_and_write(parameters, shape, seed, population + 1);
    } catch (const std::bad_alloc&) {
      // The small working buffers, after the vector was had: rare, but a
      // failure all the same, never a short series presented as whole.
      out_of_memory = true;
    }
    free_vector(population, 1, capacity);
  }

  if (out_of_memory) {
    std::fprintf(stderr, "cascade: cannot allocate memory for %lld values\n", static_cast<long long>(capacity));
    return exit_failure;
  }
  if (error != 0) {
    std::fprintf(stderr, "cascade: cannot write the values: %s\n", std::strerror(error));
    return exit_failure;
  }
  return exit_success;
}

}  // namespace cascade
