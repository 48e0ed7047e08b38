// counter_series.h: the series of the counter-based stream, any piece alone.
//
// Each deviate of this stream is a function of (seed, generation, pair)
// alone (deviates/philox.h), so value i of a series is a function of (seed,
// lambda, step_number, n0, i): a piece [begin, end) costs O(end - begin +
// step_number) work, in blocks of counter_block_values taken by any number
// of threads in any order, with the same bits. The arithmetic is the
// project's own exp and log, so the bits do not depend on the C library.
//
// The summary of a piece is made in the same pass: each block's sum and
// squared deviations from its own mean, in index order, then the blocks
// combined in order, so its digits depend neither on the threads nor on
// the order the blocks were made in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "cascade/cascade.h"
#include "cascade/statistics.h"
#include "cascade/thread_team.h"

namespace cascade {

/// Values a block: the unit of work and of the summary.
inline constexpr std::int64_t counter_block_values = std::int64_t{1} << 15;

/// The count, mean and sum of squared deviations of some values.
struct moments {
  std::int64_t count = 0;
  double mean = 0.0;
  double m2 = 0.0;

  /// Of values[0, count): the sum in index order, then the squared
  /// deviations from its mean in index order.
  static moments of(const double* values, std::int64_t count);
  /// These values followed by `later`'s.
  void append(const moments& later);
  series_summary summary() const;
};

/// One thread's buffers for blocks of up to counter_block_values values.
class counter_workspace {
 public:
  counter_workspace();

 private:
  friend void counter_block(const cascade_shape&, std::uint64_t, std::int64_t, std::int64_t, double*, double*,
                            counter_workspace&);
  std::vector<double> parents_, children_, first_, second_;
};

/// Values [begin, end) of the series of `shape` and `seed` into values[0,
/// end - begin), and the final weights before modulation into weights[0,
/// end - begin) unless null. end - begin is at most counter_block_values.
void counter_block(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                   double* values, double* weights, counter_workspace& workspace);

/// Values [begin, end) into values[0, end - begin) (and the weights), in
/// blocks of counter_block_values from `begin`, on the team's helpers and
/// the calling thread; `between_windows`, when set, runs on the calling
/// thread every few milliseconds of work, and an exception from it stops the
/// work. Returns the moments of the values (all zero unless `summarize`:
/// a caller that prints no summary skips their pass). Throws std::bad_alloc
/// when the workspaces cannot be had.
moments fill_counter_series(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                            double* values, double* weights, thread_team& team,
                            const std::function<void()>& between_windows = {}, bool summarize = true);

}  // namespace cascade
