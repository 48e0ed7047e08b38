#include "program/counter_run.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cascade/counter_series.h"
#include "cascade/thread_team.h"
#include "program/command_echo.h"
#include "program/output.h"
#include "program/progress.h"
#include "program/standard_streams.h"
#include "program/text_buffer.h"
#include "program/write_fully.h"

namespace cascade {
namespace {

/// One block of the output: its values, weights and their text, made by
/// whichever thread takes it.
struct output_block {
  std::unique_ptr<double[]> values{new double[counter_block_values]};
  std::unique_ptr<double[]> weights;
  text_buffer value_text, weight_text;
  std::size_t value_length = 0, weight_length = 0;
  std::int64_t count = 0;
  moments made;
};

/// Room for typical lines (at most 19 bytes while |x| < 10); a block of
/// longer lines grows its buffer.
constexpr std::size_t typical_text = counter_block_values * 20 + max_value_line;

/// What one window may hold: two windows stay well within 64 MiB.
constexpr std::size_t window_bytes = std::size_t{24} << 20;

/// Blocks written between two hand-overs to the team: as many as the
/// window's memory allows, so that the blocks left over at a window's end,
/// when some threads wait for the last ones, are a small share of it; and
/// at least one per thread.
std::size_t window_blocks_for(unsigned threads, bool text, bool with_weights) {
  const std::size_t doubles = counter_block_values * sizeof(double);
  const std::size_t block_bytes = (doubles + (text ? typical_text : 0)) * (with_weights ? 2 : 1);
  return std::max<std::size_t>(threads, std::clamp<std::size_t>(window_bytes / block_bytes, 1, 64));
}

iovec piece_of(double* values, std::int64_t count) {
  return {values, static_cast<std::size_t>(count) * sizeof(double)};
}

/// Raw little-endian doubles: swapped in place on other hosts.
void to_little_endian(double* values, std::int64_t count) {
  if constexpr (std::endian::native != std::endian::little) {
    for (std::int64_t i = 0; i < count; ++i) {
      values[i] = std::bit_cast<double>(__builtin_bswap64(std::bit_cast<std::uint64_t>(values[i])));
    }
  }
}

}  // namespace

run_failure write_counter_series(const run_parameters& parameters, const cascade_shape& shape, std::uint64_t seed,
                                 std::int64_t begin, std::int64_t end, unsigned threads, int weights_fd,
                                 bool show_progress) {
  const bool with_weights = weights_fd >= 0;
  const bool text = !parameters.binary;
  const auto total_blocks = static_cast<std::size_t>((end - begin + counter_block_values - 1) / counter_block_values);
  const std::size_t window_size = std::min(window_blocks_for(threads, text, with_weights), total_blocks);
  std::array<std::unique_ptr<output_block[]>, 2> windows;
  std::vector<counter_workspace> workspaces;
  std::vector<iovec> value_pieces, weight_pieces;
  thread_team team(threads - 1);
  try {
    for (auto& window : windows) {
      window.reset(new output_block[window_size]);
      for (std::size_t index = 0; index < window_size; ++index) {
        output_block& block = window[index];
        if (with_weights) block.weights.reset(new double[counter_block_values]);
        if (text) {
          block.value_text.resize(typical_text);
          if (with_weights) block.weight_text.resize(typical_text);
        }
      }
    }
    workspaces.resize(team.helpers() + 1);
    value_pieces.resize(window_size);
    weight_pieces.resize(window_size);
  } catch (const std::bad_alloc&) {
    return memory_failure("the working buffers");
  }

  widen_pipe(STDOUT_FILENO);
  if (with_weights) widen_pipe(weights_fd);
  progress_meter progress(STDERR_FILENO, show_progress);

  // Window w holds blocks [w * size, ...) in windows[w % 2].
  const auto blocks_in = [&](std::size_t window) {
    return std::min(window_size, total_blocks - std::min(total_blocks, window * window_size));
  };
  std::size_t making = 0;  // the window whose blocks the team is making
  const thread_team::task make = [&](std::size_t index, unsigned worker) {
    output_block& block = windows[making % 2][index];
    const std::int64_t offset = static_cast<std::int64_t>(making * window_size + index) * counter_block_values;
    block.count = std::min(counter_block_values, end - begin - offset);
    counter_block(shape, seed, begin + offset, begin + offset + block.count, block.values.get(), block.weights.get(),
                  workspaces[worker]);
    block.made = moments::of(block.values.get(), block.count);
    if (text) {
      block.value_length = append_value_lines(block.value_text, 0, block.values.get(), block.count);
      if (with_weights) block.weight_length = append_value_lines(block.weight_text, 0, block.weights.get(), block.count);
    } else {
      to_little_endian(block.values.get(), block.count);
      if (with_weights) to_little_endian(block.weights.get(), block.count);
    }
  };

  moments total;
  run_failure failure;
  const std::size_t window_count = (total_blocks + window_size - 1) / window_size;
  try {
    making = 0;
    team.run(blocks_in(0), make);
    for (std::size_t window = 0; window < window_count; ++window) {
      const bool more = window + 1 < window_count;
      if (more) {
        making = window + 1;
        team.start(blocks_in(making), make);
      }
      output_block* const written = windows[window % 2].get();
      const std::size_t count = blocks_in(window);
      for (std::size_t index = 0; index < count; ++index) {
        output_block& block = written[index];
        total.append(block.made);
        value_pieces[index] = text ? iovec{block.value_text.data(), block.value_length}
                                   : piece_of(block.values.get(), block.count);
        if (with_weights) {
          weight_pieces[index] = text ? iovec{block.weight_text.data(), block.weight_length}
                                      : piece_of(block.weights.get(), block.count);
        }
      }
      if (!failure.failed()) {
        if (const int error = write_fully(STDOUT_FILENO, value_pieces.data(), count); error != 0) {
          failure = write_failure("the values", error);
        } else if (with_weights) {
          if (const int weights_error = write_fully(weights_fd, weight_pieces.data(), count); weights_error != 0) {
            failure = write_failure(weights_write, weights_error);
          }
        }
      }
      if (more) team.finish();
      if (failure.failed()) break;
      progress.show("generating", static_cast<std::int64_t>((window + 1) * window_size), static_cast<std::int64_t>(total_blocks));
    }
  } catch (const std::bad_alloc&) {
    return memory_failure("the text buffers");
  }
  progress.erase();
  if (failure.failed()) return failure;

  // The summary comes last: it is made in the same pass as the values.
  if (const int error = write_summary(STDERR_FILENO, total.summary()); error != 0) {
    return write_failure("the summary", error);
  }
  if (parameters.verbose) {
    if (const int error = write_error_text(command_echo(parameters, seed) + "\n"); error != 0) {
      return write_failure("the summary", error);
    }
  }
  return {};
}

}  // namespace cascade
