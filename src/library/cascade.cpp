// The public C++ interface over the core's cascade, generators and summary.
#include "cascade/cascade.hpp"

#include <stdexcept>

#include "cascade/cascade.h"
#include "cascade/population.h"
#include "cascade/run_limits.h"
#include "cascade/seed.h"
#include "cascade/shortest_decimal.h"
#include "cascade/statistics.h"
#include "cascade/summary_line.h"
#include "cascade/work_sharing.h"

namespace cascade {

void check_request(const run_request& request) {
  if (const auto refused = check_run_numbers(request.lambda, request.step_number, request.n0)) {
    std::string shown;
    switch (*refused) {
      case refused_argument::lambda:
      case refused_argument::lambda_too_large:
        shown = shortest_decimal(request.lambda);
        break;
      case refused_argument::step_number:
        shown = std::to_string(request.step_number);
        break;
      case refused_argument::n0:
        shown = std::to_string(request.n0);
        break;
      default:
        shown = value_count_shown(std::to_string(request.n0), std::to_string(request.step_number));
        break;
    }
    throw std::invalid_argument(refusal_message(*refused, shown));
  }
  if (const auto refused = environment_refusal()) throw std::invalid_argument(*refused);
  if (!seed_in_range(request.seed_second)) {
    throw std::invalid_argument(refusal_message(refused_argument::seed, std::to_string(request.seed_second)));
  }
}

std::int64_t series_length(const run_request& request) { return request.n0 << request.step_number; }

std::int64_t clock_seed_second() { return seed_second_now(); }

void fill_series(const run_request& request, double* values, double* weights,
                 const std::function<void()>& between_chunks) {
  check_request(request);
  const auto step_number = static_cast<std::int32_t>(request.step_number);
  const auto shape = cascade_shape::of(request.lambda, step_number, static_cast<std::int32_t>(request.n0));
  // A caller's fresh buffer (a new numpy array) is as untouched as the
  // program's own vector, and gains as much from huge pages.
  const auto bytes = static_cast<std::size_t>(shape.value_count()) * sizeof(double);
  prefer_huge_pages(values, bytes);
  if (weights != nullptr) prefer_huge_pages(weights, bytes);
  work_sharing lanes(shape.value_count() >= shared_work_threshold);
  series_options options;
  options.weights = weights;
  options.between_chunks = between_chunks;
  options.sum = false;  // no summary is printed here, so no running sum holds up the shared work
  generate_series(values, shape, seed_word_for(request.seed_second), lanes, options);
}

run_summary summarize_series(const double* values, std::int64_t count) {
  double sum = 0.0;
  accumulate(sum, values, count);
  const series_summary summary = summarize(values, count, sum);
  return {summary.count, summary.mean, summary.sd, summary_line(summary)};
}

}  // namespace cascade
