// subtractive_series.h: the subtractive stream's series: growing the
// log-normal cascade and modulating it, in one vector.
//
// The random draws are those of one Gaussian stream taken in one fixed order:
// generation by generation, parents in ascending order, each parent's first
// child then its second; then one draw per final value in ascending order.
// Each parent, and each pair of final values, takes the two deviates of one
// accepted polar pair, which is what lets the work be shared between threads
// without changing a bit.
#pragma once

#include <cstdint>
#include <functional>

#include "cascade/shape.h"
#include "cascade/work_sharing.h"

namespace cascade {

/// Below this many values a second thread costs more to start than it saves.
inline constexpr std::int64_t shared_work_threshold = std::int64_t{1} << 15;

/// What a series may bring besides its values.
struct series_options {
  /// When not null, weights[0, N) receives the final weights of the cascade,
  /// each as it was just before its Gaussian modulation (x = w * g): the
  /// hidden volatility that estimators are tested against. The values are
  /// the same with or without it.
  double* weights = nullptr;
  /// When set, told on the calling thread after every chunk how many of
  /// the series' pairs are done, and of how many.
  std::function<void(std::int64_t done, std::int64_t total)> progress;
  /// When set, called on the calling thread after every chunk (a fraction of
  /// a millisecond of work), while no block is running: an exception from
  /// it abandons the series and leaves the helper idle.
  std::function<void()> between_chunks;
  /// Keep the running sum of the values. The sum must add them one at a
  /// time, in index order, on the calling thread, which then holds up the
  /// shared work; a caller that has no summary to print skips it.
  bool sum = true;
};

/// Fills values[0, N) with the series drawn from the stream that `seed_word`
/// (<= 0) starts, N = n0 * 2^step_number. Each generation lives in the top
/// slots of the vector, so no second vector and no copy are needed.
/// Returns the sum of the values, accumulated in index order from 0.0 as
/// each chunk becomes final (0.0 when `options.sum` is false).
double generate_series(double* values, const cascade_shape& shape, std::int32_t seed_word, work_sharing& sharing,
                       const series_options& options = {});

}  // namespace cascade
