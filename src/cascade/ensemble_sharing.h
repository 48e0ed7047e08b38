// ensemble_sharing.h: how the threads of a run are shared among the
// realizations of an ensemble.
//
// Realizations are independent, so the cheapest way to use T threads on K
// of them is one realization per thread: no window of blocks to hand out,
// and the subtractive stream (which cannot split one series among more than
// two) gains as much as the counter-based one. Threads left over when K < T
// go to the realizations themselves.
#pragma once

#include <algorithm>
#include <cstddef>

namespace cascade {

struct ensemble_sharing {
  unsigned workers;          ///< threads that each take whole realizations, the caller among them
  unsigned threads_per_row;  ///< threads each realization is made with
};

/// The sharing of `threads` (at least 1) among `rows` realizations.
inline ensemble_sharing share_among_rows(std::size_t rows, unsigned threads) {
  const unsigned workers = static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, rows)));
  return {workers, std::max(1u, threads / workers)};
}

}  // namespace cascade
