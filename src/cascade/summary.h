// summary.h: the summary of a series: its length, mean and population
// standard deviation, made one way for every stream.
//
// The moments of a run of values are its sum in index order from 0.0, then
// the squared deviations from that mean in index order. Runs are combined
// in order (a series made in blocks), so the digits depend neither on the
// threads nor on the order the blocks were made in; a series summarised as
// one run (the subtractive stream's) gets exactly the digits of the plain
// two passes.
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

/// The count, mean and sum of squared deviations of some values.
struct moments {
  std::int64_t count = 0;
  double mean = 0.0;
  double m2 = 0.0;

  /// Of values[0, count).
  static moments of(const double* values, std::int64_t count);
  /// Of values[0, count), whose sum accumulated in index order from 0.0 is
  /// `sum`: the second pass alone.
  static moments of(const double* values, std::int64_t count, double sum);
  /// These values followed by `later`'s.
  void append(const moments& later);
  series_summary summary() const;
};

}  // namespace cascade
