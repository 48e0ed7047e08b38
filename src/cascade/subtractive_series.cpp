#include "cascade/subtractive_series.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "cascade/summary.h"
#include "cascade/series_kernels.h"
#include "deviates/polar_pairs.h"

namespace cascade {

namespace {

// Pairs per chunk: big enough that the hand-over between threads is rare,
// small enough that two chunks of pairs stay in cache, and no more than
// one pair in 64 values, so that a short series is still many chunks, each
// drawn while the threads work on the one before, and its pair buffers
// little memory to fault in.
std::int64_t chunk_pairs_for(std::int64_t count) { return std::clamp<std::int64_t>(count / 64, 4096, 32768); }
constexpr std::int64_t block_pairs = 1024;
// Blocks of a chunk taken in any order; the last ones shorter, so that a
// thread that finds none left soon has the other's company.
constexpr work_sharing::blocking any_order{block_pairs, block_pairs / 4};
// One block, whose pairs the kernel takes in order.
constexpr work_sharing::blocking in_order(std::int64_t length) {
  return {static_cast<std::size_t>(length), static_cast<std::size_t>(length)};
}

/// A stretch of consecutive pairs of the stream: parents [begin, begin +
/// length) of a generation of `parents` cells, or, in the modulation pass,
/// the final values [2 begin, 2 (begin + length)).
struct chunk {
  enum pass_kind { growth, modulation };
  pass_kind pass;
  std::int64_t parents;  ///< the generation's cells (growth only)
  std::int64_t begin;
  std::int64_t length;
  work_sharing::blocking cut;  ///< how its pairs are shared out in blocks
};

/// The chunks of a run in stream order. A generation of n parents occupies
/// the top n slots and its children the top 2n, so child slots 2j and 2j + 1
/// (from the bottom of the new generation) lie at or below parent j's slot n
/// + j: in ascending order no parent is overwritten before it is read. Blocks
/// of one chunk run in any order, so a chunk must end below its own first
/// parent: its length may not exceed the parents left after it. Chunks shrink
/// to keep that near a generation's end, and the last few pairs form one
/// block, done in order.
class chunk_schedule {
 public:
  explicit chunk_schedule(const cascade_shape& shape)
      : steps_left_(shape.step_number),
        parents_(shape.n0),
        values_(shape.value_count()),
        chunk_pairs_(chunk_pairs_for(values_)) {}

  /// The next chunk; length 0 once the stream is done.
  chunk next() {
    if (steps_left_ > 0) {
      const std::int64_t left = parents_ - begin_;
      std::int64_t length = std::min(chunk_pairs_, left / 2);
      const bool tail = length < block_pairs;
      if (tail) length = left;
      const chunk c{chunk::growth, parents_, begin_, length, tail ? in_order(length) : any_order};
      begin_ += length;
      if (begin_ == parents_) {
        begin_ = 0;
        parents_ *= 2;
        --steps_left_;
      }
      return c;
    }
    const std::int64_t length = std::min(chunk_pairs_, values_ / 2 - begin_);
    const chunk c{chunk::modulation, 0, begin_, length, any_order};
    begin_ += length;
    return c;
  }

 private:
  std::int32_t steps_left_;
  std::int64_t parents_;
  std::int64_t values_;
  std::int64_t chunk_pairs_;
  std::int64_t begin_ = 0;
};

/// The accepted pairs of one chunk, as the source gives them.
struct pair_buffer {
  explicit pair_buffer(std::int64_t size)
      : w1(new double[static_cast<std::size_t>(size)]), w2(new double[static_cast<std::size_t>(size)]) {}
  std::unique_ptr<double[]> w1, w2;
};

/// The pairs of the chunk being worked on, of the one being drawn, and of
/// the one before, in turn. A third buffer, although only two are in use at
/// once, because a line that the other thread has just read must be taken
/// back from its core before it can be written: with two buffers the
/// drawing wrote into lines both threads had read a chunk earlier, and took
/// a third longer on two threads than on one.
class pair_buffers {
 public:
  explicit pair_buffers(std::int64_t size) : ring_{pair_buffer(size), pair_buffer(size), pair_buffer(size)} {}
  pair_buffer& of_chunk(std::int64_t index) { return ring_[static_cast<std::size_t>(index) % ring_.size()]; }

 private:
  std::array<pair_buffer, 3> ring_;
};

/// Slots that a chunk will write for the first time.
struct stretch {
  double* begin;
  double* end;
};

/// What chunk `c` writes first: in a generation of n parents, its children
/// below the parents' slots (higher ones replace parents already read), or
/// its stretch of the weights.
stretch fresh_slots(const chunk& c, double* values, std::int64_t count, double* weights) {
  if (c.pass == chunk::growth) {
    double* const first = values + (count - 2 * c.parents) + 2 * c.begin;
    return {first, std::min(first + 2 * c.length, values + (count - c.parents))};
  }
  if (weights == nullptr) return {nullptr, nullptr};
  return {weights + 2 * c.begin, weights + 2 * (c.begin + c.length)};
}

/// Faults in the pages of slots that hold nothing yet, by writing a zero
/// into one slot of each 4 KiB; on pages already there it costs a store a
/// page. The kernel clears a fresh huge page where it is first written,
/// which takes longer than a block: done inside the block that would meet
/// it, it kept the other thread waiting at the chunk's end. So the first
/// block of each chunk faults in the next chunk's slots, and the threads
/// share the rest of the chunk around it.
void fault_in(const stretch& slots) {
  constexpr std::ptrdiff_t page_slots = 4096 / sizeof(double);
  for (double* slot = slots.begin; slot < slots.end; slot += page_slots) *static_cast<volatile double*>(slot) = 0.0;
}

}  // namespace

double generate_series(double* values, const cascade_shape& shape, std::int32_t seed_word, work_sharing& sharing,
                       const series_options& options) {
  const std::int64_t count = shape.value_count();
  const std::int64_t total_pairs = (count - shape.n0) + count / 2;
  std::int64_t done_pairs = 0;
  const double sigma = shape.sigma;
  const double s2 = sigma * sigma;
  const series_kernels& kernels = active_series_kernels();

  deviates::polar_pair_source source{deviates::subtractive_engine(seed_word)};
  // A chunk holds at most chunk_pairs_for(count) pairs, and never more than
  // the last generation's count / 2 parents or the modulation's count / 2.
  const std::int64_t buffer_pairs = std::min(count / 2, chunk_pairs_for(count));
  pair_buffers buffers(buffer_pairs);

  // The first generation's cells all weigh 1.0 and are never stored: the
  // first step reads no parent, so no thread touches memory before the
  // work is shared (a large n0 would otherwise fault its pages in alone).

  // Final values not yet added to the sum: the last finished modulation chunk.
  double sum = 0.0;
  const double* unsummed = values;
  std::int64_t unsummed_count = 0;

  chunk_schedule schedule(shape);
  chunk now = schedule.next();
  std::int64_t now_index = 0;
  source.next(buffers.of_chunk(0).w1.get(), buffers.of_chunk(0).w2.get(), static_cast<std::size_t>(now.length));
  while (now.length > 0) {
    const chunk after = schedule.next();
    const pair_buffer& current = buffers.of_chunk(now_index);
    pair_buffer& upcoming = buffers.of_chunk(now_index + 1);
    const double* const w1 = current.w1.get();
    const double* const w2 = current.w2.get();
    // Disjoint from what this chunk reads and writes (see chunk_schedule).
    const stretch next_fresh = fresh_slots(after, values, count, options.weights);
    const auto draw_ahead = [&] {
      source.next(upcoming.w1.get(), upcoming.w2.get(), static_cast<std::size_t>(after.length));
      if (options.sum) accumulate(sum, unsummed, unsummed_count);
      unsummed_count = 0;
    };

    if (now.pass == chunk::growth) {
      const bool first_step = now.parents == shape.n0;
      double* const parents = values + (count - now.parents) + now.begin;
      double* const children = values + (count - 2 * now.parents) + 2 * now.begin;
      sharing.run(now.length, now.cut, [=, &kernels](std::size_t begin, std::size_t end) {
        if (begin == 0) fault_in(next_fresh);
        kernels.grow(w1 + begin, w2 + begin, end - begin, first_step ? nullptr : parents + begin, children + 2 * begin,
                     sigma, s2);
      }, draw_ahead);
    } else {
      double* const modulated = values + 2 * now.begin;
      double* const kept = options.weights == nullptr ? nullptr : options.weights + 2 * now.begin;
      sharing.run(now.length, now.cut, [=, &kernels](std::size_t begin, std::size_t end) {
        if (begin == 0) fault_in(next_fresh);
        if (kept != nullptr) std::copy(modulated + 2 * begin, modulated + 2 * end, kept + 2 * begin);
        kernels.modulate(w1 + begin, w2 + begin, end - begin, modulated + 2 * begin);
      }, draw_ahead);
      unsummed = modulated;
      unsummed_count = 2 * now.length;
    }
    ++now_index;
    done_pairs += now.length;
    if (options.progress) options.progress(done_pairs, total_pairs);
    if (options.between_chunks) options.between_chunks();
    now = after;
  }
  if (options.sum) accumulate(sum, unsummed, unsummed_count);
  return sum;
}

}  // namespace cascade
