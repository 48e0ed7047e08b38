// cascade.hpp: the cascade series for C++ programs.
//
// Fills a buffer of yours with exactly the doubles that
// `cascade --binary --seed T lambda step_number n0` writes (or the floats
// of `--float32`), and on request
// with the cascade's final weights before the Gaussian modulation (x = w * g).
// The same code as the program makes them; a given seed always gives the
// same bits. Calls from several threads at once are safe: each call has its
// own generator state.
//
//   find_package(cascade REQUIRED)
//   target_link_libraries(app PRIVATE cascade::cascade)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace cascade {

/// The random stream of a run, as `--generator NAME`: the subtractive
/// stream (the default, the program's long-standing bytes) or the
/// counter-based philox stream (every value computable alone, any number of
/// threads, N up to 2^48, the same bits on every machine). A number cast to
/// random_stream that names neither is refused by every call that takes
/// one, with std::invalid_argument ("generator must be subtractive or
/// philox, got 7").
enum class random_stream { subtractive, philox };

/// One run: the program's three numbers, its stream and its seed.
struct run_request {
  double lambda = 0.0;            ///< finite, its square finite; only its square matters
  std::int64_t step_number = 1;   ///< at least 1
  std::int64_t n0 = 1;            ///< at least 1; n0 * 2^step_number at most the stream's largest N
  /// As `--seed T`: subtractive, a Unix second from 0 to 2147483647;
  /// philox, the stream's key, any 64-bit value.
  std::uint64_t seed = 0;
  random_stream generator = random_stream::subtractive;
  unsigned threads = 0;           ///< threads to use; 0: the stream's default (subtractive: 2,
                                  ///< philox: every CPU); at most the stream's most
  /// The factors' law, as `--law`: "lognormal" (the default) or another
  /// law of laws(), "NAME" or "NAME:PARAM"; philox takes any, the
  /// subtractive stream the lognormal alone.
  std::string law = "lognormal";
  /// The cascade's model, as `--model`: "dyadic" (the default; models()
  /// lists them).
  std::string model = "dyadic";
};

/// What a stream accepts: the one table that the program, this library and
/// the Python module all ask.
struct stream_limits {
  std::string name;               ///< as `--generator NAME`
  std::uint64_t max_seed;         ///< seeds are 0 .. max_seed
  std::int64_t max_value_count;   ///< the largest N
  std::int64_t max_step_number;
  std::int64_t max_threads;       ///< threads are 1 .. max_threads
  bool makes_pieces;              ///< whether fill_series_range takes it
};

/// Throws std::invalid_argument for a generator that is no stream.
stream_limits limits_of(random_stream generator);

/// A law of the factors as its name and parameter (0 for a law that takes none).
struct law_choice {
  std::string name;
  double parameter;
};

/// The law that `text` names ("binomial", "logpoisson:0.5"), by the one
/// table every face asks. Throws std::invalid_argument with the message the
/// program gives (its argument called `law`).
law_choice law_named(const std::string& text);

/// One multiplier law of the core's table, as every face reads it: its
/// name, whether it takes a parameter (`NAME:PARAM`), the parameter taken
/// when none is given, and what the parameter must be. The texts live as
/// long as the program.
struct law_description {
  std::string_view name;
  bool has_parameter;
  double default_parameter;      ///< 0 for a law that takes none
  std::string_view parameter_rule;  ///< "" for a law that takes none
};

/// Every law the philox stream draws, in the table's order (the default first).
std::vector<law_description> laws();

/// One cascade model of the core's table, as every face reads it: its name
/// and what it is in a few words. The texts live as long as the program.
struct model_description {
  std::string_view name;
  std::string_view summary;
};

/// Every model, in the table's order (the default first).
std::vector<model_description> models();

/// One output format of the core's table, as every face reads it: its
/// name, the program's option ("" for the default, text), bytes a value (0
/// for text lines) and the numpy array type of its bytes ("<f4"; "" for
/// text). The texts live as long as the program.
struct format_description {
  std::string_view name;
  std::string_view option;
  std::size_t value_bytes;
  std::string_view dtype;
  bool binary;  ///< raw bytes, which the program never writes to a terminal
};

/// Every output format, in the table's order (text, the default, first).
std::vector<format_description> formats();

/// The stream called `name`. Throws std::invalid_argument naming the
/// streams and showing `shown` (the name as the caller wrote it).
random_stream stream_named(const std::string& name, const std::string& shown);

/// Throws std::invalid_argument, with the stream's rule, unless a run of
/// `generator` may use `threads` threads; the message shows `shown`.
void check_threads(std::int64_t threads, random_stream generator, const std::string& shown);

/// Throws std::invalid_argument: `shown` is not a seed (not a whole number
/// from 0 to the stream's largest), with the stream's rule.
[[noreturn]] void refuse_seed(random_stream generator, const std::string& shown);

/// Throws std::invalid_argument when `request` breaks a rule, or the
/// environment sets CASCADE_SCALAR_MATH or CASCADE_VECTOR_LANES to a value
/// they do not take; the message is the program's, without its "cascade: "
/// prefix, e.g. "n0 must be a whole number of at least 1, got 0".
void check_request(const run_request& request);

/// N = n0 * 2^step_number, the number of values of a valid request. Throws
/// std::invalid_argument as check_request does for one that is not: it
/// has no N.
std::int64_t series_length(const run_request& request);

/// The seed second of a run started now, as the program seeds without
/// `--seed`: the Unix time, a clock past 2^31 - 1 folded into range.
std::int64_t clock_seed_second();

/// Throws std::invalid_argument, as fill_series_range would, unless values
/// start .. stop - 1 are a piece of the request's series that its stream
/// makes alone (0 <= start < stop <= N): an empty piece, which
/// fill_series_range takes, holds no value to make and is refused here.
/// The message shows `shown` when given.
void check_range(const run_request& request, std::int64_t start, std::int64_t stop, const std::string& shown = "");

/// Fills values[0, N) with the series of `request`, and weights[0, N), unless
/// null, with its final weights before modulation; `values` must not be
/// null. The subtractive stream
/// uses the calling thread and, for N of at least 2^15 (and threads not 1),
/// one more; philox uses `request.threads`.
///
/// `between_chunks`, when set, is called on the calling thread every few
/// milliseconds; an exception from it stops the work and propagates (the
/// buffers then hold no complete series). Measured for N = 2^24 on one
/// thread and two, on two busy cores (bench/between_chunks_intervals): the
/// subtractive stream calls it every 0.1 to 0.3 ms (median); philox every
/// 10 to 12 ms for doubles (median; sooner with more threads) and every
/// 3 ms for floats; the longest wait, the first call's included, was 15 to
/// 26 ms for either stream. Throws std::invalid_argument as check_request
/// does, and for a null `values` ("values must not be null") before any
/// value is made; std::bad_alloc when working memory cannot be had.
void fill_series(const run_request& request, double* values, double* weights = nullptr,
                 const std::function<void()>& between_chunks = {});

/// The same series as binary32, each value (and weight) rounded to the
/// nearest float: half the memory of doubles. The subtractive stream still
/// makes its N doubles first (its steps work in place), and frees them.
void fill_series(const run_request& request, float* values, float* weights = nullptr,
                 const std::function<void()>& between_chunks = {});

/// Fills values[0, stop - start) with values start .. stop - 1 of the
/// series of a philox `request` (and weights[0, stop - start), unless
/// null): the very bits they have in the whole series, made alone, on
/// `request.threads` threads. Throws std::invalid_argument for a subtractive
/// request (its values cannot be made without every one before them, so
/// even an empty piece of it is refused) or unless 0 <= start <= stop <= N,
/// and as fill_series does otherwise. An empty piece (start == stop), as a
/// loop over chunks meets, writes nothing and calls no between_chunks;
/// `values` may then be null.
void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, double* values,
                       double* weights = nullptr, const std::function<void()>& between_chunks = {});

/// The same piece as binary32, each value rounded to the nearest float.
void fill_series_range(const run_request& request, std::int64_t start, std::int64_t stop, float* values,
                       float* weights = nullptr, const std::function<void()>& between_chunks = {});

/// Fills row k of values[0, count * N) (and of weights, unless null) with
/// the series of `request` seeded with seeds[k], for k in [0, count): each
/// row the very values fill_series gives for that seed. The rows are shared
/// among `request.threads` threads (0: the stream's default), whole rows to
/// a thread; request.seed is not used. `between_chunks` is called on the
/// calling thread as fill_series calls it; an exception from it stops the
/// work once the other threads' rows in hand are made (the buffers then
/// hold no complete ensemble). Throws std::invalid_argument as check_request
/// does, for null `seeds` or `values` when count > 0, and for a seed the
/// stream refuses (the message names seeds[k]).
void fill_ensemble(const run_request& request, const std::uint64_t* seeds, std::size_t count, double* values,
                   double* weights = nullptr, const std::function<void()>& between_chunks = {});

/// The same ensemble as binary32, each value (and weight) rounded to the
/// nearest float, as fill_series(float*) rounds a row.
void fill_ensemble(const run_request& request, const std::uint64_t* seeds, std::size_t count, float* values,
                   float* weights = nullptr, const std::function<void()>& between_chunks = {});

/// Whether this build writes and checks results files (it was built with
/// HDF5's C library); without, save_results and verify_results throw
/// std::runtime_error saying so.
bool results_files_built();

/// How a run goes into a results file.
struct results_options {
  bool weights = false;    ///< keep the weights w beside the values x
  bool float32 = false;    ///< x (and w) as float32, each rounded to the nearest; float64 otherwise
  bool overwrite = false;  ///< replace an existing file of that name
  bool deflate = false;    ///< shuffle and deflate each chunk (HDF5's standard filters): smaller, slower
  /// Values start .. stop - 1 alone (philox), when has_range.
  bool has_range = false;
  std::int64_t start = 0, stop = 0;
  /// An ensemble: one realization of each seed a row (x and w of shape (K, N), request.seed unused); no piece.
  std::vector<std::uint64_t> seeds;
};

/// Writes the run into `path` exactly as `cascade --output FILE` does (the
/// same bytes in x and w, the same attributes but the time): one HDF5 file
/// laid out as netCDF-4, made window by window in bounded memory, written
/// under a temporary name in its folder and renamed when complete. Throws
/// std::invalid_argument as check_request and check_range do, and when
/// `path` exists (unless options.overwrite) or is not a regular file;
/// std::runtime_error (one line) when the file cannot be written;
/// std::bad_alloc; and whatever between_chunks throws. When it throws no
/// file of that name is made and no temporary is left.
void save_results(const run_request& request, const std::string& path, const results_options& options,
                  const std::function<void()>& between_chunks = {});

/// A results file checked against the run it describes.
struct results_check {
  int status;           ///< 0 every value equal; 1 one differs; 2 not a results file of cascade, or unreadable
  std::string message;  ///< one line for 1 and 2: the first index that differs, or why the file is refused
};

/// Makes the run `path` describes again on `threads` threads (0: every CPU,
/// at most what its stream takes) and compares every value and weight bit
/// for bit, as `cascade --verify FILE` does.
results_check verify_results(const std::string& path, unsigned threads = 0,
                             const std::function<void()>& between_chunks = {});

/// The same checks of the attributes and datasets of `path`, reading no
/// value: status 0 when it is a results file of cascade, else 2 and why.
results_check inspect_results(const std::string& path);

/// One root attribute of a results file: text, a double, or a whole number.
struct results_attribute {
  std::string name;
  std::variant<std::string, double, std::int64_t, std::uint64_t, std::vector<std::uint64_t>> value;
};

/// The root attributes a results file of this run has, written now (the
/// history's time), with the checksums given (`w_sha256` empty: no weights):
/// what another store of the same layout (a zarr store) carries too. Throws
/// std::invalid_argument as save_results does for the run.
std::vector<results_attribute> results_attributes(const run_request& request, const std::string& path,
                                                  const results_options& options, const std::string& x_sha256,
                                                  const std::string& w_sha256 = "");

/// "" when the attributes describe a run of ours, else why not (one line).
std::string results_attributes_refusal(const std::vector<results_attribute>& attributes);

/// The program's summary of a series.
struct run_summary {
  std::int64_t count;
  double mean;
  double sd;         ///< population standard deviation (divisor count)
  std::string line;  ///< "N = 12, mean = 0.381839, SD = 0.660127", no newline
};

/// The summary of values[0, count) with the program's order of summation, so
/// the same bits: the sum in index order from 0.0, then the squared
/// deviations from the mean, in index order. No values (count 0, `values`
/// then may be null) give "N = 0, mean = 0.000000, SD = 0.000000". Throws
/// std::invalid_argument for a count below 0, or null `values` with count > 0.
run_summary summarize_series(const double* values, std::int64_t count);

}  // namespace cascade
