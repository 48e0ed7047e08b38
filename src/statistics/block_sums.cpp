// series_statistics.cpp: block sums of a series' values, logs and lag pairs.
#include "statistics/block_sums.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cascade/thread_team.h"

namespace cascade {
namespace {

// Values per task of the first pass: large enough that handing out tasks
// costs nothing, small enough that two threads share the work evenly.
constexpr std::int64_t values_per_task = std::int64_t{1} << 15;

// Independent partial sums: the additions of one lane do not wait for the
// other's, and the compiler may keep both lanes in one register.
constexpr int lanes = 4;

constexpr std::int64_t tile_length = 2048;

struct pair_sums {
  double pairs = 0.0;
  double first = 0.0;
  double second = 0.0;
  double products = 0.0;
};

/// Sums over pairs (i, i + lag), i in [begin, end). `has` is 1 where the
/// value has a log, 0 where it is 0 (and its log then stored as 0), or null
/// when every value has one.
pair_sums sum_pairs(const double* logs, const double* has, std::int64_t begin, std::int64_t end, std::int64_t lag) {
  pair_sums result;
  if (end <= begin) return result;
  double first[lanes] = {}, second[lanes] = {}, products[lanes] = {}, pairs[lanes] = {};
  std::int64_t i = begin;
  if (has == nullptr) {
    for (; i + lanes <= end; i += lanes) {
      for (int k = 0; k < lanes; ++k) {
        const double a = logs[i + k], b = logs[i + k + lag];
        first[k] += a;
        second[k] += b;
        products[k] += a * b;
      }
    }
    for (; i < end; ++i) {
      const double a = logs[i], b = logs[i + lag];
      first[0] += a;
      second[0] += b;
      products[0] += a * b;
    }
    result.pairs = static_cast<double>(end - begin);
  } else {
    for (; i + lanes <= end; i += lanes) {
      for (int k = 0; k < lanes; ++k) {
        const double a = logs[i + k], b = logs[i + k + lag];
        const double has_a = has[i + k], has_b = has[i + k + lag];
        pairs[k] += has_a * has_b;
        first[k] += a * has_b;
        second[k] += b * has_a;
        products[k] += a * b;
      }
    }
    for (; i < end; ++i) {
      const double a = logs[i], b = logs[i + lag];
      pairs[0] += has[i] * has[i + lag];
      first[0] += a * has[i + lag];
      second[0] += b * has[i];
      products[0] += a * b;
    }
    result.pairs = (pairs[0] + pairs[1]) + (pairs[2] + pairs[3]);
  }
  result.first = (first[0] + first[1]) + (first[2] + first[3]);
  result.second = (second[0] + second[1]) + (second[2] + second[3]);
  result.products = (products[0] + products[1]) + (products[2] + products[3]);
  return result;
}

void add(double* out, const pair_sums& sums) {
  out[0] += sums.pairs;
  out[1] += sums.first;
  out[2] += sums.second;
  out[3] += sums.products;
}

}  // namespace

void series_block_sums(const double* values, std::int64_t count, std::int64_t block_length,
                       const std::int64_t* lags, std::size_t lag_count, double* sums, thread_team& team) {
  // First pass: every log once, so that the lag pairs read them from memory.
  std::vector<double> logs(static_cast<std::size_t>(count));
  const auto tasks = static_cast<std::size_t>((count + values_per_task - 1) / values_per_task);
  std::vector<char> task_has_zero(tasks, 0);
  team.run(tasks, [&](std::size_t task, unsigned) {
    const std::int64_t begin = static_cast<std::int64_t>(task) * values_per_task;
    const std::int64_t end = std::min(count, begin + values_per_task);
    for (std::int64_t i = begin; i < end; ++i) {
      const double x = values[i];
      if (x == 0.0) {
        logs[i] = 0.0;
        task_has_zero[task] = 1;
      } else {
        logs[i] = std::log(std::fabs(x));
      }
    }
  });
  // Masks only when some value is 0: the common series needs none.
  std::vector<double> has;
  if (std::find(task_has_zero.begin(), task_has_zero.end(), 1) != task_has_zero.end()) {
    has.resize(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) has[i] = values[i] != 0.0 ? 1.0 : 0.0;
  }
  const double* mask = has.empty() ? nullptr : has.data();

  // Second pass, in pieces of at most values_per_task values that never span
  // two blocks, so that even one long block keeps both threads busy; each
  // piece's sums are kept apart and added per block in piece order after.
  const std::int64_t blocks = count / block_length;
  const std::size_t columns = block_sum_columns(lag_count);
  const std::int64_t pieces_per_block = (block_length + values_per_task - 1) / values_per_task;
  const std::int64_t blocks_per_piece = pieces_per_block > 1 ? 1 : std::max<std::int64_t>(1, values_per_task / block_length);
  const std::int64_t pieces = pieces_per_block > 1 ? blocks * pieces_per_block
                                                   : (blocks + blocks_per_piece - 1) / blocks_per_piece;
  std::vector<double> piece_sums(pieces_per_block > 1 ? static_cast<std::size_t>(pieces) * columns : 0);
  team.run(static_cast<std::size_t>(pieces), [&](std::size_t piece_index, unsigned) {
    const auto piece = static_cast<std::int64_t>(piece_index);
    std::int64_t first_block = piece * blocks_per_piece, last_block = first_block + blocks_per_piece;
    std::int64_t part = 0;
    if (pieces_per_block > 1) {
      first_block = piece / pieces_per_block;
      last_block = first_block + 1;
      part = piece % pieces_per_block;
    }
    last_block = std::min(last_block, blocks);
    for (std::int64_t block = first_block; block < last_block; ++block) {
      double* out = pieces_per_block > 1 ? piece_sums.data() + static_cast<std::size_t>(piece) * columns
                                         : sums + static_cast<std::size_t>(block) * columns;
      const std::int64_t begin = block * block_length, end = begin + block_length;
      const std::int64_t from = begin + block_length * part / pieces_per_block;
      const std::int64_t to = begin + block_length * (part + 1) / pieces_per_block;
      std::fill(out, out + columns, 0.0);
      // Tiles small enough that a tile's logs and its partners' stay in cache
      // while every lag passes over them.
      for (std::int64_t tile = from; tile < to; tile += tile_length) {
        const std::int64_t tile_end = std::min(to, tile + tile_length);
        double logged = 0.0, squares = 0.0, log_sum = 0.0, log_squares = 0.0;
        for (std::int64_t i = tile; i < tile_end; ++i) {
          const double x = values[i], u = logs[i];
          squares += x * x;
          log_sum += u;
          log_squares += u * u;
          logged += mask != nullptr ? mask[i] : 1.0;
        }
        out[0] += logged;
        out[1] += squares;
        out[2] += log_sum;
        out[3] += log_squares;
        for (std::size_t k = 0; k < lag_count; ++k) {
          const std::int64_t lag = lags[k];
          double* group = out + block_leading_columns + columns_per_lag * k;
          // Pairs end within the series (i + lag < count); those up to `split`
          // end within the block.
          const std::int64_t last_start = std::min(end, count - lag);
          const std::int64_t split = std::min(last_start, std::max(begin, end - lag));
          add(group, sum_pairs(logs.data(), mask, tile, std::min(tile_end, split), lag));
          add(group + 4, sum_pairs(logs.data(), mask, std::max(tile, split), std::min(tile_end, last_start), lag));
        }
      }
    }
  });
  if (pieces_per_block > 1) {
    for (std::int64_t block = 0; block < blocks; ++block) {
      double* out = sums + static_cast<std::size_t>(block) * columns;
      std::fill(out, out + columns, 0.0);
      for (std::int64_t part = 0; part < pieces_per_block; ++part) {
        const double* piece = piece_sums.data() + static_cast<std::size_t>(block * pieces_per_block + part) * columns;
        for (std::size_t c = 0; c < columns; ++c) out[c] += piece[c];
      }
    }
  }
}

}  // namespace cascade
