// work_sharing.h: the calling thread and at most one helper thread sharing
// the blocks of a job.
//
// A job is a range split into blocks; both threads take the next free block
// until none is left, so neither waits for the other while work remains. The
// caller may first do a duty of its own (the sequential part of the
// pipeline) while the helper has already started on the blocks. run()
// returns when every block is done. Without a helper the caller does it all.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace cascade {

class work_sharing {
 public:
  /// Starts the helper thread when `with_helper`; stops it on destruction.
  explicit work_sharing(bool with_helper);
  ~work_sharing();
  work_sharing(const work_sharing&) = delete;
  work_sharing& operator=(const work_sharing&) = delete;

  /// Runs block(begin, end) over [0, count) in blocks of `block_size`, and
  /// duty() once on the calling thread before it takes blocks.
  template <class Block, class Duty>
  void run(std::size_t count, std::size_t block_size, Block&& block, Duty&& duty) {
    const job current{count, block_size, &block, [](const void* b, std::size_t begin, std::size_t end) {
                        (*static_cast<const std::remove_reference_t<Block>*>(b))(begin, end);
                      }};
    start(current);
    duty();
    take_blocks(current);
    finish();
  }

  template <class Block>
  void run(std::size_t count, std::size_t block_size, Block&& block) {
    run(count, block_size, block, [] {});
  }

 private:
  struct job {
    std::size_t count;
    std::size_t block_size;
    const void* block;
    void (*call)(const void*, std::size_t, std::size_t);
  };

  void start(const job& current);
  void take_blocks(const job& current);
  void finish();
  void helper_loop();

  job job_{};
  std::atomic<std::size_t> next_block_{0};
  std::atomic<unsigned> started_{0};   // job generation handed to the helper
  std::atomic<unsigned> finished_{0};  // job generation the helper completed
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace cascade
