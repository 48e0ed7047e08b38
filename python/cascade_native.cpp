// cascade.cascade_native: the library's series and summary for Python.
//
// Only conversion lives here: Python arguments to numbers (TypeError for a
// wrong type; the library refuses bad values with std::invalid_argument,
// which becomes ValueError), numpy arrays to buffers, the GIL released while
// the values are made, and Ctrl-C noticed between chunks of work.
#include <Python.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <variant>
#include <string>
#include <utility>
#include <vector>

#include "cascade/cascade.hpp"
#include "statistics/checked_sums.h"

#ifndef CASCADE_VERSION
#error "CASCADE_VERSION must be defined by the build (the project's version)"
#endif

namespace py = pybind11;

namespace {

/// The seed of the calling thread's last completed generate call: a Unix
/// second (subtractive) or a 64-bit key (philox).
thread_local std::optional<std::uint64_t> last_seed_used;

/// How often a running call looks for a pending signal (Ctrl-C).
constexpr std::chrono::milliseconds signal_poll_interval{50};

std::string type_name(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

/// A truth value, which the command line never takes for a number: bool, or
/// numpy's bool (numpy.bool_, numpy.bool from numpy 2), by the names that
/// pybind11 itself goes by.
bool is_truth_value(py::handle value) {
  const std::string name = type_name(value);
  return PyBool_Check(value.ptr()) || name == "numpy.bool_" || name == "numpy.bool";
}

/// Arrays are refused where one number is asked for, even a one-element
/// array that numpy would turn into its number.
bool is_array(py::handle value) { return py::isinstance<py::array>(value); }

/// A whole number beyond 64 bits, kept with the limit it was clamped to so
/// that a refusal can show the number the caller gave.
struct clamped_number {
  std::string clamped;
  std::string given;
};

/// An int (or anything with __index__, such as numpy.int64), never a bool or
/// a float. Beyond 64 bits it is clamped: the limits refuse it either way.
std::int64_t whole_number(py::handle value, const char* name, std::vector<clamped_number>& clamped) {
  if (is_truth_value(value) || is_array(value) || PyFloat_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(std::string(name) + " must be an int, got " + type_name(value));
  }
  const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!number) throw py::error_already_set();
  int overflow = 0;
  const long long result = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
  if (overflow == 0) return result;
  const std::int64_t limit =
      overflow > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
  clamped.push_back({std::to_string(limit), py::repr(number).cast<std::string>()});
  return limit;
}

/// A real number: float, int or numpy scalar; never a bool, an array or a string.
double real_number(py::handle value, const char* name) {
  const bool numeric = PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) ||
                       (Py_TYPE(value.ptr())->tp_as_number != nullptr &&
                        Py_TYPE(value.ptr())->tp_as_number->nb_float != nullptr);
  if (is_truth_value(value) || is_array(value) || !numeric) {
    throw py::type_error(std::string(name) + " must be a float, got " + type_name(value));
  }
  const double result = PyFloat_AsDouble(value.ptr());
  if (result == -1.0 && PyErr_Occurred()) {
    // An int too large for a double: infinite, which the limits refuse.
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
    PyErr_Clear();
    return PyObject_RichCompareBool(value.ptr(), py::int_(0).ptr(), Py_LT) == 1
               ? -std::numeric_limits<double>::infinity()
               : std::numeric_limits<double>::infinity();
  }
  return result;
}

/// A word of the caller's (a str) as the library reads it: UTF-8, with what
/// has none (a lone surrogate) written as Python shows it, \ud800. No name
/// the library takes holds a backslash, so such a word is refused with the
/// library's message, showing it as the caller wrote it.
std::string word_of(py::handle text, const char* name) {
  if (!py::isinstance<py::str>(text)) throw py::type_error(std::string(name) + " must be a str, got " + type_name(text));
  const auto bytes = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "backslashreplace"));
  if (!bytes) throw py::error_already_set();
  return {PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))};
}

/// The stream a generator word names, by the library's table.
cascade::random_stream stream_named(py::handle generator) {
  return cascade::stream_named(word_of(generator, "generator"), py::repr(generator).cast<std::string>());
}

/// A seed: a whole number the stream's table then judges; one beyond 64
/// bits, or below 0, is refused with the stream's rule.
std::uint64_t seed_number(py::handle seed, cascade::random_stream generator) {
  std::vector<clamped_number> unused;
  whole_number(seed, "seed", unused);  // the type check
  const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(seed.ptr()));
  const unsigned long long value = PyLong_AsUnsignedLongLong(number.ptr());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    cascade::refuse_seed(generator, py::repr(number).cast<std::string>());
  }
  return value;
}

/// Runs `check`, turning the library's refusal into a ValueError that shows
/// the numbers as the caller gave them rather than as they were clamped.
template <typename Check>
void judged(const std::vector<clamped_number>& clamped, Check check) {
  try {
    check();
  } catch (const std::invalid_argument& refusal) {
    std::string message = refusal.what();
    for (const auto& number : clamped) {
      const auto at = message.find(number.clamped);
      if (at != std::string::npos) message.replace(at, number.clamped.size(), number.given);
    }
    throw py::value_error(message);
  }
}

/// The run a call asks for, checked by the library's rules; a refusal is a
/// ValueError with the program's message.
cascade::run_request checked_request(py::handle lam, py::handle step_number, py::handle n0, py::handle seed,
                                     py::handle generator, py::handle threads, py::handle law,
                                     py::handle model) {
  std::vector<clamped_number> clamped;
  cascade::run_request request;
  request.lambda = real_number(lam, "lambda");
  request.step_number = whole_number(step_number, "step_number", clamped);
  request.n0 = whole_number(n0, "n0", clamped);
  judged(clamped, [&] {
    request.generator = stream_named(generator);
    request.seed = seed.is_none() ? static_cast<std::uint64_t>(cascade::clock_seed_second())
                                  : seed_number(seed, request.generator);
    if (!law.is_none()) request.law = word_of(law, "law");
    if (!model.is_none()) request.model = word_of(model, "model");
    if (!threads.is_none()) {
      const std::int64_t count = whole_number(threads, "threads", clamped);
      cascade::check_threads(count, request.generator, py::repr(threads).cast<std::string>());
      request.threads = static_cast<unsigned>(count);
    }
    cascade::check_request(request);
  });
  return request;
}

/// `value` as a 1-D numpy array of float64 (or, when `float32_too`, of
/// float32), in either byte order.
py::array float_vector(py::handle value, const std::string& name, bool float32_too = false) {
  if (!py::isinstance<py::array>(value)) {
    throw py::type_error(name + " must be a numpy.ndarray of float64, got " + type_name(value));
  }
  const auto array = py::reinterpret_borrow<py::array>(value);
  const py::dtype dtype = array.dtype();
  if (dtype.kind() != 'f' || (dtype.itemsize() != 8 && !(float32_too && dtype.itemsize() == 4))) {
    throw py::type_error(name + " must have dtype float64" + (float32_too ? " or float32" : "") + ", got " +
                         std::string(py::str(py::handle(dtype))));
  }
  if (array.ndim() != 1) {
    throw py::value_error(name + " must be 1-D, got " + std::to_string(array.ndim()) + " dimensions");
  }
  return array;
}

/// The element type of a call's arrays: a row of the core's table of
/// formats whose array the library fills (float64, float32).
using element = cascade::format_description;

bool filled_by_library(const element& type) {
  return !type.dtype.empty() && (type.value_bytes == sizeof(double) || type.value_bytes == sizeof(float));
}

py::dtype dtype_of(const element& type) { return py::dtype(std::string(type.dtype)); }

/// The row whose dtype numpy reads `dtype` as; None is float64.
element element_named(py::handle dtype) {
  const std::vector<element> table = cascade::formats();
  std::string names;
  for (const element& type : table) {
    if (!filled_by_library(type)) continue;
    if (dtype.is_none() ? type.value_bytes == sizeof(double)
                        : dtype_of(type).equal(py::dtype::from_args(py::reinterpret_borrow<py::object>(dtype)))) {
      return type;
    }
    names += (names.empty() ? "numpy." : " or numpy.") + std::string(type.name);
  }
  const py::dtype wanted = py::dtype::from_args(py::reinterpret_borrow<py::object>(dtype));
  throw py::type_error("dtype must be " + names + ", got " + std::string(py::str(py::handle(wanted))));
}

std::string element_name(const element& type) { return std::string(type.name); }

/// Calls fill(T*) with the element type's C++ type: double or float.
template <typename Fill>
void with_element_type(const element& type, Fill fill) {
  if (type.value_bytes == sizeof(float)) {
    fill(static_cast<float*>(nullptr));
  } else {
    fill(static_cast<double*>(nullptr));
  }
}

/// `value` as the buffer of N values that `name` must be: a writable,
/// C-contiguous, 1-D numpy array of the call's dtype in native order.
py::array checked_buffer(py::handle value, std::int64_t count, const element& type, const std::string& name,
                         const std::string& count_name = "N = n0 * 2^step_number") {
  const std::string type_name_wanted = element_name(type);
  if (!py::isinstance<py::array>(value)) {
    throw py::type_error(name + " must be a numpy.ndarray of " + type_name_wanted + ", got " + type_name(value));
  }
  const py::array buffer = float_vector(value, name, true);
  if (!buffer.dtype().equal(dtype_of(type))) {
    throw py::type_error(name + " must have dtype " + type_name_wanted + ", got " +
                         std::string(py::str(py::handle(buffer.dtype()))));
  }
  if ((buffer.flags() & py::array::c_style) == 0) throw py::value_error(name + " must be C-contiguous");
  if (!buffer.writeable()) throw py::value_error(name + " must be writable");
  if (buffer.shape(0) != count) {
    throw py::value_error(name + " must hold " + count_name + " = " + std::to_string(count) + " values, got " +
                          std::to_string(buffer.shape(0)));
  }
  return buffer;
}

bool overlap(const py::array& a, const py::array& b) {
  const auto* a_begin = static_cast<const char*>(a.data());
  const auto* b_begin = static_cast<const char*>(b.data());
  return a_begin < b_begin + b.nbytes() && b_begin < a_begin + a.nbytes();
}

/// Called between chunks of work with the GIL released: every
/// signal_poll_interval it takes the GIL and raises a pending signal's
/// exception (Ctrl-C's KeyboardInterrupt).
struct signal_poll {
  std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
  void operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last < signal_poll_interval) return;
    last = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
};

/// Fills the buffers (of `T`, double or float) with the GIL released,
/// looking for a signal every signal_poll_interval; a pending one (Ctrl-C)
/// raises its exception here.
template <typename T>
void fill_without_gil(const cascade::run_request& request, std::optional<std::pair<std::int64_t, std::int64_t>> range,
                      T* values, T* weights) {
  const std::function<void()> poll_signals = signal_poll{};
  py::gil_scoped_release released;
  if (range) {
    cascade::fill_series_range(request, range->first, range->second, values, weights, poll_signals);
  } else {
    cascade::fill_series(request, values, weights, poll_signals);
  }
}

/// [start, stop) of a call, or nothing for the whole series, as the
/// library's rules take them.
std::optional<std::pair<std::int64_t, std::int64_t>> checked_range(const cascade::run_request& request,
                                                                   py::handle start, py::handle stop) {
  if (start.is_none() && stop.is_none()) return std::nullopt;
  std::vector<clamped_number> clamped;
  const std::int64_t count = cascade::series_length(request);
  const std::int64_t first = start.is_none() ? 0 : whole_number(start, "start", clamped);
  const std::int64_t last = stop.is_none() ? count : whole_number(stop, "stop", clamped);
  judged(clamped, [&] { cascade::check_range(request, first, last); });
  return std::pair{first, last};
}

/// The weights flag: True or False itself, nothing that merely converts to one.
bool weights_flag(py::handle value) {
  if (value.ptr() == Py_True) return true;
  if (value.ptr() == Py_False) return false;
  throw py::type_error("weights must be True or False, got " + type_name(value));
}

py::object generate(py::handle lam, py::handle step_number, py::handle n0, py::handle seed, py::handle weights_word,
                    py::handle out, py::handle generator, py::handle start, py::handle stop, py::handle threads,
                    py::handle dtype, py::handle law, py::handle model) {
  const cascade::run_request request = checked_request(lam, step_number, n0, seed, generator, threads, law, model);
  const bool with_weights = weights_flag(weights_word);
  const auto range = checked_range(request, start, stop);
  const element type = element_named(dtype);
  const std::int64_t count = range ? range->second - range->first : cascade::series_length(request);
  const std::string count_name = range ? "stop - start" : "N = n0 * 2^step_number";

  std::optional<py::array> values;
  std::optional<py::array> weights;
  if (out.is_none()) {
    values.emplace(dtype_of(type), count);
    if (with_weights) weights.emplace(dtype_of(type), count);
  } else if (with_weights) {
    if (!py::isinstance<py::tuple>(out) || py::len(out) != 2) {
      throw py::type_error("out must be a pair of arrays (x, w) when weights=True, got " + type_name(out));
    }
    const auto pair = py::reinterpret_borrow<py::tuple>(out);
    values = checked_buffer(pair[0], count, type, "out[0]", count_name);
    weights = checked_buffer(pair[1], count, type, "out[1]", count_name);
    if (overlap(*values, *weights)) throw py::value_error("out[0] and out[1] must not share memory");
  } else {
    if (py::isinstance<py::tuple>(out)) {
      throw py::type_error(std::string("out must be one numpy.ndarray of ") + element_name(type) + " when weights=False, got a tuple (a pair (x, w) needs weights=True)");
    }
    values = checked_buffer(out, count, type, "out", count_name);
  }

  with_element_type(type, [&](auto* tag) {
    using T = std::remove_pointer_t<decltype(tag)>;
    fill_without_gil(request, range, static_cast<T*>(values->mutable_data()),
                     weights ? static_cast<T*>(weights->mutable_data()) : nullptr);
  });
  last_seed_used = request.seed;
  if (weights) return py::make_tuple(*values, *weights);
  return *values;
}

/// How many seeds are converted between looks for a pending signal (Ctrl-C):
/// well under a millisecond of work, however slow the caller's iterable.
constexpr std::size_t seeds_between_signal_polls = 4096;

/// The number of seeds that `seeds` holds when it tells (len), found before
/// any seed is read so that the ensemble's size is judged first; nothing
/// for an iterable without a length. What cannot hold seeds at all (a str,
/// a number, a 0-d array) is refused here.
std::optional<std::size_t> seed_count(py::handle seeds) {
  const std::string refusal = "seeds must be a sequence of ints, got ";
  const bool iterable = Py_TYPE(seeds.ptr())->tp_iter != nullptr || PySequence_Check(seeds.ptr()) != 0;
  if (py::isinstance<py::str>(seeds) || py::isinstance<py::bytes>(seeds) || !iterable) {
    throw py::type_error(refusal + type_name(seeds));
  }
  if (is_array(seeds) && py::reinterpret_borrow<py::array>(seeds).ndim() == 0) {
    throw py::type_error(refusal + "a 0-d numpy.ndarray, " + py::repr(seeds).cast<std::string>());
  }
  if (!py::hasattr(seeds, "__len__")) return std::nullopt;
  const Py_ssize_t count = PyObject_Size(seeds.ptr());
  if (count >= 0) return static_cast<std::size_t>(count);
  if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();  // the caller's own __len__
  PyErr_Clear();
  throw py::value_error("seeds must number fewer than 2^63, got " + py::repr(seeds).cast<std::string>());
}

/// The seeds of an ensemble, each converted as generate's seed is, a
/// refusal naming its place: seeds[k]. An exception of the caller's
/// iterable itself goes on as it is; a pending signal (Ctrl-C) is raised
/// between steps of seeds_between_signal_polls.
std::vector<std::uint64_t> ensemble_seeds(py::handle seeds, std::optional<std::size_t> count,
                                          cascade::random_stream generator) {
  std::vector<std::uint64_t> result;
  if (count) result.reserve(*count);
  const auto items = py::reinterpret_steal<py::object>(PyObject_GetIter(seeds.ptr()));
  if (!items) throw py::error_already_set();
  for (std::size_t row = 0;; ++row) {
    if (row % seeds_between_signal_polls == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
    const auto seed = py::reinterpret_steal<py::object>(PyIter_Next(items.ptr()));
    if (!seed) {
      if (PyErr_Occurred() != nullptr) throw py::error_already_set();
      break;
    }
    try {
      result.push_back(seed_number(seed, generator));
    } catch (const py::type_error& refusal) {
      throw py::type_error("seeds[" + std::to_string(row) + "]: " + refusal.what());
    } catch (const std::invalid_argument& refusal) {
      throw py::value_error("seeds[" + std::to_string(row) + "]: " + refusal.what());
    }
  }
  if (count && result.size() != *count) {
    throw py::value_error("seeds must give len(seeds) = " + std::to_string(*count) + " seeds, gave " +
                          std::to_string(result.size()));
  }
  return result;
}

/// `out` as the (rows, count) buffer of an ensemble of the call's dtype: writable, C-contiguous, native order.
py::array ensemble_buffer(py::handle out, std::size_t rows, std::int64_t count, const element& type) {
  if (!py::isinstance<py::array>(out)) {
    throw py::type_error("out must be a numpy.ndarray of " + element_name(type) + ", got " + type_name(out));
  }
  const auto buffer = py::reinterpret_borrow<py::array>(out);
  if (!buffer.dtype().equal(dtype_of(type))) {
    throw py::type_error("out must have dtype " + element_name(type) + ", got " +
                         std::string(py::str(py::handle(buffer.dtype()))));
  }
  if (buffer.ndim() != 2 || static_cast<std::size_t>(buffer.shape(0)) != rows || buffer.shape(1) != count) {
    throw py::value_error("out must have the shape (len(seeds), N) = (" + std::to_string(rows) + ", " +
                          std::to_string(count) + "), got " + py::str(buffer.attr("shape")).cast<std::string>());
  }
  if ((buffer.flags() & py::array::c_style) == 0) throw py::value_error("out must be C-contiguous");
  if (!buffer.writeable()) throw py::value_error("out must be writable");
  return buffer;
}

/// The (rows, count) array an ensemble fills: `out`, checked, or a new one.
/// A size no array can have is refused here, and numpy refuses one that
/// memory cannot hold (MemoryError naming it), before any seed is read.
py::array ensemble_values(py::handle out, std::size_t rows, std::int64_t count, const element& type) {
  if (!out.is_none()) return ensemble_buffer(out, rows, count, type);
  const auto most_values = static_cast<std::size_t>(std::numeric_limits<py::ssize_t>::max()) / type.value_bytes;
  if (rows > most_values / static_cast<std::size_t>(count)) {
    throw py::value_error("len(seeds) * N must be at most " + std::to_string(most_values) +
                          " values (an array's most), got " + std::to_string(rows) + " * " + std::to_string(count));
  }
  return py::array(dtype_of(type), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows), count});
}

py::array generate_ensemble(py::handle lam, py::handle step_number, py::handle n0, py::handle seeds,
                            py::handle generator, py::handle threads, py::handle law, py::handle out,
                            py::handle dtype, py::handle model) {
  // Seed 0 stands for the rows' own, which every stream takes: the rest of the run is checked as generate checks it.
  const cascade::run_request request = checked_request(lam, step_number, n0, py::int_(0), generator, threads, law, model);
  const std::int64_t count = cascade::series_length(request);
  const element type = element_named(dtype);
  const std::optional<std::size_t> told = seed_count(seeds);
  std::optional<py::array> values;
  if (told) values = ensemble_values(out, *told, count, type);
  const std::vector<std::uint64_t> rows = ensemble_seeds(seeds, told, request.generator);
  if (!told) values = ensemble_values(out, rows.size(), count, type);
  const std::function<void()> poll_signals = signal_poll{};
  with_element_type(type, [&](auto* tag) {
    using T = std::remove_pointer_t<decltype(tag)>;
    py::gil_scoped_release released;
    cascade::fill_ensemble(request, rows.data(), rows.size(), static_cast<T*>(values->mutable_data()), nullptr,
                           poll_signals);
  });
  return *values;
}

/// Nothing, or the ValueError or TypeError that generate would raise for
/// these arguments, without making any value.
void check_run(py::handle lam, py::handle step_number, py::handle n0, py::handle seed, py::handle generator,
               py::handle law, py::handle model) {
  checked_request(lam, step_number, n0, seed, generator, py::none(), law, model);
}

py::tuple summary(py::handle x) {
  if (float_vector(x, "x").size() == 0) throw py::value_error("x must hold at least 1 value, got 0");
  // In native order and contiguous (a copy only when it is not already). The
  // constructor, unlike array_t::ensure, keeps numpy's own error, such as the
  // MemoryError of a copy that cannot be had.
  const py::array_t<double, py::array::c_style | py::array::forcecast> values(py::reinterpret_borrow<py::object>(x));
  cascade::run_summary result;
  {
    py::gil_scoped_release released;
    result = cascade::summarize_series(values.data(), values.size());
  }
  return py::make_tuple(result.count, result.mean, result.sd, result.line);
}

/// A (blocks, columns) array of per-block sums of x that `fill(values, count, sums)`
/// writes with the GIL released; std::invalid_argument from it becomes ValueError.
template <typename Fill>
py::array_t<double> per_block_sums(py::handle x, std::int64_t block_length, std::size_t columns, Fill fill) {
  if (float_vector(x, "x").size() == 0) throw py::value_error("x must hold at least 1 value, got 0");
  const py::array_t<double, py::array::c_style | py::array::forcecast> values(py::reinterpret_borrow<py::object>(x));
  const std::int64_t count = values.size();
  if (block_length < 1 || count % block_length != 0) {
    throw py::value_error("block_length must divide the " + std::to_string(count) + " values, got " +
                          std::to_string(block_length));
  }
  py::array_t<double> sums({static_cast<py::ssize_t>(count / block_length), static_cast<py::ssize_t>(columns)});
  double* out = sums.mutable_data();
  {
    py::gil_scoped_release released;
    fill(values.data(), count, out);
  }
  return sums;
}

/// The block sums of cascade::series_statistics for the statistics check
/// (cascade.stats), as a (blocks, 4 + 8 * len(lags)) array.
py::array_t<double> block_sums(py::handle x, std::int64_t block_length, const std::vector<std::int64_t>& lags,
                               unsigned threads) {
  return per_block_sums(x, block_length, 4 + 8 * lags.size(),
                        [&](const double* values, std::int64_t count, double* out) {
                          cascade::series_statistics(values, count, block_length, lags, out, threads);
                        });
}

/// The sums of cascade::energy_step_sums for the statistics check, as a
/// (blocks, 3 * len(box_lengths)) array.
py::array_t<double> energy_step_sums(py::handle x, std::int64_t block_length,
                                     const std::vector<std::int64_t>& box_lengths, unsigned threads) {
  return per_block_sums(x, block_length, 3 * box_lengths.size(),
                        [&](const double* values, std::int64_t count, double* out) {
                          cascade::energy_step_sums(values, count, block_length, box_lengths, out, threads);
                        });
}

/// (name, parameter) of the law `text` names, by the core's table; a
/// refusal is a ValueError with the program's message.
py::tuple parse_law(py::handle text) {
  const std::string word = word_of(text, "law");
  try {
    const cascade::law_choice law = cascade::law_named(word);
    return py::make_tuple(law.name, law.parameter);
  } catch (const std::invalid_argument& refusal) {
    throw py::value_error(refusal.what());
  }
}

/// The stream table's row for `generator`, as a dict: what every face asks.
py::dict limits(py::handle generator) {
  const cascade::stream_limits row = cascade::limits_of(stream_named(generator));
  py::dict result;
  result["name"] = row.name;
  result["max_seed"] = py::int_(row.max_seed);
  result["max_value_count"] = row.max_value_count;
  result["max_step_number"] = row.max_step_number;
  result["max_threads"] = row.max_threads;
  result["makes_pieces"] = row.makes_pieces;
  return result;
}

/// The core's table of models, by name in its order: {"summary": str}.
py::dict models() {
  py::dict table;
  for (const cascade::model_description& model : cascade::models()) {
    py::dict row;
    row["summary"] = std::string(model.summary);
    table[py::str(std::string(model.name))] = row;
  }
  return table;
}

/// The core's table of laws, by name in its order: {"parameter": bool,
/// "default": float or None, "rule": str}.
py::dict laws() {
  py::dict table;
  for (const cascade::law_description& law : cascade::laws()) {
    py::dict row;
    row["parameter"] = law.has_parameter;
    row["default"] = law.has_parameter ? py::object(py::float_(law.default_parameter)) : py::object(py::none());
    row["rule"] = std::string(law.parameter_rule);
    table[py::str(std::string(law.name))] = row;
  }
  return table;
}

py::object last_seed() {
  if (!last_seed_used) return py::none();
  return py::int_(*last_seed_used);
}

/// A path: str or bytes (os.fspath in the package has made it one).
std::string path_of(py::handle path) {
  if (py::isinstance<py::bytes>(path)) return path.cast<std::string>();
  return word_of(path, "path");
}

/// The run and the file options of a save call, checked.
std::pair<cascade::run_request, cascade::results_options> results_run(
    py::handle lam, py::handle step_number, py::handle n0, py::handle seed, py::handle generator, py::handle law,
    py::handle model, py::handle weights_word, py::handle dtype, py::handle start, py::handle stop,
    py::handle overwrite, py::handle deflate, py::handle threads) {
  const cascade::run_request request = checked_request(lam, step_number, n0, seed, generator, threads, law, model);
  cascade::results_options options;
  options.weights = weights_flag(weights_word);
  if (overwrite.ptr() != Py_True && overwrite.ptr() != Py_False) {
    throw py::type_error("overwrite must be True or False, got " + type_name(overwrite));
  }
  options.overwrite = overwrite.ptr() == Py_True;
  if (deflate.ptr() != Py_True && deflate.ptr() != Py_False) {
    throw py::type_error("deflate must be True or False, got " + type_name(deflate));
  }
  options.deflate = deflate.ptr() == Py_True;
  options.float32 = element_named(dtype).value_bytes == sizeof(float);
  if (const auto range = checked_range(request, start, stop)) {
    options.has_range = true;
    std::tie(options.start, options.stop) = *range;
  }
  return {request, options};
}

/// An ensemble's seeds (none for one series: `seeds` None), each one the stream takes.
std::vector<std::uint64_t> results_seeds(py::handle seed, py::handle seeds, cascade::random_stream generator) {
  std::vector<std::uint64_t> listed;
  if (seeds.is_none()) return listed;
  if (!seed.is_none()) throw py::value_error("give seed or seeds, not both");
  if (!py::isinstance<py::sequence>(seeds) || py::isinstance<py::str>(seeds)) {
    throw py::type_error("seeds must be a sequence of seeds, got " + type_name(seeds));
  }
  const auto sequence = py::reinterpret_borrow<py::sequence>(seeds);
  if (py::len(sequence) == 0) throw py::value_error("seeds must name at least one realization, got none");
  for (std::size_t k = 0; k < py::len(sequence); ++k) {
    judged({}, [&] { listed.push_back(seed_number(sequence[k], generator)); });
  }
  return listed;
}

void save(py::handle path, py::handle lam, py::handle step_number, py::handle n0, py::handle seed,
          py::handle seeds, py::handle generator, py::handle law, py::handle model, py::handle weights_word,
          py::handle dtype, py::handle start, py::handle stop, py::handle overwrite, py::handle deflate,
          py::handle threads) {
  const std::string file = path_of(path);
  // An ensemble's rows take their own seeds: seed 0, which every stream takes, stands for them in the checks.
  auto [request, options] = results_run(lam, step_number, n0, seeds.is_none() ? seed : py::int_(0), generator, law,
                                        model, weights_word, dtype, start, stop, overwrite, deflate, threads);
  options.seeds = results_seeds(seed, seeds, request.generator);
  const std::function<void()> poll_signals = signal_poll{};
  {
    py::gil_scoped_release released;
    cascade::save_results(request, file, options, poll_signals);
  }
  last_seed_used = request.seed;
}

/// [(name, value)] of the root attributes a results file of this run has.
py::list results_attributes(py::handle path, py::handle lam, py::handle step_number, py::handle n0, py::handle seed,
                            py::handle seeds, py::handle generator, py::handle law, py::handle model,
                            py::handle weights_word, py::handle dtype, py::handle start, py::handle stop,
                            const std::string& x_sha256, const std::string& w_sha256) {
  auto [request, options] = results_run(lam, step_number, n0, seeds.is_none() ? seed : py::int_(0), generator, law,
                                        model, weights_word, dtype, start, stop, py::bool_(false), py::bool_(false),
                                        py::none());
  options.seeds = results_seeds(seed, seeds, request.generator);
  py::list attributes;
  for (const auto& attribute : cascade::results_attributes(request, path_of(path), options, x_sha256, w_sha256)) {
    std::visit([&](const auto& value) { attributes.append(py::make_tuple(attribute.name, value)); }, attribute.value);
  }
  return attributes;
}

/// "" when [(name, value)] describes a run of ours, else why not. A value
/// that is no text, float or int is left out, as a file's unreadable one is.
std::string results_refusal(const py::list& attributes) {
  std::vector<cascade::results_attribute> read;
  for (const py::handle item : attributes) {
    const auto pair = py::reinterpret_borrow<py::tuple>(item);
    cascade::results_attribute attribute;
    attribute.name = pair[0].cast<std::string>();
    const py::handle value = pair[1];
    if (py::isinstance<py::str>(value)) {
      attribute.value = value.cast<std::string>();
    } else if (PyFloat_Check(value.ptr())) {
      attribute.value = value.cast<double>();
    } else if (py::isinstance<py::list>(value)) {
      // An ensemble's seeds: whole numbers none of them negative, or it is left out.
      std::vector<std::uint64_t> list;
      for (const py::handle each : value) {
        if (!PyLong_Check(each.ptr()) || PyBool_Check(each.ptr())) break;
        const unsigned long long whole = PyLong_AsUnsignedLongLong(each.ptr());
        if (PyErr_Occurred()) {
          PyErr_Clear();
          break;
        }
        list.push_back(whole);
      }
      if (list.size() != py::len(value)) continue;
      attribute.value = std::move(list);
    } else if (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
      if (PyObject_RichCompareBool(value.ptr(), py::int_(0).ptr(), Py_GE) == 1) {
        const unsigned long long whole = PyLong_AsUnsignedLongLong(value.ptr());
        if (PyErr_Occurred()) {
          PyErr_Clear();
          continue;
        }
        attribute.value = static_cast<std::uint64_t>(whole);
      } else {
        const long long whole = PyLong_AsLongLong(value.ptr());
        if (PyErr_Occurred()) {
          PyErr_Clear();
          continue;
        }
        attribute.value = static_cast<std::int64_t>(whole);
      }
    } else {
      continue;
    }
    read.push_back(std::move(attribute));
  }
  return cascade::results_attributes_refusal(read);
}

/// (status, message) of a file checked value by value: 0 equal, 1 differs, 2 not ours.
py::tuple verify(py::handle path, py::handle threads) {
  const std::string file = path_of(path);
  std::vector<clamped_number> clamped;
  const std::int64_t count = threads.is_none() ? 0 : whole_number(threads, "threads", clamped);
  // A file's run may be of either stream: the most threads any takes, and its own at most, are used.
  if (!threads.is_none()) {
    judged(clamped, [&] {
      cascade::check_threads(count, cascade::random_stream::philox, py::repr(threads).cast<std::string>());
    });
  }
  const std::function<void()> poll_signals = signal_poll{};
  cascade::results_check checked;
  {
    py::gil_scoped_release released;
    checked = cascade::verify_results(file, static_cast<unsigned>(count), poll_signals);
  }
  return py::make_tuple(checked.status, checked.message);
}

py::tuple inspect(py::handle path) {
  const cascade::results_check checked = cascade::inspect_results(path_of(path));
  return py::make_tuple(checked.status, checked.message);
}

}  // namespace

PYBIND11_MODULE(cascade_native, module) {
  module.doc() = "The compiled part of the cascade package; use the functions of `cascade` itself.";
  // The project's version, as `cascade --version` prints it: one number, set in CMake.
  module.attr("__version__") = CASCADE_VERSION;
  module.def("generate", &generate, py::arg("lam"), py::arg("step_number"), py::arg("n0"),
             py::arg("seed") = py::none(), py::kw_only(), py::arg("weights") = false, py::arg("out") = py::none(),
             py::arg("generator") = "subtractive", py::arg("start") = py::none(), py::arg("stop") = py::none(),
             py::arg("threads") = py::none(), py::arg("dtype") = py::none(), py::arg("law") = py::none(),
             py::arg("model") = py::none(),
             "The series of (lam, step_number, n0) seeded with `seed`; see cascade.generate.");
  module.def("generate_ensemble", &generate_ensemble, py::arg("lam"), py::arg("step_number"), py::arg("n0"),
             py::arg("seeds"), py::kw_only(), py::arg("generator") = "subtractive", py::arg("threads") = py::none(),
             py::arg("law") = py::none(), py::arg("out") = py::none(), py::arg("dtype") = py::none(),
             py::arg("model") = py::none(),
             "A (len(seeds), N) array whose row k is generate(..., seed=seeds[k]); see cascade.generate_ensemble.");
  module.def("check_run", &check_run, py::arg("lam"), py::arg("step_number"), py::arg("n0"), py::arg("seed"),
             py::arg("generator") = "subtractive", py::arg("law") = py::none(), py::arg("model") = py::none(),
             "Raises what generate would raise for these arguments, and makes no value.");
  module.def("summary", &summary, py::arg("x"),
             "(N, mean, SD, line) of x as the program's summary computes them; see cascade.summary.");
  module.def("parse_law", &parse_law, py::arg("law"),
             "(name, parameter) of the law a text names, as the program's --law reads it.");
  module.def("limits", &limits, py::arg("generator"),
             "The stream's limits: name, max_seed, max_value_count, max_step_number, max_threads, makes_pieces.");
  module.def("results_files_built", &cascade::results_files_built,
             "Whether this build writes and checks results files (HDF5).");
  module.def("save", &save, py::arg("path"), py::arg("lam"), py::arg("step_number"), py::arg("n0"), py::kw_only(),
             py::arg("seed") = py::none(), py::arg("seeds") = py::none(), py::arg("generator") = "subtractive",
             py::arg("law") = py::none(), py::arg("model") = py::none(), py::arg("weights") = false,
             py::arg("dtype") = py::none(), py::arg("start") = py::none(), py::arg("stop") = py::none(),
             py::arg("overwrite") = false, py::arg("deflate") = false, py::arg("threads") = py::none(),
             "Writes the run into a results file; see cascade.save.");
  module.def("results_attributes", &results_attributes, py::arg("path"), py::arg("lam"), py::arg("step_number"),
             py::arg("n0"), py::kw_only(), py::arg("seed") = py::none(), py::arg("seeds") = py::none(),
             py::arg("generator") = "subtractive",
             py::arg("law") = py::none(), py::arg("model") = py::none(), py::arg("weights") = false,
             py::arg("dtype") = py::none(),
             py::arg("start") = py::none(), py::arg("stop") = py::none(), py::arg("x_sha256"),
             py::arg("w_sha256") = "",
             "[(name, value)]: the root attributes a results file of this run has, written now.");
  module.def("results_refusal", &results_refusal, py::arg("attributes"),
             "'' when [(name, value)] describes a run of ours, else why not.");
  module.def("verify", &verify, py::arg("path"), py::arg("threads") = py::none(),
             "(status, message): the file checked value by value against its run; see cascade.verify.");
  module.def("inspect", &inspect, py::arg("path"),
             "(status, message): whether the file is a results file of cascade, reading no value.");
  module.def("laws", &laws, "The multiplier laws of the core's table by name: parameter, default, rule.");
  module.def("models", &models, "The cascade models of the core's table by name: summary.");
  module.def("last_seed", &last_seed, "The seed of this thread's last generate call, or None.");
  module.def("block_sums", &block_sums, py::arg("x"), py::arg("block_length"), py::arg("lags"),
             py::arg("threads") = 0,
             "Per block of x: the sums of cascade.stats' rows (count, x^2, log|x|, log^2|x|, then per lag the "
             "pairs within the block and past it: count, first, second, products).");
  module.def("energy_step_sums", &energy_step_sums, py::arg("x"), py::arg("block_length"), py::arg("box_lengths"),
             py::arg("threads") = 0,
             "Per block of x, for each box length: the sibling box pairs with energies above 0, and the sums of "
             "d^2 and d^4, d the log of their energies' ratio.");
}
