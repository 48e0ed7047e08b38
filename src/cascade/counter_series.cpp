#include "cascade/counter_series.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "cascade/series_kernels.h"
#include "deviates/philox.h"

namespace cascade {
namespace {

/// Blocks handed to the team at a time: enough for every thread to stay
/// busy, few enough that between_windows runs every few milliseconds.
constexpr std::size_t window_blocks = 32;

}  // namespace

moments moments::of(const double* values, std::int64_t count) {
  if (count == 0) return {};
  double sum = 0.0;
  accumulate(sum, values, count);
  const double mean = sum / static_cast<double>(count);
  double m2 = 0.0;
  for (std::int64_t i = 0; i < count; ++i) m2 += (values[i] - mean) * (values[i] - mean);
  return {count, mean, m2};
}

void moments::append(const moments& later) {
  if (later.count == 0) return;
  if (count == 0) {
    *this = later;
    return;
  }
  const std::int64_t total = count + later.count;
  const double delta = later.mean - mean;
  const double share = static_cast<double>(later.count) / static_cast<double>(total);
  mean += delta * share;
  m2 += later.m2 + delta * delta * (static_cast<double>(count) * share);
  count = total;
}

series_summary moments::summary() const {
  return {count, mean, count > 0 ? std::sqrt(m2 / static_cast<double>(count)) : 0.0};
}

// A block reaches at most two cells beyond its own at each level, and the
// pairs of a level are half its cells.
counter_workspace::counter_workspace()
    : parents_(counter_block_values + 8), children_(counter_block_values + 8),
      first_(counter_block_values / 2 + 4), second_(counter_block_values / 2 + 4) {}

void counter_block(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                   double* values, double* weights, counter_workspace& workspace) {
  const series_kernels& kernels = own_math_series_kernels();
  const double sigma = shape.sigma;
  const double s2 = sigma * sigma;
  const int steps = shape.step_number;
  // The pairs of the modulation are whole: work on the even cells around
  // [begin, end) (N is even, so the last one exists).
  const std::int64_t first_cell = begin & ~std::int64_t{1};
  const std::int64_t end_cell = (end + 1) & ~std::int64_t{1};
  const auto cells_at = [&](int level) {
    const int shift = steps - level;
    return std::array<std::int64_t, 2>{first_cell >> shift, ((end_cell - 1) >> shift) + 1};
  };

  double* level_cells[2] = {workspace.parents_.data(), workspace.children_.data()};
  double* parents = nullptr;  // the first generation's parents all weigh 1
  for (int generation = 0; generation < steps; ++generation) {
    const auto [low, high] = cells_at(generation);
    const auto count = static_cast<std::size_t>(high - low);
    deviates::philox_polar_pairs(seed, static_cast<std::uint32_t>(generation), static_cast<std::uint64_t>(low), count,
                                 workspace.first_.data(), workspace.second_.data());
    double* const cells = level_cells[generation % 2];
    // The kernels give child 2k the deviate of their w2 and child 2k + 1 that of w1.
    kernels.grow(workspace.second_.data(), workspace.first_.data(), count, parents, cells, sigma, s2);
    // cells[j] is cell 2 low + j of the next level, whose cells start a cell or so later.
    parents = cells + (cells_at(generation + 1)[0] - 2 * low);
  }
  double* const final_cells = parents;
  const auto cell_count = static_cast<std::size_t>(end_cell - first_cell);
  const std::size_t skip = static_cast<std::size_t>(begin - first_cell);
  const std::size_t length = static_cast<std::size_t>(end - begin);
  if (weights != nullptr) std::copy_n(final_cells + skip, length, weights);
  deviates::philox_polar_pairs(seed, static_cast<std::uint32_t>(steps), static_cast<std::uint64_t>(first_cell / 2),
                               cell_count / 2, workspace.first_.data(), workspace.second_.data());
  kernels.modulate(workspace.second_.data(), workspace.first_.data(), cell_count / 2, final_cells);
  std::copy_n(final_cells + skip, length, values);
}

moments fill_counter_series(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                            double* values, double* weights, thread_team& team,
                            const std::function<void()>& between_windows, bool summarize) {
  std::vector<counter_workspace> workspaces(team.helpers() + 1);
  const auto blocks = static_cast<std::size_t>((end - begin + counter_block_values - 1) / counter_block_values);
  std::array<moments, window_blocks> window_moments;
  moments total;
  for (std::size_t first = 0; first < blocks; first += window_blocks) {
    const std::size_t count = std::min(window_blocks, blocks - first);
    team.run(count, [&](std::size_t index, unsigned worker) {
      const std::int64_t offset = static_cast<std::int64_t>(first + index) * counter_block_values;
      const std::int64_t length = std::min(counter_block_values, end - begin - offset);
      double* const block_values = values + offset;
      counter_block(shape, seed, begin + offset, begin + offset + length, block_values,
                    weights != nullptr ? weights + offset : nullptr, workspaces[worker]);
      if (summarize) window_moments[index] = moments::of(block_values, length);
    });
    for (std::size_t index = 0; index < count; ++index) total.append(window_moments[index]);
    if (between_windows) between_windows();
  }
  return total;
}

}  // namespace cascade
