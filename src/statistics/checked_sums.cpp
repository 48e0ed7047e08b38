#include "statistics/checked_sums.h"

#include <stdexcept>
#include <string>

#include "cascade/thread_team.h"
#include "statistics/block_sums.h"
#include "statistics/energy_steps.h"

namespace cascade {

namespace {

void check_blocks(std::int64_t count, std::int64_t block_length) {
  if (count < 1) throw std::invalid_argument("the series must hold at least 1 value, got " + std::to_string(count));
  if (block_length < 1 || count % block_length != 0) {
    throw std::invalid_argument("the block length must divide the series' " + std::to_string(count) +
                                " values, got " + std::to_string(block_length));
  }
}

}  // namespace

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
