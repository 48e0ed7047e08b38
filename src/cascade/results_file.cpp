#include "cascade/results_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "cascade/file_attributes.h"
#include "cascade/formats.h"
#include "cascade/hdf5_file.h"
#include "cascade/quoted.h"
#include "cascade/series_source.h"
#include "cascade/sha256.h"
#include "cascade/thread_team.h"

namespace cascade {
namespace {

/// Blocks a chunk of a file: 2^19 values, 4 MiB of float64, whatever the threads.
constexpr std::size_t chunk_blocks = 16;
/// Blocks a window: a few for each thread, a whole number of chunks, at most 64.
constexpr std::size_t window_blocks_a_thread = 4;
constexpr std::size_t most_window_blocks = 64;

std::size_t window_blocks_for(unsigned threads) {
  const std::size_t wanted =
      std::clamp<std::size_t>(window_blocks_a_thread * threads, chunk_blocks, most_window_blocks);
  return (wanted + chunk_blocks - 1) / chunk_blocks * chunk_blocks;
}

/// Values a chunk: a window of chunk_blocks, or the whole dataset when shorter.
std::int64_t chunk_values(std::int64_t length) {
  return std::max<std::int64_t>(std::min<std::int64_t>(chunk_blocks * block_values, length), 1);
}

/// A window's values (and weights) as the format's little-endian bytes.
using window_taker = std::function<void(std::int64_t first, std::int64_t count, const char* x, const char* w)>;

/// Makes the run window by window and hands each window's bytes to `take`
/// in order, on the calling thread, while the team makes the next. Float64
/// bytes are the doubles themselves (a little-endian host writes them as
/// they are); other formats are encoded block by block where each was made.
moments make_encoded_windows(const run_words& run, unsigned threads, bool weights,
                             const std::function<void()>& between_chunks,
                             const std::function<void(std::int64_t, std::int64_t)>& progress,
                             const window_taker& take) {
  source_request request;
  request.from = run.generator;
  request.shape = cascade_shape::of(run.lambda, run.step_number, run.n0);
  request.seed = run.seed;
  request.law = run.law;
  request.model = run.model;
  request.range = run.range;
  // No more threads than the stream takes (a file's run may name either stream).
  threads = static_cast<unsigned>(std::clamp<std::int64_t>(threads, 1, rules_of(run.generator).max_threads));
  request.threads = threads;
  request.weights = weights;
  request.between_chunks = between_chunks;
  request.progress = progress;
  const auto source = make_series_source(request);
  source->prepare();

  const format_row& format = format_of(run.format);
  const bool as_doubles = format.value_bytes == sizeof(double) && std::endian::native == std::endian::little;
  const std::size_t window_blocks = window_blocks_for(threads);
  const std::size_t room = window_room(*source, window_blocks);
  struct window_buffers {
    std::unique_ptr<double[]> values, weights;
    std::unique_ptr<char[]> value_bytes, weight_bytes;
  };
  window_buffers buffers[2];
  for (window_buffers& window : buffers) {
    if (source->makes_into_window()) {
      window.values.reset(new double[room]);
      if (weights) window.weights.reset(new double[room]);
    }
    if (!as_doubles) {
      window.value_bytes.reset(new char[room * format.value_bytes]);
      if (weights) window.weight_bytes.reset(new char[room * format.value_bytes]);
    }
  }
  thread_team team(helpers_for(threads, window_blocks));
  const std::int64_t window_values = static_cast<std::int64_t>(window_blocks) * block_values;
  const auto buffers_of = [&](std::int64_t first) -> window_buffers& { return buffers[(first / window_values) % 2]; };
  const auto place = [&](std::size_t window) {
    window_buffers& into = buffers[window % 2];
    return std::pair{into.values.get(), into.weights.get()};
  };
  block_hook encode;
  if (!as_doubles) {
    encode = [&](const made_block& block) {
      window_buffers& into = buffers_of(block.first);
      const std::int64_t at = (block.first % window_values) * static_cast<std::int64_t>(format.value_bytes);
      format.encode(block.values, block.count, into.value_bytes.get() + at);
      if (block.weights != nullptr) format.encode(block.weights, block.count, into.weight_bytes.get() + at);
    };
  }
  const auto taken = [&](const series_window& window) {
    if (between_chunks) between_chunks();
    if (as_doubles) {
      take(window.first, window.count, reinterpret_cast<const char*>(window.values),
           reinterpret_cast<const char*>(window.weights));
    } else {
      window_buffers& from = buffers_of(window.first);
      take(window.first, window.count, from.value_bytes.get(), from.weight_bytes.get());
    }
    if (progress) progress(window.first + window.count, source->size());
  };
  for_each_window(*source, team, window_blocks, place, encode, taken);
  return source->made();
}

/// Runs `row` (row_run, its index) for the one series of a run, or for each
/// realization of an ensemble in turn, its seed in row_run.seed; returns the
/// moments of the last.
moments for_each_row(const run_words& run, const std::function<moments(const run_words&, std::int64_t)>& row) {
  if (run.seeds.empty()) return row(run, 0);
  run_words row_run = run;
  moments made;
  for (std::size_t k = 0; k < run.seeds.size(); ++k) {
    row_run.seed = run.seeds[k];
    made = row(row_run, static_cast<std::int64_t>(k));
  }
  return made;
}

/// A file of the final name's folder that becomes the final file when
/// committed, and is removed otherwise.
class pending_file {
 public:
  pending_file(const std::string& final_path, bool overwrite, const std::function<void(const char*)>& named)
      : final_(final_path), overwrite_(overwrite), named_(named) {
    static std::atomic<unsigned> made{0};
    const std::size_t slash = final_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : final_path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? final_path : final_path.substr(slash + 1);
    temporary_ = folder + "." + base + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(made++);
    if (named_) named_(temporary_.c_str());
  }
  ~pending_file() {
    if (!committed_) unlink(temporary_.c_str());
    if (named_) named_("");
  }
  pending_file(const pending_file&) = delete;
  pending_file& operator=(const pending_file&) = delete;

  const std::string& temporary() const { return temporary_; }

  /// Gives the complete file its final name; an existing file is replaced
  /// only when the run may overwrite it (one made meanwhile is not).
  void commit() {
    if (overwrite_) {
      if (rename(temporary_.c_str(), final_.c_str()) != 0) fail(errno);
    } else if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno != EINVAL && errno != ENOSYS) fail(errno);
      // A file system that cannot rename without replacing: a link cannot replace either.
      if (link(temporary_.c_str(), final_.c_str()) != 0) fail(errno);
      unlink(temporary_.c_str());
    }
    committed_ = true;
  }

 private:
  [[noreturn]] void fail(int error) {
    throw results_file_error("cannot rename the complete file to " + quoted(final_) + ": " + std::strerror(error));
  }
  std::string final_, temporary_;
  bool overwrite_;
  bool committed_ = false;
  std::function<void(const char*)> named_;
};

}  // namespace

std::optional<std::string> output_refusal(const std::string& path, bool overwrite) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return std::nullopt;
  if (!S_ISREG(file.st_mode))
    return quoted(path) + " is not a regular file; the results file is written only to a file";
  if (!overwrite) return quoted(path) + " exists; give --force (overwrite=True) to replace it";
  return std::nullopt;
}

moments write_results_file(const file_request& request) {
  const run_words& run = request.run;
  const std::string& path = *run.output_path;
  if (const auto refused = output_refusal(path, request.overwrite)) throw results_file_error(*refused);
  const format_row& format = format_of(run.format);
  dataset_layout layout;
  layout.rows = static_cast<std::int64_t>(run.seeds.size());
  layout.length = run.count();
  layout.chunk = chunk_values(layout.length);
  layout.format = run.format;
  layout.weights = run.with_weights;
  layout.deflate = request.deflate;

  pending_file pending(path, request.overwrite, request.temporary_named);
  std::unique_ptr<hdf5_writer> writer;
  try {
    writer = std::make_unique<hdf5_writer>(pending.temporary(), layout);
  } catch (const results_file_error& error) {
    throw results_file_error(std::string(error.what()) + " " + quoted(pending.temporary()) + ": " +
                             std::strerror(errno != 0 ? errno : EIO));
  }
  sha256 x_sum, w_sum;
  const moments made = for_each_row(run, [&](const run_words& row_run, std::int64_t row) {
    const auto take = [&](std::int64_t first, std::int64_t count, const char* x, const char* w) {
      const std::size_t bytes = static_cast<std::size_t>(count) * format.value_bytes;
      writer->write(dataset_name::x, row, first, count, x);
      x_sum.add(x, bytes);
      if (run.with_weights) {
        writer->write(dataset_name::w, row, first, count, w);
        w_sum.add(w, bytes);
      }
    };
    return make_encoded_windows(row_run, request.threads, run.with_weights, request.between_chunks, request.progress,
                                take);
  });
  dataset_checksums checksums{x_sum.hex_digest(), std::nullopt};
  if (run.with_weights) checksums.w = w_sum.hex_digest();
  writer->finish(file_attributes(run, utc_time_now(), checksums));
  writer.reset();
  pending.commit();
  return made;
}

namespace {

verification refusal(const std::string& why) {
  return {verification::refused, "it is not a results file of cascade: " + why};
}

/// The run an open file describes, its format and weights read from its
/// datasets, or why it is none of ours.
std::optional<verification> described_file(const hdf5_reader& reader, described_run& described) {
  described = run_described_by(reader.root_attributes());
  if (!described.refusal.empty()) return refusal(described.refusal);
  run_words& run = described.run;
  const dataset_found x = reader.dataset(dataset_name::x);
  const dataset_found w = reader.dataset(dataset_name::w);
  if (!x.present) return refusal("it has no dataset x");
  for (const auto& [found, name] : {std::pair{&x, "x"}, std::pair{&w, "w"}}) {
    if (!found->present) continue;
    if (!found->little_endian_float64 && !found->little_endian_float32) {
      return refusal(std::string("its dataset ") + name + " is neither little-endian float64 nor float32");
    }
    if (!found->dimensions_of_layout || found->rows != static_cast<std::int64_t>(run.seeds.size()) ||
        found->length != run.count()) {
      return refusal(
          std::string("its dataset ") + name + " is not one value of t for each of the run's " +
          std::to_string(run.count()) +
          (run.seeds.empty() ? "" : " in each of its " + std::to_string(run.seeds.size()) + " realizations"));
    }
  }
  if (w.present && w.little_endian_float32 != x.little_endian_float32)
    return refusal("its datasets x and w differ in type");
  if (w.present != described.checksums.w.has_value()) {
    return refusal("its w_sha256 attribute and its dataset w do not go together");
  }
  run.format = x.little_endian_float32 ? value_format::float32 : value_format::float64;
  run.with_weights = w.present;
  return std::nullopt;
}

/// Anything but a regular file (a FIFO would wait for a writer) is none of ours.
std::optional<verification> not_a_regular_file(const std::string& path) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0)
    return verification{verification::refused, std::string("it cannot be read: ") + std::strerror(errno)};
  if (!S_ISREG(file.st_mode)) return refusal("it is not a regular file");
  return std::nullopt;
}

}  // namespace

verification inspect_results_file(const std::string& path) {
  if (auto refused = not_a_regular_file(path)) return *refused;
  try {
    const hdf5_reader reader(path);
    described_run described;
    if (auto refused = described_file(reader, described)) return *refused;
    return {verification::equal, ""};
  } catch (const results_file_error& error) {
    return refusal(error.what());
  }
}

verification verify_results_file(const std::string& path, unsigned threads,
                                 const std::function<void()>& between_chunks) {
  if (auto refused = not_a_regular_file(path)) return *refused;
  try {
    const hdf5_reader reader(path);
    described_run described;
    if (auto refused = described_file(reader, described)) return *refused;
    const run_words& run = described.run;

    const std::size_t value_bytes = format_of(run.format).value_bytes;
    std::vector<char> stored;
    sha256 x_sum, w_sum;
    std::optional<std::string> first_difference;  // "x[i]", or "x[row, i]" in an ensemble
    for_each_row(run, [&](const run_words& row_run, std::int64_t row) {
      const auto compare = [&](dataset_name dataset, std::int64_t first, std::int64_t count, const char* made,
                               sha256& sum) {
        stored.resize(static_cast<std::size_t>(count) * value_bytes);
        reader.read(dataset, row, first, count, value_bytes, stored.data());
        sum.add(stored.data(), stored.size());
        if (first_difference || std::memcmp(stored.data(), made, stored.size()) == 0) return;
        std::int64_t i = 0;
        while (std::memcmp(stored.data() + i * value_bytes, made + i * value_bytes, value_bytes) == 0) ++i;
        first_difference = std::string(dataset == dataset_name::x ? "x[" : "w[") +
                           (run.seeds.empty() ? "" : std::to_string(row) + ", ") + std::to_string(first + i) + "]";
      };
      return make_encoded_windows(row_run, threads, run.with_weights, between_chunks, {},
                                  [&](std::int64_t first, std::int64_t count, const char* made_x, const char* made_w) {
                                    compare(dataset_name::x, first, count, made_x, x_sum);
                                    if (run.with_weights) compare(dataset_name::w, first, count, made_w, w_sum);
                                  });
    });
    if (x_sum.hex_digest() != described.checksums.x)
      return refusal("its x_sha256 attribute is not the checksum of its x (altered or damaged)");
    if (run.with_weights && w_sum.hex_digest() != *described.checksums.w) {
      return refusal("its w_sha256 attribute is not the checksum of its w (altered or damaged)");
    }
    if (first_difference) {
      return {verification::differs, *first_difference + " is not the value its run makes (the first that differs)"};
    }
    return {verification::equal, ""};
  } catch (const results_file_error& error) {
    return refusal(error.what());
  }
}

}  // namespace cascade
