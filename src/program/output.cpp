#include "program/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "cascade/fixed_format.h"
#include "cascade/summary_line.h"
#include "program/text_buffer.h"
#include "program/write_fully.h"

namespace cascade {
namespace {

constexpr std::int64_t block_values = 2048;
constexpr std::size_t chunk_blocks = 16;
// Room for typical lines (at most 19 bytes while |x| < 10); a block of
// longer lines grows its buffer.
constexpr std::size_t typical_line = 20;

/// The text of one chunk: one buffer per block.
struct chunk_text {
  std::array<text_buffer, chunk_blocks> blocks;
  std::array<iovec, chunk_blocks> pieces{};
  std::size_t used_blocks = 0;

  /// Room for the typical lines of a chunk of `count` values, made before
  /// the chunk is shared between threads: only a block of unusually long
  /// lines allocates while it formats.
  void reserve(std::int64_t count) {
    for (std::size_t index = 0; count > 0; ++index, count -= block_values) {
      blocks[index].resize(static_cast<std::size_t>(std::min(count, block_values)) * typical_line + max_value_line);
    }
  }

  void format_block(std::size_t index, const double* values, std::int64_t count) {
    text_buffer& text = blocks[index];
    const std::size_t length = append_value_lines(text, 0, values, count);
    pieces[index] = {text.data(), length};
  }

  int write_to(int fd) {
    const int error = write_fully(fd, pieces.data(), used_blocks);
    used_blocks = 0;
    return error;
  }
};

}  // namespace

void widen_pipe(int fd) {
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode)) fcntl(fd, F_SETPIPE_SZ, 1 << 20);
}

int write_summary(int fd, const series_summary& summary) {
  const std::string line = summary_line(summary) + "\n";
  iovec piece{const_cast<char*>(line.data()), line.size()};
  return write_fully(fd, &piece, 1);
}

int write_values(int fd, const double* values, std::int64_t count, work_sharing& lanes,
                 progress_meter* progress, const std::function<int()>& before_first_write) {
  widen_pipe(fd);
  std::array<chunk_text, 2> texts;
  const std::int64_t chunk_values = block_values * static_cast<std::int64_t>(chunk_blocks);
  // Chunk r goes to texts[r % 2], and no chunk is longer than the first two.
  texts[0].reserve(std::min(chunk_values, count));
  texts[1].reserve(std::min(chunk_values, count - std::min(chunk_values, count)));
  int error = 0;
  for (std::int64_t begin = 0, round = 0; begin < count && error == 0; begin += chunk_values, ++round) {
    chunk_text& text = texts[round % 2];
    chunk_text& previous = texts[(round + 1) % 2];
    const std::int64_t length = std::min(chunk_values, count - begin);
    text.used_blocks = static_cast<std::size_t>((length + block_values - 1) / block_values);
    lanes.run(static_cast<std::size_t>(length), block_values, [&](std::size_t first, std::size_t end) {
      text.format_block(first / block_values, values + begin + first, static_cast<std::int64_t>(end - first));
    }, [&] {
      if (round == 0 && before_first_write) error = before_first_write();
      if (error == 0) error = previous.write_to(fd);
    });
    if (progress != nullptr) progress->show("writing", begin, count);
  }
  if (count == 0 && before_first_write) error = before_first_write();
  for (chunk_text& text : texts) {
    if (error == 0) error = text.write_to(fd);
  }
  return error;
}

int write_binary(int fd, const double* values, std::int64_t count, progress_meter* progress) {
  widen_pipe(fd);
  // Pieces of 1 MiB: progress between them, and a byte swap on hosts that
  // are not little-endian.
  constexpr std::int64_t piece_values = std::int64_t{1} << 17;
  std::vector<std::uint64_t> swapped;
  if constexpr (std::endian::native != std::endian::little) swapped.resize(piece_values);
  for (std::int64_t begin = 0; begin < count; begin += piece_values) {
    const std::int64_t length = std::min(piece_values, count - begin);
    iovec piece{const_cast<double*>(values + begin), static_cast<std::size_t>(length) * sizeof(double)};
    if constexpr (std::endian::native != std::endian::little) {
      for (std::int64_t i = 0; i < length; ++i) {
        swapped[i] = __builtin_bswap64(std::bit_cast<std::uint64_t>(values[begin + i]));
      }
      piece.iov_base = swapped.data();
    }
    if (const int error = write_fully(fd, &piece, 1); error != 0) return error;
    if (progress != nullptr) progress->show("writing", begin + length, count);
  }
  return 0;
}

}  // namespace cascade
