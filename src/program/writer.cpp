#include "program/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cascade/summary_line.h"
#include "cascade/value_encoding.h"
#include "program/command_echo.h"
#include "program/standard_streams.h"
#include "program/write_fully.h"

namespace cascade {
namespace {

/// What one window may hold, values and bytes: two windows stay well within
/// 64 MiB. A window of a series that is already whole holds only its bytes,
/// which its blocks format in a fraction of the time a block takes to be
/// made: a few blocks keep every thread busy, and fresh pages cost more
/// (and count against the whole series's 8.5 bytes a value: two windows of
/// 4 MiB of text took it to 8.6).
constexpr std::size_t window_bytes = std::size_t{24} << 20;
constexpr std::size_t whole_series_window_bytes = std::size_t{2} << 20;
/// At most this many blocks a window: enough that the blocks left over at a
/// window's end, when some threads wait for the last ones, are a small share.
constexpr std::size_t most_window_blocks = 64;
/// Blocks a window for each thread, and at least: a few blocks each keep the
/// threads' shares even, while a small window's buffers stay in the cache
/// and the first window faults in no more memory than it writes (two
/// windows of 64 blocks were 8,700 page faults at any N).
constexpr std::size_t window_blocks_a_thread = 4;
constexpr std::size_t fewest_window_blocks = 8;

/// The buffers of one of the two windows in flight: the values where the
/// source makes them on demand, and each block's bytes where the format
/// needs its own.
struct window_buffers {
  std::unique_ptr<double[]> values, weights;
  std::unique_ptr<text_buffer[]> value_bytes, weight_bytes;
  std::vector<iovec> value_pieces, weight_pieces;
};

/// A write that failed: ends the run.
struct stopped_writing {
  run_failure failure;
};

/// Whether a block's bytes are written over its own values: where the
/// window holds them and the format is binary (no buffer, no copy).
bool encodes_over_window(const series_source& source, value_format format) {
  return source.makes_into_window() && encodes_over_values(format);
}

/// Blocks a window: a few for each thread, as many as its memory allows, at least one.
std::size_t window_blocks_for(const series_source& source, value_format format, unsigned threads) {
  const std::size_t doubles = source.makes_into_window() ? block_values * sizeof(double) : 0;
  const std::size_t bytes =
      encodes_in_place(format) || encodes_over_window(source, format) ? 0 : typical_bytes(format, block_values);
  const std::size_t block = std::max<std::size_t>((doubles + bytes) * (source.keeps_weights() ? 2 : 1), 1);
  const auto total = static_cast<std::size_t>((source.size() + block_values - 1) / block_values);
  const std::size_t budget = source.makes_into_window() ? window_bytes : whole_series_window_bytes;
  const std::size_t for_threads =
      std::clamp<std::size_t>(window_blocks_a_thread * threads, fewest_window_blocks, most_window_blocks);
  return std::clamp<std::size_t>(std::min(budget / block, for_threads), 1, std::max<std::size_t>(total, 1));
}

/// Throws std::bad_alloc.
void allocate(window_buffers& buffers, const series_source& source, value_format format, std::size_t blocks) {
  const bool weights = source.keeps_weights();
  // No more room than the series needs: a short run is mostly its start-up.
  const auto block_room = std::min(block_values, source.size());
  if (source.makes_into_window()) {
    buffers.values.reset(new double[window_room(source, blocks)]);
    if (weights) buffers.weights.reset(new double[window_room(source, blocks)]);
  }
  if (!encodes_in_place(format) && !encodes_over_window(source, format)) {
    const auto reserve = [&](std::unique_ptr<text_buffer[]>& bytes) {
      bytes.reset(new text_buffer[blocks]);
      for (std::size_t i = 0; i < blocks; ++i) bytes[i].resize(typical_bytes(format, block_room));
    };
    reserve(buffers.value_bytes);
    if (weights) reserve(buffers.weight_bytes);
  }
  buffers.value_pieces.resize(blocks);
  if (weights) buffers.weight_pieces.resize(blocks);
}

iovec piece_of(const encoded_bytes& bytes) { return {const_cast<void*>(bytes.data), bytes.size}; }

/// The summary line, and with --verbose the command that repeats the run.
void write_summary(const series_source& source, const run_parameters& parameters, std::uint64_t seed) {
  if (const int error = write_summary_text(source.made(), parameters, seed); error != 0) {
    throw stopped_writing{write_failure("the summary", error)};
  }
}

}  // namespace

int write_summary_text(const moments& made, const run_parameters& parameters, std::uint64_t seed) {
  std::string text = summary_line(made.summary()) + "\n";
  if (parameters.verbose) text += command_echo(parameters, seed) + "\n";
  return write_error_text(text);
}

void widen_pipe(int fd) {
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode)) fcntl(fd, F_SETPIPE_SZ, 1 << 20);
}

run_failure write_run(series_source& source, const run_parameters& parameters, std::uint64_t seed, unsigned threads,
                      int weights_fd, progress_meter& progress) {
  const value_format format = parameters.format;
  const bool summary_first = source.summary_at() == summary_place::before_values;
  const std::size_t window_blocks = window_blocks_for(source, format, threads);
  const bool over_values = encodes_over_window(source, format);
  std::array<window_buffers, 2> buffers;
  std::unique_ptr<thread_team> team;
  try {
    for (window_buffers& window : buffers) allocate(window, source, format, window_blocks);
    team = std::make_unique<thread_team>(helpers_for(threads, window_blocks));
  } catch (const std::bad_alloc&) {
    return memory_failure("the working buffers");
  }
  widen_pipe(STDOUT_FILENO);
  if (weights_fd >= 0) widen_pipe(weights_fd);

  std::size_t making = 0;  // the window whose blocks the team is making
  const auto place = [&](std::size_t window) {
    making = window;
    window_buffers& into = buffers[window % 2];
    return std::pair{into.values.get(), into.weights.get()};
  };
  const block_hook encode = [&](const made_block& block) {
    window_buffers& into = buffers[making % 2];
    const auto encoded = [&](const double* values, std::unique_ptr<double[]>& window,
                             std::unique_ptr<text_buffer[]>& bytes) {
      // The block's values in this window's own buffer: written over, its bytes go out from there.
      if (over_values) return encode_over_values(format, window.get() + (values - window.get()), block.count);
      return encode_values(format, values, block.count, bytes ? &bytes[block.index] : nullptr);
    };
    into.value_pieces[block.index] = piece_of(encoded(block.values, into.values, into.value_bytes));
    if (block.weights != nullptr) {
      into.weight_pieces[block.index] = piece_of(encoded(block.weights, into.weights, into.weight_bytes));
    }
  };
  const char* const phase = summary_first ? "writing" : "generating";
  const auto take = [&](const series_window& window) {
    if (window.first == 0 && summary_first) {
      progress.erase();
      write_summary(source, parameters, seed);
    }
    window_buffers& from = buffers[(window.first / (static_cast<std::int64_t>(window_blocks) * block_values)) % 2];
    const std::size_t blocks = window.blocks();
    if (const int error = write_fully(STDOUT_FILENO, from.value_pieces.data(), blocks); error != 0) {
      throw stopped_writing{write_failure("the values", error)};
    }
    if (weights_fd >= 0) {
      if (const int error = write_fully(weights_fd, from.weight_pieces.data(), blocks); error != 0) {
        throw stopped_writing{write_failure(weights_write, error)};
      }
    }
    progress.show(phase, window.first + window.count, source.size());
  };
  try {
    for_each_window(source, *team, window_blocks, place, encode, take);
    progress.erase();
    if (!summary_first) write_summary(source, parameters, seed);
  } catch (const stopped_writing& stop) {
    progress.erase();
    return stop.failure;
  } catch (const std::bad_alloc&) {
    progress.erase();
    return memory_failure("the text buffers");
  }
  return {};
}

}  // namespace cascade
