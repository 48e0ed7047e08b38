// The sources of a run's values and the window loop that every face runs:
// each block seen once, in windows that cover the run in order; the
// subtractive stream's summary the digits of the plain two passes; a
// failure while a window is taken leaves no thread at work.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "cascade/subtractive_series.h"
#include "cascade/series_source.h"
#include "cascade/thread_team.h"
#include "cascade/work_sharing.h"

namespace {

using cascade::series_window;
using cascade::stream;

cascade::source_request request_of(stream from, const cascade::cascade_shape& shape) {
  cascade::source_request request;
  request.from = from;
  request.shape = shape;
  request.seed = 1700000000;
  request.threads = 2;
  return request;
}

// Both streams: the windows cover the run in order, each block reaches the
// hook once, on some thread, with the values that end up in the series.
TEST(SeriesSource, WindowsCoverTheRunAndEveryBlockReachesTheHook) {
  const auto shape = cascade::cascade_shape::of(0.6, 16, 3);  // 6 blocks
  for (const stream from : {stream::subtractive, stream::philox}) {
    const auto source = cascade::make_series_source(request_of(from, shape));
    source->prepare();
    std::vector<double> values(static_cast<std::size_t>(source->size())), seen(values.size(), std::nan(""));
    cascade::thread_team team(2);
    constexpr std::size_t window_blocks = 4;
    std::vector<std::int64_t> firsts;
    std::atomic<int> blocks{0};
    cascade::for_each_window(*source, team, window_blocks, [&](std::size_t window) {
      return std::pair{values.data() + window * window_blocks * cascade::block_values, nullptr};
    }, [&](const cascade::made_block& block) {
      ++blocks;
      std::memcpy(seen.data() + block.first, block.values, static_cast<std::size_t>(block.count) * sizeof(double));
    }, [&](const series_window& window) {
      firsts.push_back(window.first);
      // Taken while the next window is made: its values are final.
      EXPECT_EQ(0, std::memcmp(window.values, seen.data() + window.first,
                               static_cast<std::size_t>(window.count) * sizeof(double)));
    });
    EXPECT_EQ(blocks.load(), 6) << cascade::stream_name(from);
    EXPECT_EQ(firsts, (std::vector<std::int64_t>{0, 4 * cascade::block_values})) << cascade::stream_name(from);
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_FALSE(std::isnan(seen[i])) << i;
  }
}

// The summary made before the first value: exactly the plain two passes
// (the sum in index order, then the squared deviations from its mean).
TEST(SeriesSource, SubtractiveSummaryIsThePlainTwoPasses) {
  const auto shape = cascade::cascade_shape::of(0.4, 17, 1);
  const auto source = cascade::make_series_source(request_of(stream::subtractive, shape));
  source->prepare();
  std::vector<double> values(static_cast<std::size_t>(shape.value_count()));
  cascade::work_sharing sharing(false);
  cascade::generate_series(values.data(), shape, -1700000000, sharing);
  double sum = 0.0;
  for (const double v : values) sum += v;
  const double mean = sum / static_cast<double>(values.size());
  double squares = 0.0;
  for (const double v : values) squares += (v - mean) * (v - mean);
  EXPECT_EQ(source->made().count, shape.value_count());
  EXPECT_EQ(source->made().mean, mean);
  EXPECT_EQ(source->made().m2, squares);
}

// A failure while a window is taken (a write that failed) ends the run
// once the team has finished the window it was making.
TEST(SeriesSource, AFailureWhileTakingAWindowWaitsForTheTeam) {
  const auto shape = cascade::cascade_shape::of(0.6, 18, 1);  // 8 blocks
  const auto source = cascade::make_series_source(request_of(stream::philox, shape));
  std::vector<double> values(static_cast<std::size_t>(shape.value_count()));
  cascade::thread_team team(3);
  std::atomic<int> blocks{0};
  EXPECT_THROW(cascade::for_each_window(*source, team, 2, [&](std::size_t window) {
    return std::pair{values.data() + window * 2 * cascade::block_values, nullptr};
  }, [&](const cascade::made_block&) { ++blocks; }, [](const series_window& window) {
    if (window.first > 0) throw std::runtime_error("write failed");
  }), std::runtime_error);
  // Windows 0 and 1 taken, window 2 made while 1 was: no more.
  EXPECT_EQ(blocks.load(), 6);
  team.run(3, [](std::size_t, unsigned) {});  // the team still serves
}

}  // namespace
