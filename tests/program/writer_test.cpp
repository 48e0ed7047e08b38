// The one writer: value lines of many blocks and windows, formatted by
// several threads, in order, as the C library's printf writes them; and the
// binary formats, byte for byte, for both streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cascade/subtractive_series.h"
#include "cascade/series_source.h"
#include "program/writer.h"
#include "support/golden.h"

namespace {

using cascade::stream;
using cascade::value_format;

/// What write_run puts on standard output, and the source's whole series.
struct written {
  std::string bytes;
  std::vector<double> values;
};

written write_to_file(stream from, value_format format, unsigned threads) {
  cascade::source_request request;
  request.from = from;
  request.shape = cascade::cascade_shape::of(2.0, 17, 3);  // 12 blocks, several windows
  request.seed = 11;
  request.threads = threads;
  const auto source = cascade::make_series_source(request);
  source->prepare();
  cascade::run_parameters parameters;
  parameters.format = format;

  char path[] = "/tmp/cascade-writer-XXXXXX";
  const int fd = mkstemp(path);
  const int saved = dup(STDOUT_FILENO);
  dup2(fd, STDOUT_FILENO);
  close(fd);
  cascade::progress_meter progress(STDERR_FILENO, false);
  const cascade::run_failure failure = cascade::write_run(*source, parameters, 11, threads, -1, progress);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_FALSE(failure.failed());

  // The same series through the library's path: the source into one buffer.
  written result{testing_support::read_file(path), std::vector<double>(static_cast<std::size_t>(source->size()))};
  unlink(path);
  const auto again = cascade::make_series_source(request);
  again->prepare();
  cascade::thread_team team(0);
  cascade::for_each_window(*again, team, 1, [&](std::size_t window) {
    return std::pair{result.values.data() + window * cascade::block_values, nullptr};
  }, [&](const cascade::made_block& block) {
    std::memcpy(result.values.data() + block.first, block.values, static_cast<std::size_t>(block.count) * sizeof(double));
  }, [](const cascade::series_window&) {});
  return result;
}

TEST(Writer, LinesEqualTheCLibraryInOrder) {
  for (const stream from : {stream::subtractive, stream::philox}) {
    for (const unsigned threads : {1u, 3u}) {
      const written run = write_to_file(from, value_format::text, threads);
      std::string expected;
      char line[400];
      for (const double v : run.values) {
        expected.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%16.15lf\n", v)));
      }
      EXPECT_TRUE(run.bytes == expected) << cascade::stream_name(from) << ", " << threads << " threads";
    }
  }
}

TEST(Writer, BinaryFormatsAreLittleEndianDoublesAndRoundedFloats) {
  for (const stream from : {stream::subtractive, stream::philox}) {
    const written doubles = write_to_file(from, value_format::float64, 2);
    ASSERT_EQ(doubles.bytes.size(), doubles.values.size() * 8);
    const written floats = write_to_file(from, value_format::float32, 2);
    ASSERT_EQ(floats.bytes.size(), floats.values.size() * 4);
    for (std::size_t i = 0; i < doubles.values.size(); ++i) {
      std::uint64_t bits = 0;
      for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(doubles.bytes[8 * i + b]);
      ASSERT_EQ(bits, std::bit_cast<std::uint64_t>(doubles.values[i])) << i;
      std::uint32_t float_bits = 0;
      for (int b = 3; b >= 0; --b) float_bits = (float_bits << 8) | static_cast<unsigned char>(floats.bytes[4 * i + b]);
      ASSERT_EQ(float_bits, std::bit_cast<std::uint32_t>(static_cast<float>(doubles.values[i]))) << i;
    }
  }
}

}  // namespace
