#include "cascade/thread_start.h"

#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

namespace cascade {
namespace {

/// Room for the runtime's per-thread block many times over, and small
/// enough to come from the allocator's heap: freed, it stays there for the
/// block, rather than going back to the system.
constexpr std::size_t reserve_bytes = 64 * 1024;

/// Takes the calling thread's runtime state; false when the memory for it
/// cannot be had, in which case nothing was touched.
bool take_runtime_state() noexcept {
  void* reserve = std::malloc(reserve_bytes);
  if (reserve == nullptr) return false;
  std::free(reserve);
  // Asking for the exceptions in flight allocates the block; a new thread has none.
  return std::uncaught_exceptions() == 0;
}

enum class start_state { pending, running, refused };

}  // namespace

std::thread start_thread(std::function<void()> body) {
  std::mutex mutex;
  std::condition_variable changed;
  start_state state = start_state::pending;
  std::thread thread;
  try {
    thread = std::thread([&mutex, &changed, &state, body = std::move(body)] {
      const bool taken = take_runtime_state();
      {
        // Notified under the lock: the starter's frame, which holds these,
        // is gone as soon as the lock is released.
        const std::lock_guard lock(mutex);
        state = taken ? start_state::running : start_state::refused;
        changed.notify_one();
      }
      if (taken) body();
    });
  } catch (const std::system_error&) {
    return {};  // no thread to be had (a process limit, or no memory for its stack)
  } catch (const std::bad_alloc&) {
    return {};
  }
  std::unique_lock lock(mutex);
  changed.wait(lock, [&] { return state != start_state::pending; });
  if (state == start_state::running) return thread;
  lock.unlock();
  thread.join();
  return {};
}

}  // namespace cascade
