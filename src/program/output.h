// output.h: the run's two kinds of text.
//
// Summary: "N = %ld, mean = %lf, SD = %lf\n" on standard error.
// Values: "%16.15lf\n", one a line, in cascade order (both threads format
// blocks of lines while the calling thread writes out the previous chunk),
// or raw binary64 on request.
#pragma once

#include <cstdint>
#include <functional>

#include "cascade/statistics.h"
#include "cascade/work_sharing.h"
#include "program/progress.h"

namespace cascade {

/// Asks for a larger pipe buffer when fd is a pipe, for fewer hand-overs
/// to the reader. Best effort.
void widen_pipe(int fd);

/// The summary line and a newline, to fd (waiting while a non-blocking fd
/// is full). Returns 0, or the errno of a failed write.
int write_summary(int fd, const series_summary& summary);

/// Writes values[0, count) to fd as value lines. Returns 0, or the errno of
/// the first failed write (after which nothing more is written).
/// `before_first_write` runs on the calling thread while the first lines
/// are being formatted, and before any is written; a nonzero result from it
/// ends the writing there and is returned. Throws std::bad_alloc when the
/// text buffers cannot be had.
int write_values(int fd, const double* values, std::int64_t count, work_sharing& lanes,
                 progress_meter* progress = nullptr, const std::function<int()>& before_first_write = {});

/// Writes values[0, count) to fd as raw little-endian IEEE-754 binary64,
/// 8 bytes a value, nothing between them. Returns 0 or the errno.
int write_binary(int fd, const double* values, std::int64_t count, progress_meter* progress = nullptr);

}  // namespace cascade
