#include "cascade/work_sharing.h"

namespace cascade {

work_sharing::work_sharing(bool with_helper) {
  if (with_helper) helper_ = std::thread([this] { helper_loop(); });
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
  next_block_.store(0, std::memory_order_relaxed);
  if (!helper_.joinable()) return;
  started_.fetch_add(1, std::memory_order_release);
  started_.notify_one();
}

void work_sharing::take_blocks(const job& current) {
  const std::size_t blocks = (current.count + current.block_size - 1) / current.block_size;
  for (std::size_t b; (b = next_block_.fetch_add(1, std::memory_order_relaxed)) < blocks;) {
    const std::size_t begin = b * current.block_size;
    const std::size_t end = begin + current.block_size < current.count ? begin + current.block_size : current.count;
    current.call(current.block, begin, end);
  }
}

void work_sharing::finish() {
  if (!helper_.joinable()) return;
  const unsigned generation = started_.load(std::memory_order_relaxed);
  for (unsigned seen; (seen = finished_.load(std::memory_order_acquire)) != generation;) {
    finished_.wait(seen, std::memory_order_acquire);
  }
}

void work_sharing::helper_loop() {
  unsigned seen = 0;
  for (;;) {
    started_.wait(seen, std::memory_order_acquire);
    seen = started_.load(std::memory_order_acquire);
    if (stopping_) return;
    take_blocks(job_);
    finished_.store(seen, std::memory_order_release);
    finished_.notify_one();
  }
}

}  // namespace cascade
