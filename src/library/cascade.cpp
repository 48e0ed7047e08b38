// The public C++ interface over the core's cascade, generators and summary.
#include "cascade/cascade.hpp"

#include <stdexcept>

#include "cascade/cascade.h"
#include "cascade/counter_series.h"
#include "cascade/energy_steps.h"
#include "cascade/population.h"
#include "cascade/run_limits.h"
#include "cascade/seed.h"
#include "cascade/series_statistics.h"
#include "cascade/shortest_decimal.h"
#include "cascade/statistics.h"
#include "cascade/summary_line.h"
#include "cascade/thread_team.h"
#include "cascade/work_sharing.h"

namespace cascade {

namespace {

stream stream_of(const run_request& request) {
  return request.generator == random_stream::philox ? stream::philox : stream::subtractive;
}

void check_blocks(std::int64_t count, std::int64_t block_length) {
  if (count < 1) throw std::invalid_argument("the series must hold at least 1 value, got " + std::to_string(count));
  if (block_length < 1 || count % block_length != 0) {
    throw std::invalid_argument("the block length must divide the series' " + std::to_string(count) +
                                " values, got " + std::to_string(block_length));
  }
}

}  // namespace

void check_request(const run_request& request) {
  const stream from = stream_of(request);
  if (const auto refused = check_run_numbers(request.lambda, request.step_number, request.n0, from)) {
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
  if (from == stream::subtractive && !seed_in_range(request.seed_second)) {
    throw std::invalid_argument(refusal_message(refused_argument::seed, std::to_string(request.seed_second)));
  }
  if (request.threads != 0) {
    if (const auto refused = check_threads(request.threads, from)) {
      throw std::invalid_argument(refusal_message(*refused, std::to_string(request.threads)));
    }
  }
}

std::int64_t series_length(const run_request& request) { return request.n0 << request.step_number; }

std::int64_t clock_seed_second() { return seed_second_now(); }

void fill_series(const run_request& request, double* values, double* weights,
                 const std::function<void()>& between_chunks) {
  check_request(request);
  if (request.generator == random_stream::philox) {
    fill_series_range(request, 0, series_length(request), values, weights, between_chunks);
    return;
  }
  const auto step_number = static_cast<std::int32_t>(request.step_number);
  const auto shape = cascade_shape::of(request.lambda, step_number, static_cast<std::int32_t>(request.n0));
  // A caller's fresh buffer (a new numpy array) is as untouched as the
  // program's own vector, and gains as much from huge pages.
  const auto bytes = static_cast<std::size_t>(shape.value_count()) * sizeof(double);
  prefer_huge_pages(values, bytes);
  if (weights != nullptr) prefer_huge_pages(weights, bytes);
  work_sharing lanes(request.threads != 1 && shape.value_count() >= shared_work_threshold);
  series_options options;
  options.weights = weights;
  options.between_chunks = between_chunks;
  options.sum = false;  // no summary is printed here, so no running sum holds up the shared work
  generate_series(values, shape, seed_word_for(request.seed_second), lanes, options);
}

void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, double* values,
                       double* weights, const std::function<void()>& between_chunks) {
  check_request(request);
  if (request.generator != random_stream::philox) {
    throw std::invalid_argument(
        "a range needs the philox stream: the subtractive stream is one chain, so no piece of it can be made without "
        "every value before it");
  }
  const std::int64_t count = series_length(request);
  if (start < 0 || start >= stop || stop > count) {
    throw std::invalid_argument("the range must be start:stop with 0 <= start < stop <= N = " + std::to_string(count) +
                                ", got " + std::to_string(start) + ":" + std::to_string(stop));
  }
  const auto shape = cascade_shape::of(request.lambda, static_cast<std::int32_t>(request.step_number),
                                       static_cast<std::int32_t>(request.n0));
  const auto bytes = static_cast<std::size_t>(stop - start) * sizeof(double);
  prefer_huge_pages(values, bytes);
  if (weights != nullptr) prefer_huge_pages(weights, bytes);
  thread_team team((request.threads != 0 ? request.threads : available_cpus()) - 1);
  fill_counter_series(shape, request.seed, start, stop, values, weights, team, between_chunks, /*summarize=*/false);
}

run_summary summarize_series(const double* values, std::int64_t count) {
  double sum = 0.0;
  accumulate(sum, values, count);
  const series_summary summary = summarize(values, count, sum);
  return {summary.count, summary.mean, summary.sd, summary_line(summary)};
}

void series_statistics(const double* values, std::int64_t count, std::int64_t block_length,
                       const std::vector<std::int64_t>& lags, double* sums, unsigned threads) {
  check_blocks(count, block_length);
  for (const std::int64_t lag : lags) {
    if (lag < 1 || lag >= count) {
      throw std::invalid_argument("a lag must be in 1 .. " + std::to_string(count - 1) + ", got " +
                                  std::to_string(lag));
    }
  }
  thread_team team((threads != 0 ? threads : available_cpus()) - 1);
  series_block_sums(values, count, block_length, lags.data(), lags.size(), sums, team);
}

void energy_step_sums(const double* values, std::int64_t count, std::int64_t block_length,
                      const std::vector<std::int64_t>& box_lengths, double* sums, unsigned threads) {
  check_blocks(count, block_length);
  for (const std::int64_t length : box_lengths) {
    const bool power_of_two = length >= 1 && (length & (length - 1)) == 0;
    if (!power_of_two || block_length % (2 * length) != 0) {
      throw std::invalid_argument("a box length must be a power of two whose double divides the block length " +
                                  std::to_string(block_length) + ", got " + std::to_string(length));
    }
  }
  thread_team team((threads != 0 ? threads : available_cpus()) - 1);
  energy_step_sums(values, count, block_length, box_lengths.data(), box_lengths.size(), sums, team);
}

}  // namespace cascade
