// results_file.h: a run written into one HDF5 results file, and a file
// checked against the run its attributes describe.
//
// The file is written under a temporary name in its own folder and renamed
// when complete, so that no file of the final name exists unless it is
// whole; a failure or an exception removes the temporary. Memory stays
// bounded: two windows of the run, as the program's other outputs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cascade/replay_command.h"
#include "cascade/summary.h"

namespace cascade {

/// One run into a file: run.output_path names it, run.format (float64 or
/// float32) its values, run.with_weights whether it keeps w.
struct file_request {
  run_words run;
  unsigned threads = 1;
  bool overwrite = false;  ///< replace an existing file of that name
  bool deflate = false;    ///< shuffle and deflate each chunk
  std::function<void(std::int64_t done, std::int64_t total)> progress;
  /// On the calling thread between windows; an exception stops the run.
  std::function<void()> between_chunks;
  /// Told the temporary's name before it is created, and "" once it is gone
  /// or renamed (a face that dies of a signal removes it).
  std::function<void(const char* temporary)> temporary_named;
};

/// Why a run may not write to `path`, one line, or nothing: an existing
/// file unless `overwrite`, and never anything but a regular file (a
/// terminal, a FIFO, a device, a folder).
std::optional<std::string> output_refusal(const std::string& path, bool overwrite);

/// Writes the file; returns the moments of its values (for the summary
/// line). Throws results_file_error (one line) when the file cannot be
/// written, no_memory_for or std::bad_alloc when memory cannot be had, and
/// whatever `between_chunks` throws; the temporary is gone when it throws.
moments write_results_file(const file_request& request);

/// A file checked value by value against the run its attributes describe.
struct verification {
  enum outcome { equal = 0, differs = 1, refused = 2 } status = refused;
  std::string message;  ///< one line, for `differs` and `refused`
};
verification verify_results_file(const std::string& path, unsigned threads,
                                 const std::function<void()>& between_chunks = {});

/// The same checks of the file's attributes and datasets, without reading a
/// value: `equal` when it is one of ours (for a face that reads it).
verification inspect_results_file(const std::string& path);

}  // namespace cascade
