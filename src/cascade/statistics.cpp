#include "cascade/statistics.h"

#include <cmath>

namespace cascade {

void accumulate(double& sum, const double* values, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) sum += values[i];
}

series_summary summarize(const double* values, std::int64_t count, double sum) {
  const double n = static_cast<double>(count);
  const double mean = sum / n;
  double squares = 0.0;
  for (std::int64_t i = 0; i < count; ++i) {
    const double d = values[i] - mean;
    squares += d * d;
  }
  return {count, mean, std::sqrt(squares / n)};
}

}  // namespace cascade
