// energy_steps.cpp: sums of the log-energy steps between sibling boxes.
#include "statistics/energy_steps.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cascade/thread_team.h"

namespace cascade {
namespace {

// Values per piece: large enough that handing out pieces costs nothing,
// small enough that one long block keeps both threads busy.
constexpr std::int64_t values_per_piece = std::int64_t{1} << 15;

/// Adds the sums of the sibling pairs among `boxes` energies (boxes even) to out.
void add_steps(const double* energies, std::int64_t boxes, double* out) {
  double pairs = 0.0, squares = 0.0, fourths = 0.0;
  for (std::int64_t b = 0; b < boxes; b += 2) {
    const double first = energies[b], second = energies[b + 1];
    if (!(first > 0.0 && second > 0.0)) continue;
    const double d = std::log(second) - std::log(first);
    const double d2 = d * d;
    pairs += 1.0;
    squares += d2;
    fourths += d2 * d2;
  }
  out[0] += pairs;
  out[1] += squares;
  out[2] += fourths;
}

}  // namespace

void energy_step_sums(const double* values, std::int64_t count, std::int64_t block_length,
                      const std::int64_t* box_lengths, std::size_t length_count, double* sums, thread_team& team) {
  const std::size_t columns = columns_per_box_length * length_count;
  const std::int64_t blocks = count / block_length;
  std::fill(sums, sums + static_cast<std::size_t>(blocks) * columns, 0.0);
  if (length_count == 0) return;
  const std::int64_t shortest = *std::min_element(box_lengths, box_lengths + length_count);
  const std::int64_t longest = *std::max_element(box_lengths, box_lengths + length_count);
  // Pieces hold whole sibling pairs of the longest boxes and never span two blocks.
  const std::int64_t piece_length = std::min(block_length, std::max(values_per_piece, 2 * longest));
  const std::int64_t pieces_per_block = (block_length + piece_length - 1) / piece_length;
  const std::int64_t pieces = blocks * pieces_per_block;
  std::vector<double> piece_sums(static_cast<std::size_t>(pieces) * columns, 0.0);
  // Each thread's energies: the shortest boxes' first, then each longer
  // length's made from the one before by adding neighbours.
  std::vector<std::vector<double>> workspaces(team.helpers() + 1,
                                              std::vector<double>(static_cast<std::size_t>(piece_length / shortest)));
  team.run(static_cast<std::size_t>(pieces), [&](std::size_t piece_index, unsigned worker) {
    const auto piece = static_cast<std::int64_t>(piece_index);
    const std::int64_t block = piece / pieces_per_block, part = piece % pieces_per_block;
    const std::int64_t begin = block * block_length + part * piece_length;
    const std::int64_t end = std::min(block * block_length + block_length, begin + piece_length);
    std::vector<double>& energies = workspaces[worker];
    std::int64_t boxes = (end - begin) / shortest;
    for (std::int64_t b = 0; b < boxes; ++b) {
      const double* x = values + begin + b * shortest;
      double energy = 0.0;
      for (std::int64_t i = 0; i < shortest; ++i) energy += x[i] * x[i];
      energies[static_cast<std::size_t>(b)] = energy;
    }
    double* out = piece_sums.data() + static_cast<std::size_t>(piece) * columns;
    for (std::int64_t length = shortest; length <= longest; length *= 2) {
      for (std::size_t k = 0; k < length_count; ++k) {
        if (box_lengths[k] == length) add_steps(energies.data(), boxes, out + columns_per_box_length * k);
      }
      if (length == longest) break;
      for (std::int64_t b = 0; b < boxes / 2; ++b) energies[b] = energies[2 * b] + energies[2 * b + 1];
      boxes /= 2;
    }
  });
  for (std::int64_t piece = 0; piece < pieces; ++piece) {
    double* out = sums + static_cast<std::size_t>(piece / pieces_per_block) * columns;
    const double* from = piece_sums.data() + static_cast<std::size_t>(piece) * columns;
    for (std::size_t c = 0; c < columns; ++c) out[c] += from[c];
  }
}

}  // namespace cascade
