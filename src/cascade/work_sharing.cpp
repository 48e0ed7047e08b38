#include "cascade/work_sharing.h"

#include <sched.h>

#include "cascade/thread_start.h"

namespace cascade {
namespace {

/// Waits until `value` differs from `old`. Jobs follow one another within
/// microseconds, while waking a sleeping thread can take tens of them, so
/// the wait first spins briefly and then yields for a while before it
/// sleeps. Yielding, not spinning, for the longer part: with two cores and a
/// reader at the other end of a pipe, a spinning thread would keep the
/// reader off the processor and the writer would stall on a full pipe.
void await_change(const std::atomic<unsigned>& value, unsigned old) {
  for (int spin = 0; spin < 2000; ++spin) {
    if (value.load(std::memory_order_acquire) != old) return;
    if (spin >= 100) {
      sched_yield();
    } else {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  }
  while (value.load(std::memory_order_acquire) == old) value.wait(old, std::memory_order_acquire);
}

}  // namespace

work_sharing::work_sharing(bool with_helper) {
  if (!with_helper) return;
  // No thread to be had (a process limit, or no memory): the caller does all the work.
  helper_ = start_thread([this] { helper_loop(); });
}

work_sharing::~work_sharing() {
  if (!helper_.joinable()) return;
  stopping_ = true;
  started_.fetch_add(1, std::memory_order_release);
  started_.notify_one();
  helper_.join();
}

void work_sharing::start(const job& current) {
  job_ = current;
  caller_failure_ = nullptr;
  helper_failure_ = nullptr;
  next_block_.store(0, std::memory_order_relaxed);
  if (!helper_.joinable()) return;
  started_.fetch_add(1, std::memory_order_release);
  started_.notify_one();
}

void work_sharing::take_blocks(const job& current, std::exception_ptr& failure) noexcept {
  const std::size_t size = current.cut.size;
  const std::size_t tail = current.cut.tail;
  // Whole blocks of `size` up to the last 2 * size, then blocks of `tail`.
  const std::size_t whole = current.count > 2 * size ? (current.count - 2 * size) / size : 0;
  const std::size_t head = whole * size;
  const std::size_t blocks = whole + (current.count - head + tail - 1) / tail;
  try {
    for (std::size_t b; (b = next_block_.fetch_add(1, std::memory_order_relaxed)) < blocks;) {
      const std::size_t begin = b < whole ? b * size : head + (b - whole) * tail;
      const std::size_t length = b < whole ? size : tail;
      const std::size_t end = begin + length < current.count ? begin + length : current.count;
      current.call(current.block, begin, end);
    }
  } catch (...) {
    failure = std::current_exception();
    stop_taking();
  }
}

void work_sharing::stop_taking() noexcept {
  // Far beyond any block count, and far from wrapping however many more
  // fetch_adds follow.
  next_block_.store(static_cast<std::size_t>(-1) / 2, std::memory_order_relaxed);
}

void work_sharing::finish(std::exception_ptr duty_failure) {
  if (helper_.joinable()) {
    const unsigned generation = started_.load(std::memory_order_relaxed);
    // The helper finishes generations in order, so the last one before this differs.
    await_change(finished_, generation - 1);
  }
  for (const std::exception_ptr& failure : {duty_failure, caller_failure_, helper_failure_}) {
    if (failure) {
      caller_failure_ = nullptr;
      helper_failure_ = nullptr;
      std::rethrow_exception(failure);
    }
  }
}

void work_sharing::helper_loop() {
  unsigned seen = 0;
  for (;;) {
    await_change(started_, seen);
    seen = started_.load(std::memory_order_acquire);
    if (stopping_) return;
    take_blocks(job_, helper_failure_);
    finished_.store(seen, std::memory_order_release);
    finished_.notify_one();
  }
}

}  // namespace cascade
