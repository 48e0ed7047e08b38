#include "cascade/run.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "cascade/cascade.h"
#include "cascade/exit_status.h"
#include "cascade/output.h"
#include "cascade/population.h"
#include "cascade/statistics.h"

namespace cascade {

std::int32_t seed_word_for(std::int64_t seconds) {
  return static_cast<std::int32_t>(-(seconds & 0x7fffffff));
}

int run_cascade(const run_parameters& parameters) {
  std::int32_t seed = seed_word_for(parameters.seed_time ? *parameters.seed_time : std::time(nullptr));
  const std::int32_t count = parameters.value_count();

  double* children = new_vector(1, count);
  double* parents = new_vector(1, count);
  if (children == nullptr || parents == nullptr) {
    free_vector(children, 1, count);
    free_vector(parents, 1, count);
    std::fprintf(stderr, "cascade: cannot allocate memory for %ld values\n", static_cast<long>(count));
    return exit_failure;
  }

  const double sigma = step_sigma(parameters.lambda, parameters.step_number);
  grow_cascade(sigma, parameters.step_number, parameters.n0, children, parents, seed);
  modulate(children, count, seed);
  write_summary(stderr, summarize(children, count));

  output_sink sink(STDOUT_FILENO);
  write_values(sink, children, count);
  sink.flush();

  free_vector(children, 1, count);
  free_vector(parents, 1, count);
  if (sink.failed()) {
    std::fprintf(stderr, "cascade: cannot write the values: %s\n", std::strerror(sink.error()));
    return exit_failure;
  }
  return exit_success;
}

}  // namespace cascade
