#include "cascade/cascade.h"

#include <cmath>
#include <cstring>

#include "deviates/deviates.h"

namespace cascade {

using deviates::gaussian_deviate;

double step_sigma(double lambda, std::int32_t step_number) {
  return std::sqrt(lambda * lambda / static_cast<double>(step_number));
}

void grow_cascade(double sigma, std::int32_t step_number, std::int32_t n0, double* children,
                  double* parents, std::int32_t& seed) {
  for (std::int32_t j = 1; j <= n0; ++j) parents[j] = 1.0;
  std::int32_t n = n0;
  for (std::int32_t step = 0; step < step_number; ++step) {
    const double s2 = sigma * sigma;
    for (std::int32_t j = 1; j <= n; ++j) {
      double z = gaussian_deviate(seed);
      children[2 * j - 1] = std::exp(sigma * z - s2) * parents[j];
      z = gaussian_deviate(seed);
      children[2 * j] = std::exp(sigma * z - s2) * parents[j];
    }
    n *= 2;
    std::memcpy(parents + 1, children + 1, static_cast<std::size_t>(n) * sizeof(double));
  }
}

void modulate(double* values, std::int32_t count, std::int32_t& seed) {
  for (std::int32_t i = 1; i <= count; ++i) values[i] = gaussian_deviate(seed) * values[i];
}

}  // namespace cascade
