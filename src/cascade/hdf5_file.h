// hdf5_file.h: the one place that speaks HDF5: a results file laid out as
// netCDF-4 (a dimension t, the values x and the weights w along it, the
// run's attributes at the root), written a window at a time and read back.
//
// Every failure is a results_file_error with one line that says what
// failed; HDF5's own error stack is never printed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "cascade/file_attributes.h"
#include "cascade/formats.h"

namespace cascade {

struct results_file_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The datasets of a file: `length` values of `format` (float64 or float32,
/// little-endian) along t, or for an ensemble `rows` such rows along
/// realization, chunked `chunk` values of a row a chunk, deflated and
/// shuffled when asked.
struct dataset_layout {
  std::int64_t rows = 0;  ///< 0: one series (t alone)
  std::int64_t length = 0;
  std::int64_t chunk = 0;
  value_format format = value_format::float64;
  bool weights = false;
  bool deflate = false;
};

enum class dataset_name { x, w };

class hdf5_writer {
 public:
  /// Creates `path`, which must not exist, with its datasets and no values.
  hdf5_writer(const std::string& path, const dataset_layout& layout);
  ~hdf5_writer();
  hdf5_writer(const hdf5_writer&) = delete;
  hdf5_writer& operator=(const hdf5_writer&) = delete;

  /// Values [first, first + count) of a dataset's row (0 for one series), as the layout's little-endian bytes.
  void write(dataset_name dataset, std::int64_t row, std::int64_t first, std::int64_t count, const void* bytes);
  /// Writes the root attributes and closes the file: complete on disk once it returns.
  void finish(const std::vector<file_attribute>& attributes);

 private:
  void close_all() noexcept;
  std::int64_t file_ = -1, dimension_ = -1, realization_ = -1, x_ = -1, w_ = -1;
  value_format format_;
};

/// A dataset as a file holds it.
struct dataset_found {
  bool present = false;
  /// Its dimensions are the layout's: t alone, or realization and t, each attached.
  bool dimensions_of_layout = false;
  std::int64_t rows = 0;  ///< 0 for one dimension
  std::int64_t length = 0;
  bool little_endian_float64 = false, little_endian_float32 = false;
};

class hdf5_reader {
 public:
  /// Opens `path` to read; throws when it is no HDF5 file or cannot be read.
  explicit hdf5_reader(const std::string& path);
  ~hdf5_reader();
  hdf5_reader(const hdf5_reader&) = delete;
  hdf5_reader& operator=(const hdf5_reader&) = delete;

  /// Every root attribute that holds one text or one number.
  std::vector<file_attribute> root_attributes() const;
  dataset_found dataset(dataset_name dataset) const;
  /// Values [first, first + count) of a dataset's row as its own bytes (`value_bytes` each).
  void read(dataset_name dataset, std::int64_t row, std::int64_t first, std::int64_t count, std::size_t value_bytes,
            void* bytes) const;

 private:
  std::int64_t file_ = -1;
};

/// "HDF5 1.10.8": the library the build was made with.
std::string hdf5_version();

}  // namespace cascade
