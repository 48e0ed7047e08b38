// checked_sums.h: the statistics check's per-block sums, for the Python
// module, with their arguments checked.
//
// Only the statistics check (cascade.stats) uses these sums: they are no
// part of the installed C++ package.
#pragma once

#include <cstdint>
#include <vector>

namespace cascade {

/// The sums of block_sums.h for values[0, count) in blocks of block_length:
/// count / block_length rows of block_sum_columns(lags.size()) in sums.
/// Uses `threads` threads (0: the CPUs this process may run on); the sums
/// do not depend on how many. Throws std::invalid_argument unless count >= 1,
/// block_length divides count and every lag is in 1 .. count - 1.
void series_statistics(const double* values, std::int64_t count, std::int64_t block_length,
                       const std::vector<std::int64_t>& lags, double* sums, unsigned threads = 0);

/// The sums of energy_steps.h: count / block_length rows of
/// columns_per_box_length * box_lengths.size(). Throws std::invalid_argument
/// unless count >= 1, block_length divides count, and every box length is a
/// power of two whose double divides block_length.
void energy_step_sums(const double* values, std::int64_t count, std::int64_t block_length,
                      const std::vector<std::int64_t>& box_lengths, double* sums, unsigned threads = 0);

}  // namespace cascade
