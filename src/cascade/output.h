// output.h: the run's two kinds of text.
//
// Values: "%16.15lf\n", one a line, in cascade order, on standard output.
// Summary: "N = %ld, mean = %lf, SD = %lf\n" on standard error.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cascade/output_sink.h"
#include "cascade/statistics.h"

namespace cascade {

/// Longest value line: a finite double's up to 309 integer digits, sign,
/// point, 15 decimals and newline, with room to spare.
inline constexpr std::size_t max_value_line = 352;

void write_summary(std::FILE* stream, const series_summary& summary);

/// values[1..count], one line each.
void write_values(output_sink& sink, const double* values, std::int32_t count);

}  // namespace cascade
