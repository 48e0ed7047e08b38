// The public C++ interface over the core: the rules of a run, and its
// values through the stream's source.
#include "cascade/cascade.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>

#include "cascade/ensemble_sharing.h"
#include "cascade/file_attributes.h"
#include "cascade/laws.h"
#include "cascade/models.h"
#include "cascade/population.h"
#include "cascade/quoted.h"
#if CASCADE_HAVE_HDF5
#include "cascade/hdf5_file.h"
#include "cascade/results_file.h"
#endif
#include "cascade/run_rules.h"
#include "cascade/seed.h"
#include "cascade/series_source.h"
#include "cascade/shape.h"
#include "cascade/shortest_decimal.h"
#include "cascade/summary.h"
#include "cascade/summary_line.h"
#include "cascade/thread_team.h"
#include "cascade/value_encoding.h"

namespace cascade {

namespace {

static_assert(static_cast<int>(random_stream::subtractive) == static_cast<int>(stream::subtractive) &&
                  static_cast<int>(random_stream::philox) == static_cast<int>(stream::philox),
              "the public streams are the table's, in its order");

/// The core's stream, or std::invalid_argument for a number cast to a
/// random_stream that names none (the table's rules would answer for it
/// with the default stream's).
stream stream_of(random_stream generator) {
  const auto from = static_cast<stream>(generator);
  if (!in_stream_table(from)) {
    throw std::invalid_argument(
        refusal_message(refused_argument::generator, default_stream,
                        std::to_string(static_cast<std::underlying_type_t<random_stream>>(generator))));
  }
  return from;
}

/// A caller's buffer that values are to be written to, or read from.
void require_buffer(const void* buffer, const char* name) {
  if (buffer == nullptr) throw std::invalid_argument(std::string(name) + " must not be null");
}

/// N of a checked request: n0 and step_number are then within the stream's
/// largest N, so the shift cannot overflow.
std::int64_t length_of_checked(const run_request& request) { return request.n0 << request.step_number; }

/// Blocks a window of the library's: enough for every thread to stay busy,
/// few enough that between_chunks runs every few milliseconds.
constexpr std::size_t window_blocks = 32;
/// Blocks a window of scratch for each thread (at least eight): rounded to
/// floats as they are made, a small window's doubles are still in the cache.
constexpr std::size_t scratch_blocks_a_thread = 4;

std::size_t scratch_window_blocks(unsigned threads) {
  return std::clamp<std::size_t>(scratch_blocks_a_thread * threads, 8, window_blocks);
}

[[noreturn]] void refuse(refused_argument argument, random_stream generator, const std::string& shown,
                         std::int64_t count = 0) {
  throw std::invalid_argument(refusal_message(argument, stream_of(generator), shown, spelling::call, count));
}

/// The law a request names (checked by check_request).
multiplier_law law_of(const run_request& request) {
  std::string refusal;
  const auto law = parse_law(request.law, "law", refusal);
  if (!law) throw std::invalid_argument(refusal);
  return *law;
}

/// The model a request names (checked by check_request).
const model_descriptor& model_of(const run_request& request) {
  std::string refusal;
  const model_descriptor* model = parse_model(request.model, "model", refusal);
  if (model == nullptr) throw std::invalid_argument(refusal);
  return *model;
}

/// The source of a checked request: the whole series, or [start, stop).
source_request source_for(const run_request& request, std::optional<std::pair<std::int64_t, std::int64_t>> range,
                          bool weights) {
  const stream from = stream_of(request.generator);
  source_request source;
  source.from = from;
  source.shape = cascade_shape::of(request.lambda, static_cast<std::int32_t>(request.step_number),
                                   static_cast<std::int32_t>(request.n0));
  source.seed = request.seed;
  source.law = law_of(request);
  source.model = &model_of(request);
  source.range = range;
  const std::int64_t threads = request.threads != 0 ? request.threads : rules_of(from).default_threads;
  source.threads = threads != 0 ? static_cast<unsigned>(threads) : available_cpus();
  source.weights = weights;
  source.summarize = false;  // no summary is printed here: its pass is skipped
  return source;
}

/// Makes the source's values: a whole series where its stream makes it at
/// once, else window by window at `values` and `weights` (the caller's
/// buffers at the piece's start, or one window of scratch), each block
/// passed to `hook` (unless empty) on the thread that made it.
void make_values(series_source& source, unsigned threads, std::size_t blocks,
                 const std::function<std::pair<double*, double*>(std::size_t)>& place, const block_hook& hook,
                 const std::function<void()>& between_chunks) {
  source.prepare();
  if (!source.makes_into_window() && !hook) return;
  thread_team team(helpers_for(threads, blocks));
  for_each_window(source, team, blocks, place, hook, [&](const series_window&) {
    if (between_chunks) between_chunks();
  });
}

/// Doubles made into the caller's buffers, from values and weights on.
void make_doubles(const run_request& request, std::optional<std::pair<std::int64_t, std::int64_t>> range,
                  double* values, double* weights, const std::function<void()>& between_chunks) {
  source_request wanted = source_for(request, range, weights != nullptr);
  wanted.whole_values = values;
  wanted.whole_weights = weights;
  wanted.between_chunks = between_chunks;
  const auto source = make_series_source(wanted);
  if (source->makes_into_window()) {
    // A caller's fresh buffer (a new numpy array) gains from huge pages as
    // much as the run's own memory.
    const auto bytes = static_cast<std::size_t>(source->size()) * sizeof(double);
    prefer_huge_pages(values, bytes);
    if (weights != nullptr) prefer_huge_pages(weights, bytes);
  }
  const std::int64_t window_values = static_cast<std::int64_t>(window_blocks) * block_values;
  make_values(*source, wanted.threads, window_blocks, [&](std::size_t window) {
    const std::int64_t offset = static_cast<std::int64_t>(window) * window_values;
    return std::pair{values + offset, weights != nullptr ? weights + offset : nullptr};
  }, {}, between_chunks);
}

/// Floats: each block made as doubles (into one window of scratch, or the
/// source's own whole series) and rounded into the caller's buffers.
void make_floats(const run_request& request, std::optional<std::pair<std::int64_t, std::int64_t>> range,
                 float* values, float* weights, const std::function<void()>& between_chunks) {
  source_request wanted = source_for(request, range, weights != nullptr);
  wanted.between_chunks = between_chunks;
  const auto source = make_series_source(wanted);
  std::unique_ptr<double[]> scratch_values, scratch_weights;
  const std::size_t blocks = scratch_window_blocks(wanted.threads);
  if (source->makes_into_window()) {
    // One window is made at a time, and rounded as it is made.
    const std::size_t room = window_room(*source, blocks);
    scratch_values.reset(new double[room]);
    if (weights != nullptr) scratch_weights.reset(new double[room]);
  }
  const block_hook round = [&](const made_block& block) {
    round_to_float32(block.values, block.count, values + block.first);
    if (weights != nullptr) round_to_float32(block.weights, block.count, weights + block.first);
  };
  make_values(*source, wanted.threads, blocks, [&](std::size_t) {
    return std::pair{scratch_values.get(), scratch_weights.get()};
  }, round, between_chunks);
}

/// Checks a request and its piece as fill_series_range takes them, and
/// whether the piece holds any value. An empty piece (start == stop within
/// 0 .. N) of a stream that makes pieces is taken, as a loop over chunks
/// meets one; any other is checked by check_range, which refuses an empty
/// one, and every piece of a stream that makes none.
bool checked_piece_holds_values(const run_request& request, std::int64_t start, std::int64_t stop) {
  check_request(request);
  const bool empty = start == stop && start >= 0 && start <= length_of_checked(request) &&
                     rules_of(stream_of(request.generator)).makes_pieces;
  if (!empty) check_range(request, start, stop);
  return !empty;
}

}  // namespace

void check_request(const run_request& request) {
  const stream from = stream_of(request.generator);
  if (const auto refused = check_run_numbers(request.lambda, request.step_number, request.n0, from)) {
    std::string shown;
    switch (*refused) {
      case refused_argument::lambda:
      case refused_argument::lambda_too_large:
        shown = shortest_decimal(request.lambda);
        break;
      case refused_argument::step_number:
        shown = std::to_string(request.step_number);
        break;
      case refused_argument::n0:
        shown = std::to_string(request.n0);
        break;
      default:
        shown = value_count_shown(std::to_string(request.n0), std::to_string(request.step_number));
        break;
    }
    refuse(*refused, request.generator, shown);
  }
  if (const auto refused = environment_refusal()) throw std::invalid_argument(*refused);
  if (!seed_allowed(request.seed, from)) refuse_seed(request.generator, std::to_string(request.seed));
  if (request.threads != 0) check_threads(request.threads, request.generator, std::to_string(request.threads));
  const multiplier_law law = law_of(request);
  const double sigma = step_sigma(request.lambda, static_cast<std::int32_t>(request.step_number));
  if (const auto refused = check_law(law, sigma, from)) {
    if (*refused == refused_argument::law_spread) {
      throw std::invalid_argument(law_spread_message(law, request.lambda, request.step_number));
    }
    refuse(*refused, request.generator, request.law);
  }
  if (const model_descriptor& model = model_of(request); !model_takes(model, law, from)) {
    throw std::invalid_argument(model_unmade_message(model, law, from, spelling::call));
  }
}

stream_limits limits_of(random_stream generator) {
  const stream_rules& rules = rules_of(stream_of(generator));
  return {std::string(rules.name), rules.max_seed,       rules.max_value_count, rules.max_step_number(),
          rules.max_threads,       rules.makes_pieces};
}

law_choice law_named(const std::string& text) {
  std::string refusal;
  const auto law = parse_law(text, "law", refusal);
  if (!law) throw std::invalid_argument(refusal);
  return {std::string(law->descriptor->name), law->parameter};
}

std::vector<law_description> laws() {
  std::vector<law_description> described;
  for (const law_descriptor* const law : law_table) {
    described.push_back({law->name, law->has_parameter, law->default_parameter, law->parameter_rule});
  }
  return described;
}

std::vector<model_description> models() {
  std::vector<model_description> described;
  for (const model_descriptor* const model : model_table) described.push_back({model->name, model->summary});
  return described;
}

std::vector<format_description> formats() {
  std::vector<format_description> described;
  for (const format_row& row : output_formats()) {
    described.push_back({row.name, row.option, row.value_bytes, row.dtype, row.binary()});
  }
  return described;
}

random_stream stream_named(const std::string& name, const std::string& shown) {
  const auto named = cascade::stream_named(name);
  if (!named) throw std::invalid_argument("generator must be " + stream_names("'") + ", got " + shown);
  return static_cast<random_stream>(*named);
}

void check_threads(std::int64_t threads, random_stream generator, const std::string& shown) {
  if (!threads_allowed(threads, stream_of(generator))) refuse(refused_argument::threads, generator, shown);
}

void refuse_seed(random_stream generator, const std::string& shown) {
  refuse(refused_argument::seed, generator, shown);
}

void check_range(const run_request& request, std::int64_t start, std::int64_t stop, const std::string& shown) {
  const std::int64_t count = series_length(request);
  if (const auto refused = cascade::check_range(start, stop, count, stream_of(request.generator))) {
    refuse(*refused, request.generator,
           shown.empty() ? std::to_string(start) + " and " + std::to_string(stop) : shown, count);
  }
}

std::int64_t series_length(const run_request& request) {
  check_request(request);
  return length_of_checked(request);
}

std::int64_t clock_seed_second() { return seed_second_now(); }

void fill_series(const run_request& request, double* values, double* weights,
                 const std::function<void()>& between_chunks) {
  check_request(request);
  require_buffer(values, "values");
  make_doubles(request, std::nullopt, values, weights, between_chunks);
}

void fill_series(const run_request& request, float* values, float* weights,
                 const std::function<void()>& between_chunks) {
  check_request(request);
  require_buffer(values, "values");
  make_floats(request, std::nullopt, values, weights, between_chunks);
}

/// Row k of values (and weights) as fill_series makes it for seeds[k], in
/// doubles or rounded to floats.
template <typename T>
void make_ensemble(const run_request& request, const std::uint64_t* seeds, std::size_t count, T* values, T* weights,
                   const std::function<void()>& between_chunks) {
  check_request(request);
  if (count > 0) {
    require_buffer(seeds, "seeds");
    require_buffer(values, "values");
  }
  const stream from = stream_of(request.generator);
  for (std::size_t row = 0; row < count; ++row) {
    if (!seed_allowed(seeds[row], from)) {
      throw std::invalid_argument("seeds[" + std::to_string(row) + "]: " +
                                  refusal_message(refused_argument::seed, from, std::to_string(seeds[row]),
                                                  spelling::call));
    }
  }
  const std::int64_t length = length_of_checked(request);
  const std::int64_t threads = request.threads != 0 ? request.threads : rules_of(from).default_threads;
  const ensemble_sharing sharing = share_among_rows(count, threads != 0 ? static_cast<unsigned>(threads)
                                                                        : available_cpus());
  thread_team team(sharing.workers - 1);
  const std::function<void()> none;
  team.run(count, [&](std::size_t row, unsigned worker) {
    run_request one = request;
    one.seed = seeds[row];
    one.threads = sharing.threads_per_row;
    const std::int64_t offset = static_cast<std::int64_t>(row) * length;
    T* const row_weights = weights != nullptr ? weights + offset : nullptr;
    const std::function<void()>& polls = worker == team.helpers() ? between_chunks : none;
    if constexpr (std::is_same_v<T, float>) {
      make_floats(one, std::nullopt, values + offset, row_weights, polls);
    } else {
      make_doubles(one, std::nullopt, values + offset, row_weights, polls);
    }
  });
}

void fill_ensemble(const run_request& request, const std::uint64_t* seeds, std::size_t count, double* values,
                   double* weights, const std::function<void()>& between_chunks) {
  make_ensemble(request, seeds, count, values, weights, between_chunks);
}

void fill_ensemble(const run_request& request, const std::uint64_t* seeds, std::size_t count, float* values,
                   float* weights, const std::function<void()>& between_chunks) {
  make_ensemble(request, seeds, count, values, weights, between_chunks);
}

void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, double* values,
                       double* weights, const std::function<void()>& between_chunks) {
  if (!checked_piece_holds_values(request, start, stop)) return;
  require_buffer(values, "values");
  make_doubles(request, std::pair{start, stop}, values, weights, between_chunks);
}

void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, float* values,
                       float* weights, const std::function<void()>& between_chunks) {
  if (!checked_piece_holds_values(request, start, stop)) return;
  require_buffer(values, "values");
  make_floats(request, std::pair{start, stop}, values, weights, between_chunks);
}

run_summary summarize_series(const double* values, std::int64_t count) {
  if (count < 0) throw std::invalid_argument("count must be at least 0, got " + std::to_string(count));
  if (count > 0) require_buffer(values, "values");
  const series_summary summary = moments::of(values, count).summary();
  return {summary.count, summary.mean, summary.sd, summary_line(summary)};
}

bool results_files_built() { return CASCADE_HAVE_HDF5 != 0; }

namespace {

/// The run of a request as a results file names it, checked; `threads` the run's.
run_words results_run(const run_request& request, const std::string& path, const results_options& options,
                      unsigned& threads) {
  check_request(request);
  for (std::size_t k = 0; k < options.seeds.size(); ++k) {
    if (!seed_allowed(options.seeds[k], stream_of(request.generator))) {
      refuse_seed(request.generator, "seeds[" + std::to_string(k) + "] = " + std::to_string(options.seeds[k]));
    }
  }
  if (!options.seeds.empty() && options.has_range) {
    throw std::invalid_argument("start and stop are not taken with seeds: an ensemble's rows are whole series");
  }
  std::optional<std::pair<std::int64_t, std::int64_t>> range;
  if (options.has_range) {
    check_range(request, options.start, options.stop);
    range = {options.start, options.stop};
  }
  const source_request source = source_for(request, range, options.weights);
  run_words run;
  run.seed = request.seed;
  run.seeds = options.seeds;
  run.generator = source.from;
  run.law = source.law;
  run.model = source.model;
  run.range = range;
  run.format = options.float32 ? value_format::float32 : value_format::float64;
  run.output_path = path;
  run.with_weights = options.weights;
  run.lambda = request.lambda;
  run.step_number = static_cast<std::int32_t>(request.step_number);
  run.n0 = static_cast<std::int32_t>(request.n0);
  threads = source.threads;
  return run;
}

}  // namespace

std::vector<results_attribute> results_attributes(const run_request& request, const std::string& path,
                                                  const results_options& options, const std::string& x_sha256,
                                                  const std::string& w_sha256) {
  unsigned threads = 0;
  const run_words run = results_run(request, path, options, threads);
  dataset_checksums checksums{x_sha256, std::nullopt};
  if (!w_sha256.empty()) checksums.w = w_sha256;
  std::vector<results_attribute> attributes;
  for (const file_attribute& attribute : file_attributes(run, utc_time_now(), checksums)) {
    results_attribute& made = attributes.emplace_back();
    made.name = attribute.name;
    std::visit([&](const auto& value) { made.value = value; }, attribute.value);
  }
  return attributes;
}

std::string results_attributes_refusal(const std::vector<results_attribute>& attributes) {
  std::vector<file_attribute> read;
  for (const results_attribute& attribute : attributes) {
    file_attribute& made = read.emplace_back();
    made.name = attribute.name;
    std::visit([&](const auto& value) { made.value = value; }, attribute.value);
  }
  return run_described_by(read).refusal;
}

#if CASCADE_HAVE_HDF5

void save_results(const run_request& request, const std::string& path, const results_options& options,
                  const std::function<void()>& between_chunks) {
  unsigned threads = 0;
  file_request file;
  file.run = results_run(request, path, options, threads);
  if (const auto refused = output_refusal(path, options.overwrite)) throw std::invalid_argument(*refused);
  file.threads = threads;
  file.overwrite = options.overwrite;
  file.deflate = options.deflate;
  file.between_chunks = between_chunks;
  try {
    write_results_file(file);
  } catch (const results_file_error& error) {
    throw std::runtime_error("cannot write the results file " + quoted(path) + ": " + error.what());
  }
}

results_check verify_results(const std::string& path, unsigned threads, const std::function<void()>& between_chunks) {
  const verification checked = verify_results_file(path, threads != 0 ? threads : available_cpus(), between_chunks);
  return {checked.status, checked.message};
}

results_check inspect_results(const std::string& path) {
  const verification checked = inspect_results_file(path);
  return {checked.status, checked.message};
}

#else

namespace {
[[noreturn]] void no_results_files() {
  throw std::runtime_error("results files need HDF5, and this build of cascade has none");
}
}  // namespace

void save_results(const run_request&, const std::string&, const results_options&, const std::function<void()>&) {
  no_results_files();
}

results_check verify_results(const std::string&, unsigned, const std::function<void()>&) { no_results_files(); }

results_check inspect_results(const std::string&) { no_results_files(); }

#endif

}  // namespace cascade
