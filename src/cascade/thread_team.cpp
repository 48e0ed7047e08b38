#include "cascade/thread_team.h"

#include <sched.h>

#include <chrono>
#include <utility>

#include "cascade/thread_start.h"

namespace cascade {
namespace {

/// Spins until `ready()` or about `limit` has passed; whether it became ready.
template <class Ready>
bool spin_until(Ready&& ready, std::chrono::microseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (std::chrono::steady_clock::now() >= until) return false;
  }
}

/// How long a thread spins before it sleeps: longer than a window's hand-over
/// takes, far shorter than a block.
constexpr std::chrono::microseconds spin_limit{200};

}  // namespace

thread_team::thread_team(unsigned helpers) {
  threads_.reserve(helpers);
  for (unsigned worker = 0; worker < helpers; ++worker) {
    std::thread thread = start_thread([this, worker] { helper_loop(worker); });
    if (!thread.joinable()) break;  // no more threads to be had: the team works with those it has
    threads_.push_back(std::move(thread));
  }
}

thread_team::~thread_team() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void thread_team::start(std::size_t count, const task& work) {
  {
    const std::lock_guard lock(mutex_);
    work_ = &work;
    count_ = count;
    next_.store(0, std::memory_order_relaxed);
    failure_ = nullptr;
    busy_ = helpers();
    ++generation_;
    published_busy_.store(busy_, std::memory_order_release);
    published_generation_.store(generation_, std::memory_order_release);
  }
  wake_.notify_all();
}

void thread_team::take_tasks(unsigned worker) noexcept {
  try {
    for (std::size_t index; (index = next_.fetch_add(1, std::memory_order_relaxed)) < count_;) {
      (*work_)(index, worker);
    }
  } catch (...) {
    const std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    // Far beyond any count, and far from wrapping however many more fetch_adds follow.
    next_.store(static_cast<std::size_t>(-1) / 2, std::memory_order_relaxed);
  }
}

void thread_team::finish() {
  take_tasks(helpers());
  spin_until([this] { return published_busy_.load(std::memory_order_acquire) == 0; }, spin_limit);
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return busy_ == 0; });
  work_ = nullptr;
  if (failure_) {
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

void thread_team::helper_loop(unsigned worker) {
  unsigned seen = 0;
  for (;;) {
    spin_until([&] { return published_generation_.load(std::memory_order_acquire) != seen; }, spin_limit);
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
    }
    take_tasks(worker);
    {
      const std::lock_guard lock(mutex_);
      --busy_;
      published_busy_.store(busy_, std::memory_order_release);
    }
    idle_.notify_one();
  }
}

unsigned available_cpus() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 1;
  const int count = CPU_COUNT(&allowed);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

}  // namespace cascade
