// counter_series.h: the series of the counter-based stream, any piece alone.
//
// Each deviate of this stream is a function of (seed, generation, pair)
// alone (deviates/philox.h), so value i of a series is a function of (seed,
// lambda, step_number, n0, i): a piece [begin, end) costs O(end - begin +
// step_number) work, in blocks of counter_block_values taken by any number
// of threads in any order, with the same bits. The arithmetic is the
// project's own exp and log, so the bits do not depend on the C library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "cascade/factor_draws.h"
#include "cascade/shape.h"

namespace cascade {

/// The most values one block may hold.
inline constexpr std::int64_t counter_block_values = std::int64_t{1} << 15;

/// One thread's buffers for blocks of up to `largest_block` values (at most
/// counter_block_values). Nothing is cleared: every slot a block reads it
/// has written, and a short series pays for no more room than it has values.
class counter_workspace {
 public:
  explicit counter_workspace(std::int64_t largest_block = counter_block_values);

  std::int64_t largest_block() const { return largest_block_; }

 private:
  friend void counter_block(const cascade_shape&, std::uint64_t, std::int64_t, std::int64_t, double*, double*,
                            counter_workspace&, const factor_step*);
  std::int64_t largest_block_;
  std::unique_ptr<double[]> parents_, children_, first_, second_;
};

/// Values [begin, end) of the series of `shape` and `seed` into values[0,
/// end - begin), and the final weights before modulation into weights[0,
/// end - begin) unless null. end - begin is at most workspace.largest_block().
/// The factors follow `law` (factor_draws.h), or the lognormal law's polar
/// pairs when it is null or the lognormal law.
void counter_block(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                   double* values, double* weights, counter_workspace& workspace, const factor_step* law = nullptr);

}  // namespace cascade
