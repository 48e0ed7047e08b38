// cascade.hpp: the cascade series for C++ programs.
//
// Fills a buffer of yours with exactly the doubles that
// `cascade --binary --seed T lambda step_number n0` writes, and on request
// with the cascade's final weights before the Gaussian modulation (x = w * g).
// The same code as the program makes them; a given seed always gives the
// same bits. Calls from several threads at once are safe: each call has its
// own generator state.
//
//   find_package(cascade REQUIRED)
//   target_link_libraries(app PRIVATE cascade::cascade)
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cascade {

/// One run: the program's three numbers and the Unix second that seeds it.
struct run_request {
  double lambda = 0.0;            ///< finite; only its square matters
  std::int64_t step_number = 1;   ///< at least 1
  std::int64_t n0 = 1;            ///< at least 1; n0 * 2^step_number at most 2147483647
  std::int64_t seed_second = 0;   ///< 0 to 2147483647, as `--seed T`
};

/// Throws std::invalid_argument when `request` breaks a rule, or the
/// environment sets CASCADE_SCALAR_MATH or CASCADE_VECTOR_LANES to a value
/// they do not take; the message is the program's, without its "cascade: "
/// prefix, e.g. "n0 must be a whole number of at least 1, got 0".
void check_request(const run_request& request);

/// N = n0 * 2^step_number, the number of values of a valid request.
std::int64_t series_length(const run_request& request);

/// The seed second of a run started now, as the program seeds without
/// `--seed`: the Unix time, a clock past 2^31 - 1 folded into range.
std::int64_t clock_seed_second();

/// Fills values[0, N) with the series of `request`, and weights[0, N), unless
/// null, with its final weights before modulation. Uses the calling thread
/// and, for N of at least 2^15, one more.
///
/// `between_chunks`, when set, is called on the calling thread every fraction
/// of a millisecond; an exception from it stops the work and propagates (the
/// buffers then hold no complete series). Throws std::invalid_argument as
/// check_request does, std::bad_alloc when working memory cannot be had.
void fill_series(const run_request& request, double* values, double* weights = nullptr,
                 const std::function<void()>& between_chunks = {});

/// The program's summary of a series.
struct run_summary {
  std::int64_t count;
  double mean;
  double sd;         ///< population standard deviation (divisor count)
  std::string line;  ///< "N = 12, mean = 0.381839, SD = 0.660127", no newline
};

/// The summary of values[0, count) with the program's order of summation, so
/// the same bits: the sum in index order from 0.0, then the squared
/// deviations from the mean, in index order.
run_summary summarize_series(const double* values, std::int64_t count);

}  // namespace cascade
