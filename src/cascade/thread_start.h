// thread_start.h: a thread started only once it holds the C++ runtime's
// per-thread state.
//
// Where the runtime is loaded after the process started (the Python module
// brings it in with dlopen), its per-thread block (the state of exceptions
// in flight) is allocated the first time a thread touches it, and the C
// library ends the whole process when that allocation fails. Left to the
// first exception, that is exactly when memory has run out. A thread
// started here touches the block first, after a reserve of memory proved
// that there is room for it; a thread that cannot have the reserve runs
// nothing and leaves, and its starter goes on without it.
#pragma once

#include <functional>
#include <thread>

namespace cascade {

/// `body` on a new thread, which has already taken its runtime state; an
/// empty (not joinable) thread when the thread, or memory for that state,
/// cannot be had. Returns once the new thread has taken its state, so
/// threads started one after another do not compete for the last memory.
std::thread start_thread(std::function<void()> body);

}  // namespace cascade
