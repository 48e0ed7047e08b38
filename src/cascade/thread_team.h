// thread_team.h: any number of helper threads taking the tasks of a job.
//
// A job is `count` tasks, task(index, worker), taken in any order by the
// helpers and, when it chooses to help, the calling thread; `worker` tells
// which thread runs a task (0 .. helpers() - 1 for the helpers, helpers()
// for the caller), so each may keep its own workspace. The caller may do
// other work between start() and finish(): the counter-based series writes
// one window of blocks while the team makes the next.
//
// An exception from a task stops the job (no task is taken after it) and
// is rethrown by finish(). A team whose threads cannot be had has fewer
// helpers, down to none, and the caller then does every task in finish().
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cascade {

class thread_team {
 public:
  using task = std::function<void(std::size_t index, unsigned worker)>;

  /// Starts up to `helpers` threads (fewer when no more can be had).
  explicit thread_team(unsigned helpers);
  ~thread_team();
  thread_team(const thread_team&) = delete;
  thread_team& operator=(const thread_team&) = delete;

  /// The helper threads that run; workers are numbered 0 .. helpers().
  unsigned helpers() const { return static_cast<unsigned>(threads_.size()); }

  /// Hands out tasks [0, count) to the helpers and returns at once. `work`
  /// must stay alive until finish().
  void start(std::size_t count, const task& work);
  /// Takes the job's remaining tasks on the calling thread, waits for the
  /// helpers' last ones, and rethrows the job's first exception.
  void finish();
  /// start() and finish().
  void run(std::size_t count, const task& work) {
    start(count, work);
    finish();
  }

 private:
  void take_tasks(unsigned worker) noexcept;
  void helper_loop(unsigned worker);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;   // a job started, or the team is stopping
  std::condition_variable idle_;   // a helper left the job
  const task* work_ = nullptr;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
  unsigned generation_ = 0;   // jobs started, under mutex_
  unsigned busy_ = 0;         // helpers in the current job, under mutex_
  // generation_ and busy_ as last written, read without the lock by a thread
  // that spins a moment before it sleeps: jobs follow each other within
  // microseconds, and a sleeping thread takes far longer to wake.
  std::atomic<unsigned> published_generation_{0};
  std::atomic<unsigned> published_busy_{0};
  bool stopping_ = false;
  std::exception_ptr failure_;  // the job's first, under mutex_
};

/// The threads a run may use by default: the CPUs this process may run on.
unsigned available_cpus();

}  // namespace cascade
