// The counter-based series in the core: the thread team that makes its
// blocks, and the series itself, whose bits and summary depend neither on
// the threads nor on how a range is cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "cascade/counter_series.h"
#include "cascade/series_source.h"
#include "cascade/thread_team.h"

namespace {

using cascade::cascade_shape;
using cascade::thread_team;

TEST(ThreadTeam, EveryTaskOnceOnAnyNumberOfHelpers) {
  for (const unsigned helpers : {0u, 1u, 3u}) {
    thread_team team(helpers);
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
      std::vector<std::atomic<int>> runs(count);
      std::atomic<bool> worker_in_range{true};
      team.run(count, [&](std::size_t index, unsigned worker) {
        runs[index].fetch_add(1);
        if (worker > team.helpers()) worker_in_range = false;
      });
      for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(runs[i].load(), 1) << helpers << " helpers, task " << i;
      EXPECT_TRUE(worker_in_range);
    }
  }
}

// The caller may work between start() and finish(); a failing task stops
// the job, finish() rethrows it, and the team serves the next job.
TEST(ThreadTeam, StartWorkFinishAndFailures) {
  thread_team team(2);
  std::atomic<int> done{0};
  const thread_team::task count_it = [&](std::size_t, unsigned) { done.fetch_add(1); };
  team.start(500, count_it);
  volatile int caller_work = 0;
  for (int i = 0; i < 1000; ++i) caller_work = caller_work + i;
  team.finish();
  EXPECT_EQ(done.load(), 500);

  // Tasks past the failure take a little time each, so that "stops" does not
  // hang on how soon the failing thread is scheduled again: three threads
  // running on through 90000 of them would need well over half a second,
  // while the stop takes effect within a scheduling slice.
  std::atomic<int> after_failure{0};
  EXPECT_THROW(team.run(100000, [&](std::size_t index, unsigned) {
    if (index == 10) throw std::runtime_error("task 10");
    if (index > 5000) {
      after_failure.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  }), std::runtime_error);
  EXPECT_LT(after_failure.load(), 90000) << "the job went on long after its failure";
  done = 0;
  team.run(50, count_it);
  EXPECT_EQ(done.load(), 50);
}

/// The philox series through its source, in windows of two blocks.
std::vector<double> whole_series(const cascade_shape& shape, std::uint64_t seed, unsigned helpers,
                                 cascade::moments* made = nullptr, std::vector<double>* weights = nullptr) {
  std::vector<double> values(static_cast<std::size_t>(shape.value_count()));
  if (weights != nullptr) weights->assign(values.size(), 0.0);
  cascade::source_request request;
  request.from = cascade::stream::philox;
  request.shape = shape;
  request.seed = seed;
  request.weights = weights != nullptr;
  const auto source = cascade::make_series_source(request);
  thread_team team(helpers);
  constexpr std::size_t window_blocks = 2;
  cascade::for_each_window(*source, team, window_blocks, [&](std::size_t window) {
    const auto offset = window * window_blocks * static_cast<std::size_t>(cascade::block_values);
    return std::pair{values.data() + offset, weights != nullptr ? weights->data() + offset : nullptr};
  }, {}, [](const cascade::series_window&) {});
  if (made != nullptr) *made = source->made();
  return values;
}

TEST(CounterSeries, TheSameBitsAndSummaryOnAnyNumberOfThreads) {
  const auto shape = cascade_shape::of(1.1, 15, 5);  // five blocks
  cascade::moments one, four;
  std::vector<double> weights_one, weights_four;
  const auto alone = whole_series(shape, 42, 0, &one, &weights_one);
  const auto shared = whole_series(shape, 42, 3, &four, &weights_four);
  EXPECT_EQ(0, std::memcmp(alone.data(), shared.data(), alone.size() * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(weights_one.data(), weights_four.data(), alone.size() * sizeof(double)));
  EXPECT_EQ(one.count, four.count);
  EXPECT_EQ(one.mean, four.mean);
  EXPECT_EQ(one.m2, four.m2);
  // The blockwise summary agrees with a plain two-pass one to rounding.
  double sum = 0.0;
  for (const double v : alone) sum += v;
  const double mean = sum / static_cast<double>(alone.size());
  double squares = 0.0;
  for (const double v : alone) squares += (v - mean) * (v - mean);
  EXPECT_NEAR(one.mean, mean, 1e-12);
  EXPECT_NEAR(one.m2, squares, 1e-9 * squares);
}

// Every block alone, at any offset and length, is the whole series' piece;
// a different seed or generation gives other values.
TEST(CounterSeries, BlocksAtAnyOffsetArePiecesOfTheWhole) {
  const auto shape = cascade_shape::of(0.8, 12, 3);
  const auto whole = whole_series(shape, 7, 1);
  cascade::counter_workspace workspace;
  std::vector<double> piece(cascade::counter_block_values), weights(cascade::counter_block_values);
  for (const auto& [begin, end] : std::vector<std::pair<std::int64_t, std::int64_t>>{
           {0, 1}, {1, 2}, {4095, 4097}, {3, 12288}, {12287, 12288}, {8191, 8193}}) {
    cascade::counter_block(shape, 7, begin, end, piece.data(), weights.data(), workspace);
    EXPECT_EQ(0, std::memcmp(piece.data(), whole.data() + begin, static_cast<std::size_t>(end - begin) * sizeof(double)))
        << begin << ":" << end;
  }
  EXPECT_NE(whole_series(shape, 8, 1), whole);

  // Blocks of a cut made in a shuffled order, as threads may take them.
  std::vector<std::pair<std::int64_t, std::int64_t>> cut;
  for (std::int64_t begin = 0; begin < shape.value_count(); begin += 1000) {
    cut.emplace_back(begin, std::min(begin + 1000, shape.value_count()));
  }
  std::mt19937 shuffler(20261210);
  std::shuffle(cut.begin(), cut.end(), shuffler);
  std::vector<double> assembled(whole.size());
  for (const auto& [begin, end] : cut) {
    cascade::counter_block(shape, 7, begin, end, assembled.data() + begin, nullptr, workspace);
  }
  EXPECT_EQ(0, std::memcmp(assembled.data(), whole.data(), whole.size() * sizeof(double)));
}

}  // namespace
