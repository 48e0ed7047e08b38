#include "cascade/counter_series.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "cascade/series_kernels.h"
#include "deviates/philox.h"

namespace cascade {
// A block reaches at most two cells beyond its own at each level, and the
// pairs of a level are half its cells.
counter_workspace::counter_workspace(std::int64_t largest_block)
    : largest_block_(std::clamp<std::int64_t>(largest_block, 2, counter_block_values)),
      parents_(new double[static_cast<std::size_t>(largest_block_ + 8)]),
      children_(new double[static_cast<std::size_t>(largest_block_ + 8)]),
      first_(new double[static_cast<std::size_t>(largest_block_ / 2 + 4)]),
      second_(new double[static_cast<std::size_t>(largest_block_ / 2 + 4)]) {}

void counter_block(const cascade_shape& shape, std::uint64_t seed, std::int64_t begin, std::int64_t end,
                   double* values, double* weights, counter_workspace& workspace, const factor_step* law) {
  if (end - begin > workspace.largest_block_) throw std::logic_error("a counter block beyond its workspace");
  const bool polar_factors = law == nullptr || law->draws_polar_pairs();
  const series_kernels& kernels = portable_math_series_kernels();
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

  const auto cell_count = static_cast<std::size_t>(end_cell - first_cell);
  const std::size_t skip = static_cast<std::size_t>(begin - first_cell);
  const std::size_t length = static_cast<std::size_t>(end - begin);
  // A block of whole pairs grows its last generation straight into the
  // caller's buffer (the weights when asked for, else the values) and is
  // modulated there: its values are never copied on their way out.
  double* const direct = skip == 0 && length == cell_count ? (weights != nullptr ? weights : values) : nullptr;

  double* level_cells[2] = {workspace.parents_.get(), workspace.children_.get()};
  double* parents = nullptr;  // the first generation's parents all weigh 1
  for (int generation = 0; generation < steps; ++generation) {
    const auto [low, high] = cells_at(generation);
    const auto count = static_cast<std::size_t>(high - low);
    // The last generation's cells start at first_cell, the buffer's first value.
    double* const cells = direct != nullptr && generation == steps - 1 ? direct : level_cells[generation % 2];
    if (polar_factors) {
      deviates::philox_polar_pairs(seed, static_cast<std::uint32_t>(generation), static_cast<std::uint64_t>(low),
                                   count, workspace.first_.get(), workspace.second_.get());
      // The kernels give child 2k the deviate of their w2 and child 2k + 1 that of w1.
      kernels.grow(workspace.second_.get(), workspace.first_.get(), count, parents, cells, sigma, s2);
    } else {
      deviates::philox_uniform_pairs(seed, static_cast<std::uint32_t>(generation), factor_step::attempt_word,
                                     static_cast<std::uint64_t>(low), count, workspace.first_.get(),
                                     workspace.second_.get());
      law->grow(workspace.first_.get(), workspace.second_.get(), count, parents, cells);
    }
    // cells[j] is cell 2 low + j of the next level, whose cells start a cell or so later.
    parents = cells + (cells_at(generation + 1)[0] - 2 * low);
  }
  double* final_cells = parents;
  if (weights != nullptr && final_cells + skip != weights) std::copy_n(final_cells + skip, length, weights);
  if (direct != nullptr && final_cells != values) {
    std::copy_n(final_cells, length, values);  // the weights stay as they are
    final_cells = values;
  }
  deviates::philox_polar_pairs(seed, static_cast<std::uint32_t>(steps), static_cast<std::uint64_t>(first_cell / 2),
                               cell_count / 2, workspace.first_.get(), workspace.second_.get());
  kernels.modulate(workspace.second_.get(), workspace.first_.get(), cell_count / 2, final_cells);
  if (final_cells + skip != values) std::copy_n(final_cells + skip, length, values);
}

}  // namespace cascade
