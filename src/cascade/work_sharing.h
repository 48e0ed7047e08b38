// work_sharing.h: the calling thread and at most one helper thread sharing
// the blocks of a job.
//
// Kept beside thread_team for the subtractive stream's growth alone: its
// steps are a fraction of a millisecond each, and a helper that spins
// between them, rather than sleeping on a condition, is what makes two
// threads pay there.
//
// A job is a range split into blocks; both threads take the next free block
// until none is left, so neither waits for the other while work remains. The
// caller may first do a duty of its own (the sequential part of the
// pipeline) while the helper has already started on the blocks. run()
// returns when every block is done. Without a helper the caller does it all.
//
// An exception from a block (on either thread) or from the duty stops the
// job: no block is taken after it. run() waits until the helper has left the
// job, since the blocks use the caller's frame, and then rethrows the
// exception on the calling thread; the object stays ready for the next job.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <type_traits>

namespace cascade {

class work_sharing {
 public:
  /// Starts the helper thread when `with_helper` and one can be had (no
  /// thread or no memory for one: the caller works alone); stops it on
  /// destruction.
  explicit work_sharing(bool with_helper);
  ~work_sharing();
  work_sharing(const work_sharing&) = delete;
  work_sharing& operator=(const work_sharing&) = delete;

  /// How a job is cut: blocks of `size`, except that the last 2 * size of
  /// the range (when it is longer than that) go in blocks of `tail`, so
  /// that a thread that finds no block left waits at most a short block for
  /// the other. `tail` == `size` cuts evenly.
  struct blocking {
    std::size_t size;
    std::size_t tail;
  };

  /// Runs block(begin, end) over [0, count) in the blocks of `cut`, and
  /// duty() once on the calling thread before it takes blocks. Rethrows the
  /// first exception of the duty or of a block, once the helper is out.
  template <class Block, class Duty>
  void run(std::size_t count, blocking cut, Block&& block, Duty&& duty) {
    const job current{count, cut, &block, [](const void* b, std::size_t begin, std::size_t end) {
                        (*static_cast<const std::remove_reference_t<Block>*>(b))(begin, end);
                      }};
    start(current);
    std::exception_ptr duty_failure;
    try {
      duty();
    } catch (...) {
      duty_failure = std::current_exception();
      stop_taking();
    }
    take_blocks(current, caller_failure_);
    finish(duty_failure);
  }

  /// Blocks of `block_size` throughout.
  template <class Block, class Duty>
  void run(std::size_t count, std::size_t block_size, Block&& block, Duty&& duty) {
    run(count, blocking{block_size, block_size}, block, duty);
  }

  template <class Block>
  void run(std::size_t count, std::size_t block_size, Block&& block) {
    run(count, block_size, block, [] {});
  }

 private:
  struct job {
    std::size_t count;
    blocking cut;
    const void* block;
    void (*call)(const void*, std::size_t, std::size_t);
  };

  void start(const job& current);
  /// Takes blocks until none is left; the first exception of a block goes
  /// to `failure` and stops the job.
  void take_blocks(const job& current, std::exception_ptr& failure) noexcept;
  void stop_taking() noexcept;
  /// Waits for the helper, then rethrows the job's first failure, if any.
  void finish(std::exception_ptr duty_failure);
  void helper_loop();

  job job_{};
  std::atomic<std::size_t> next_block_{0};
  std::atomic<unsigned> started_{0};   // job generation handed to the helper
  std::atomic<unsigned> finished_{0};  // job generation the helper completed
  std::exception_ptr caller_failure_;
  std::exception_ptr helper_failure_;  // written by the helper before it reports the job finished
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace cascade
