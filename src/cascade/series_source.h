// series_source.h: a run's values, a window at a time, whichever stream
// makes them.
//
// Every face runs the same pipeline: the rules are checked (run_rules.h),
// a source is made for the stream (one kind per stream), and its values are
// taken window by window, in order: the program's writer formats each block
// on the thread that made it and writes one window while the next is made;
// the library fills the caller's buffer. A window is blocks of block_values
// (the last of a run shorter), made by a thread team in any order.
//
// A source also keeps the summary's moments of what it has made: combined
// block by block in order, or, where the summary must precede the values
// (the subtractive stream), of the whole series before the first window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "cascade/laws.h"
#include "cascade/models.h"
#include "cascade/shape.h"
#include "cascade/streams.h"
#include "cascade/summary.h"
#include "cascade/thread_team.h"

namespace cascade {

/// Values a block: the unit of work, of the summary and of the writer's pieces.
inline constexpr std::int64_t block_values = std::int64_t{1} << 15;

/// Values [first, first + count) of the run: where a source that makes its
/// values on demand puts them, and, once made, where they are.
struct series_window {
  std::int64_t first = 0;
  std::int64_t count = 0;
  double* values = nullptr;
  double* weights = nullptr;  ///< null unless the run keeps weights

  std::size_t blocks() const { return static_cast<std::size_t>((count + block_values - 1) / block_values); }
};

/// One block just made, seen on the thread that made it while its values
/// are still in that thread's cache.
struct made_block {
  std::size_t index;      ///< in its window
  std::int64_t first;     ///< its first value's place in the run
  std::int64_t count;
  const double* values;
  const double* weights;  ///< null unless the run keeps weights
  unsigned worker;        ///< the thread: 0 .. team helpers
};
using block_hook = std::function<void(const made_block&)>;

/// What a run asks of a source.
struct source_request {
  stream from = default_stream;
  cascade_shape shape{};
  std::uint64_t seed = 0;
  multiplier_law law{};        ///< the factors' law (the subtractive stream takes the lognormal alone)
  const model_descriptor* model = &default_model();  ///< the cascade's model: where the weights come from
  /// Values [first, last) of the series; the whole series unless set.
  std::optional<std::pair<std::int64_t, std::int64_t>> range;
  unsigned threads = 1;        ///< the run's threads (a source may use fewer)
  bool weights = false;        ///< keep the final weights before modulation
  bool summarize = true;       ///< keep the summary's moments
  /// Where a source that makes the whole series at once puts it (values and
  /// weights); null: it allocates its own.
  double* whole_values = nullptr;
  double* whole_weights = nullptr;
  std::function<void(std::int64_t done, std::int64_t total)> progress;  ///< while prepare() works
  std::function<void()> between_chunks;  ///< on the calling thread every fraction of a millisecond in prepare()
};

class series_source {
 public:
  virtual ~series_source() = default;

  /// The values of the run: the whole series, or the piece asked for.
  std::int64_t size() const { return size_; }
  bool keeps_weights() const { return weights_; }
  /// Where the summary line stands against the values.
  virtual summary_place summary_at() const = 0;
  /// Whether the values are made into the buffers a window is given (else
  /// they are already whole, and a window points into them).
  virtual bool makes_into_window() const = 0;
  /// Whatever must be made before the first window; throws no_memory_for
  /// when the series' memory cannot be had, std::bad_alloc for the rest.
  virtual void prepare() {}
  /// Hands the window's blocks to the team and returns at once; `hook`
  /// (when set) runs on each block's thread as soon as it is made. The
  /// window and the hook must stay alive until finish().
  virtual void start(series_window& window, thread_team& team, const block_hook& hook) = 0;
  /// Takes the window's remaining blocks, waits for the rest, and adds the
  /// window to the summary; rethrows the first exception of a block.
  virtual void finish(series_window& window, thread_team& team) = 0;
  /// The moments of every value made so far (all of them after prepare(),
  /// for a source whose summary comes first).
  const moments& made() const { return made_; }

 protected:
  series_source(std::int64_t size, bool weights) : size_(size), weights_(weights) {}
  moments made_;

 private:
  std::int64_t size_;
  bool weights_;
};

/// Memory for a run's values or weights that could not be had.
struct no_memory_for : std::bad_alloc {
  explicit no_memory_for(const char* what) : what_for(what) {}
  const char* what_for;  ///< "values" or "weights"
};

/// The source of the request's model and stream. Throws std::bad_alloc.
std::unique_ptr<series_source> make_series_source(const source_request& request);

/// The helpers a team needs to make windows of `window_blocks` blocks with
/// `threads` threads: no more than the blocks, so that memory does not grow
/// with a thread count beyond them.
unsigned helpers_for(unsigned threads, std::size_t window_blocks);

/// Values the largest window of `window_blocks` blocks holds: no more than
/// the source has (a short run pays for no larger buffer).
std::size_t window_room(const series_source& source, std::size_t window_blocks);

/// Takes the source's windows in order, each `window_blocks` blocks: window
/// w is made into the buffers `place(w)` gives (where the source makes
/// values on demand), and `take(w's window)` runs on the calling thread
/// while the team makes window w + 1. An exception from `take`, from a
/// block or from the hook stops the run once the team is idle, and
/// propagates.
void for_each_window(series_source& source, thread_team& team, std::size_t window_blocks,
                     const std::function<std::pair<double*, double*>(std::size_t window)>& place,
                     const block_hook& hook, const std::function<void(const series_window&)>& take);

}  // namespace cascade
