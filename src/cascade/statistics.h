// statistics.h: the summary of a series: its length, mean and population
// standard deviation, summed in index order so the digits never vary.
#pragma once

#include <cstdint>

namespace cascade {

struct series_summary {
  std::int32_t count;
  double mean;
  double sd;  ///< divisor count, not count - 1
};

/// Over values[1..count].
series_summary summarize(const double* values, std::int32_t count);

}  // namespace cascade
