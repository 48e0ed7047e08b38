#include "cascade/summary.h"

#include <cmath>

namespace cascade {

void accumulate(double& sum, const double* values, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) sum += values[i];
}

moments moments::of(const double* values, std::int64_t count) {
  double sum = 0.0;
  accumulate(sum, values, count);
  return of(values, count, sum);
}

moments moments::of(const double* values, std::int64_t count, double sum) {
  if (count == 0) return {};
  const double mean = sum / static_cast<double>(count);
  double m2 = 0.0;
  for (std::int64_t i = 0; i < count; ++i) {
    const double d = values[i] - mean;
    m2 += d * d;
  }
  return {count, mean, m2};
}

void moments::append(const moments& later) {
  if (later.count == 0) return;
  if (count == 0) {
    *this = later;
    return;
  }
  const std::int64_t total = count + later.count;
  const double delta = later.mean - mean;
  const double share = static_cast<double>(later.count) / static_cast<double>(total);
  mean += delta * share;
  m2 += later.m2 + delta * delta * (static_cast<double>(count) * share);
  count = total;
}

series_summary moments::summary() const {
  return {count, mean, count > 0 ? std::sqrt(m2 / static_cast<double>(count)) : 0.0};
}

}  // namespace cascade
