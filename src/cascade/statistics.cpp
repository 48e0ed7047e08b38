#include "cascade/statistics.h"

#include <cmath>

namespace cascade {

series_summary summarize(const double* values, std::int64_t count) {
  const double n = static_cast<double>(count);
  double sum = 0.0;
  for (std::int64_t i = 0; i < count; ++i) sum += values[i];
  const double mean = sum / n;
  double squares = 0.0;
  for (std::int64_t i = 0; i < count; ++i) {
    const double d = values[i] - mean;
    squares += d * d;
  }
  return {count, mean, std::sqrt(squares / n)};
}

}  // namespace cascade
