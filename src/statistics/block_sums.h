// block_sums.h: the sums that the Python check builds every row from,
// per block of a series, in one pass over its values on the core's threads.
//
// For blocks of `block_length` values, each block's row holds, over its
// values x that are not 0 (an exact 0 has no log): their count, the sum of
// x^2 over all its values, and the sums of log|x| and of log^2|x|. Then for
// each lag l, over the pairs (i, i + l) that start in the block and end
// within the series, with both values not 0, two groups of four sums: pairs
// whose second value is in the same block, then pairs whose second value is
// past it. Each group holds the number of pairs, the sum of log|x_i|, the sum
// of log|x_(i+l)| and the sum of their products.
//
// Kept apart by block and by group, the sums let a caller shift the logs of
// a whole block by a constant (a factor shared by all its values) and still
// have every row exactly, without the values again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cascade {

class thread_team;

constexpr std::size_t block_leading_columns = 4;
constexpr std::size_t columns_per_lag = 8;

constexpr std::size_t block_sum_columns(std::size_t lag_count) {
  return block_leading_columns + columns_per_lag * lag_count;
}

/// Fills sums[blocks][block_sum_columns(lag_count)] for values[0, count),
/// blocks = count / block_length. The caller checks that block_length
/// divides count and that every lag is in 1 .. count - 1. Each block's sums
/// are added in index order, whatever the number of threads.
void series_block_sums(const double* values, std::int64_t count, std::int64_t block_length,
                       const std::int64_t* lags, std::size_t lag_count, double* sums, thread_team& team);

}  // namespace cascade
