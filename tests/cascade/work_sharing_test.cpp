// Work sharing: how a job is cut into blocks, and what happens when a block
// fails (the job stops, the caller waits for the helper to leave it, and the
// exception reaches the caller of run()).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "cascade/work_sharing.h"

namespace {

using cascade::work_sharing;

constexpr std::size_t job_values = 64 * 1024;
constexpr std::size_t block_values = 64;

struct failure_case {
  bool on_helper;     ///< the failing block runs on the helper thread, else on the calling thread
  int failing_job;    ///< 0 for the first job of the object, later ones after it
  const char* label;
};

// Each case fails one block of one job with std::bad_alloc. The other thread,
// meanwhile, is inside a block that takes a while and writes into the
// caller's frame at its end: if run() let the caller unwind before the other
// thread left the job, that write would land in a dead frame (which the
// sanitizer build reports) and the flag below would still be unset.
TEST(WorkSharing, AFailedBlockStopsTheJobAndReachesTheCaller) {
  const failure_case cases[] = {
      {true, 0, "helper thread, first job"},
      {true, 3, "helper thread, a later job"},
      {false, 0, "calling thread, first job"},
      {false, 3, "calling thread, a later job"},
  };
  for (const failure_case& c : cases) {
    work_sharing sharing(true);
    const std::thread::id caller = std::this_thread::get_id();
    for (int job = 0; job < c.failing_job; ++job) {
      std::atomic<std::size_t> done{0};
      sharing.run(job_values, block_values, [&](std::size_t begin, std::size_t end) { done += end - begin; });
      ASSERT_EQ(done.load(), job_values) << c.label;
    }

    std::atomic<bool> thrown{false};
    std::atomic<bool> other_entered{false};
    std::atomic<int> started_after_throw{0};
    std::atomic<std::size_t> blocks_done{0};
    bool other_left = false;  // in the caller's frame, written by the other thread
    const auto block = [&](std::size_t, std::size_t) {
      if (thrown.load()) ++started_after_throw;
      const bool on_helper = std::this_thread::get_id() != caller;
      if (on_helper == c.on_helper) {
        // Fail once the other thread is busy in a block of its own.
        while (!other_entered.load()) std::this_thread::yield();
        thrown = true;
        throw std::bad_alloc();
      }
      if (!other_entered.exchange(true)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        other_left = true;
        return;
      }
      ++blocks_done;
    };
    EXPECT_THROW(sharing.run(job_values, block_values, block), std::bad_alloc) << c.label;
    EXPECT_TRUE(other_left) << c.label << ": run() returned while a block was still running";
    // At most the block that the other thread had already taken starts after
    // the failure; the job is far from done.
    EXPECT_LE(started_after_throw.load(), 1) << c.label;
    EXPECT_LT(blocks_done.load(), job_values / block_values / 2) << c.label;

    // The next job runs whole, on both threads.
    std::atomic<std::size_t> done{0};
    sharing.run(job_values, block_values, [&](std::size_t begin, std::size_t end) { done += end - begin; });
    EXPECT_EQ(done.load(), job_values) << c.label;
  }
}

// An exception from the caller's duty stops the job too, but only once the
// helper is out of its block.
TEST(WorkSharing, AFailedDutyWaitsForTheHelper) {
  work_sharing sharing(true);
  std::atomic<bool> helper_entered{false};
  bool helper_left = false;
  std::atomic<std::size_t> blocks{0};
  const auto block = [&](std::size_t, std::size_t) {
    ++blocks;
    if (!helper_entered.exchange(true)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      helper_left = true;
    }
  };
  const auto duty = [&] {
    while (!helper_entered.load()) std::this_thread::yield();
    throw std::runtime_error("duty failed");
  };
  EXPECT_THROW(sharing.run(job_values, block_values, block, duty), std::runtime_error);
  EXPECT_TRUE(helper_left);
  EXPECT_LE(blocks.load(), 2u);
}

// Without a helper a failure still stops the job at once.
TEST(WorkSharing, AFailedBlockWithoutHelper) {
  work_sharing sharing(false);
  std::size_t blocks = 0;
  EXPECT_THROW(sharing.run(job_values, block_values, [&](std::size_t begin, std::size_t) {
    ++blocks;
    if (begin == 10 * block_values) throw std::bad_alloc();
  }), std::bad_alloc);
  EXPECT_EQ(blocks, 11u);
}

}  // namespace

// A cut with a short tail covers the range exactly once, on either thread
// count: `long_blocks` blocks of `size`, then blocks of `tail`, the last of
// them shorter when the range ends inside it.
TEST(WorkSharing, ATailOfShortBlocksCoversTheRangeOnce) {
  struct cut_case {
    std::size_t count, size, tail, long_blocks;
  };
  const cut_case cases[] = {
      {0, 1024, 256, 0},      // nothing to do
      {700, 1024, 256, 0},    // shorter than the tail: short blocks only
      {2048, 1024, 256, 0},   // exactly the tail
      {2049, 1024, 256, 0},   // one past it: nine short blocks, the last of one
      {5000, 1024, 256, 2},   // 2048 in long blocks, then 2952 = 11 * 256 + 136
      {32768, 1024, 256, 30}, // a whole chunk of the series
      {4096, 1024, 1024, 4},  // tail == size: the even cut
  };
  for (const bool with_helper : {false, true}) {
    work_sharing sharing(with_helper);
    for (const cut_case& c : cases) {
      std::mutex taken_lock;
      std::vector<std::pair<std::size_t, std::size_t>> taken;
      sharing.run(c.count, work_sharing::blocking{c.size, c.tail}, [&](std::size_t begin, std::size_t end) {
        const std::lock_guard<std::mutex> hold(taken_lock);
        taken.emplace_back(begin, end);
      }, [] {});
      std::sort(taken.begin(), taken.end());
      std::vector<std::pair<std::size_t, std::size_t>> expected;
      std::size_t at = 0;
      for (std::size_t b = 0; b < c.long_blocks; ++b, at += c.size) expected.emplace_back(at, at + c.size);
      for (; at < c.count; at += c.tail) expected.emplace_back(at, std::min(at + c.tail, c.count));
      EXPECT_EQ(taken, expected) << c.count << " in blocks of " << c.size << " and " << c.tail
                                 << (with_helper ? ", two threads" : ", one thread");
    }
  }
}
