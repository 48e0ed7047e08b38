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
#include <vector>

namespace cascade {

/// The random stream of a run, as `--generator NAME`: the subtractive
/// stream (the default, the program's long-standing bytes) or the
/// counter-based philox stream (every value computable alone, any number of
/// threads, N up to 2^48, the same bits on every machine).
enum class random_stream { subtractive, philox };

/// One run: the program's three numbers, its stream and its seed.
struct run_request {
  double lambda = 0.0;            ///< finite, its square finite; only its square matters
  std::int64_t step_number = 1;   ///< at least 1
  std::int64_t n0 = 1;            ///< at least 1; n0 * 2^step_number at most 2147483647 (philox: 2^48)
  std::int64_t seed_second = 0;   ///< subtractive: 0 to 2147483647, as `--seed T`
  random_stream generator = random_stream::subtractive;
  std::uint64_t seed = 0;         ///< philox: its key, any 64-bit value, as `--generator philox --seed T`
  unsigned threads = 0;           ///< threads to use; 0: the default (subtractive: 2, philox: every CPU);
                                  ///< subtractive takes at most 2
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
/// null, with its final weights before modulation. The subtractive stream
/// uses the calling thread and, for N of at least 2^15 (and threads not 1),
/// one more; philox uses `request.threads`.
///
/// `between_chunks`, when set, is called on the calling thread every fraction
/// of a millisecond; an exception from it stops the work and propagates (the
/// buffers then hold no complete series). Throws std::invalid_argument as
/// check_request does, std::bad_alloc when working memory cannot be had.
void fill_series(const run_request& request, double* values, double* weights = nullptr,
                 const std::function<void()>& between_chunks = {});

/// Fills values[0, stop - start) with values start .. stop - 1 of the
/// series of a philox `request` (and weights[0, stop - start), unless
/// null): the very bits they have in the whole series, made alone, on
/// `request.threads` threads. Throws std::invalid_argument for a subtractive
/// request (its values cannot be made without every one before them) or
/// unless 0 <= start < stop <= N, and as fill_series does otherwise.
void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, double* values,
                       double* weights = nullptr, const std::function<void()>& between_chunks = {});

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

/// Per block of `block_length` values of values[0, count): the sums that
/// the statistics of a series are built from, one row of
/// 4 + 8 * lags.size() numbers a block in sums (count / block_length rows).
/// Over the values that are not 0 (an exact 0 has no log): their count, the
/// sum of x^2 (over every value), the sums of log|x| and log^2|x|; then for
/// each lag l, over the pairs (i, i + l) that start in the block and end in
/// the series, both not 0: the pairs whose second value lies in the block,
/// then those whose second value lies past it, each as the number of pairs,
/// the sums of log|x_i| and of log|x_(i+l)|, and the sum of their products.
/// Uses `threads` threads (0: the CPUs this process may run on); the sums do
/// not depend on how many. Throws std::invalid_argument unless count >= 1,
/// block_length divides count and every lag is in 1 .. count - 1.
void series_statistics(const double* values, std::int64_t count, std::int64_t block_length,
                       const std::vector<std::int64_t>& lags, double* sums, unsigned threads = 0);

/// Per block of `block_length` values of values[0, count): for each box
/// length L, over the pairs of sibling boxes inside the block (L values each,
/// the first starting at a multiple of 2L) whose energies (sums of x^2) are
/// both above 0, the number of pairs and the sums of d^2 and d^4, d the log
/// of the second box's energy over the first's: 3 * box_lengths.size()
/// numbers a block in sums. Uses `threads` threads (0: the CPUs this process
/// may run on); the sums do not depend on how many. Throws
/// std::invalid_argument unless count >= 1, block_length divides count, and
/// every box length is a power of two whose double divides block_length.
void energy_step_sums(const double* values, std::int64_t count, std::int64_t block_length,
                      const std::vector<std::int64_t>& box_lengths, double* sums, unsigned threads = 0);

}  // namespace cascade
