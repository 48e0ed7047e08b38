// statistics.h: the summary of a series: its length, mean and population
// standard deviation, each a single running sum in index order, so the
// digits never depend on how the series was made.
#pragma once

#include <cstdint>

namespace cascade {

struct series_summary {
  std::int64_t count;
  double mean;
  double sd;  ///< divisor count, not count - 1
};

/// Adds values[0, count) to `sum` one at a time, in index order: a run can
/// keep its sum as it goes, chunk after chunk, and get the same digits.
void accumulate(double& sum, const double* values, std::int64_t count);

/// Over values[0, count), whose sum (accumulated from 0.0) is `sum`.
series_summary summarize(const double* values, std::int64_t count, double sum);


}  // namespace cascade
