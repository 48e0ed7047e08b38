// output.h: the run's two kinds of text.
//
// Summary: "N = %ld, mean = %lf, SD = %lf\n" on standard error.
// Values: "%16.15lf\n", one a line, in cascade order. Both threads format
// blocks of lines while the calling thread writes out the previous chunk.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cascade/statistics.h"
#include "cascade/work_sharing.h"

namespace cascade {

void write_summary(std::FILE* stream, const series_summary& summary);

/// Writes values[0, count) to fd as value lines. Returns 0, or the errno of
/// the first failed write (after which nothing more is written).
int write_values(int fd, const double* values, std::int64_t count, work_sharing& lanes);

}  // namespace cascade
