#include "cascade/series_kernels.h"

#include <algorithm>
#include <cmath>

#include "cascade/series_kernels_vector.h"
#include "deviates/polar_gaussian.h"
#include "exact_math/vector_math.h"

namespace cascade {
namespace {

/// Calls body(begin, facs) for consecutive runs [begin, begin + length) of
/// [0, count), facs[j] the factor of pair begin + j.
template <class Body>
void for_each_run(const double* w1, const double* w2, std::size_t count, Body&& body) {
  double facs[run_pairs];
  for (std::size_t begin = 0; begin < count; begin += run_pairs) {
    const std::size_t length = std::min(run_pairs, count - begin);
    for (std::size_t j = 0; j < length; ++j)
      facs[j] = deviates::polar_factor(deviates::polar_rsq(w1[begin + j], w2[begin + j]));
    body(begin, length, static_cast<const double*>(facs));
  }
}

}  // namespace

void grow_scalar(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                 double sigma, double s2) {
  for_each_run(w1, w2, count, [=](std::size_t begin, std::size_t length, const double* facs) {
    for (std::size_t k = begin; k < begin + length; ++k) {
      const double fac = facs[k - begin];
      const double parent = parents == nullptr ? 1.0 : parents[k];
      children[2 * k] = std::exp(sigma * (w2[k] * fac) - s2) * parent;
      children[2 * k + 1] = std::exp(sigma * (w1[k] * fac) - s2) * parent;
    }
  });
}

void modulate_scalar(const double* w1, const double* w2, std::size_t count, double* values) {
  for_each_run(w1, w2, count, [=](std::size_t begin, std::size_t length, const double* facs) {
    for (std::size_t k = begin; k < begin + length; ++k) {
      const double fac = facs[k - begin];
      values[2 * k] = (w2[k] * fac) * values[2 * k];
      values[2 * k + 1] = (w1[k] * fac) * values[2 * k + 1];
    }
  });
}

namespace {

constexpr series_kernels scalar_kernels{grow_scalar, modulate_scalar};
constexpr series_kernels avx2_kernels{grow_avx2, modulate_avx2};
constexpr series_kernels avx512_kernels{grow_avx512, modulate_avx512};

}  // namespace

const series_kernels& series_kernels_for(int lanes) {
  if (lanes == 8) return avx512_kernels;
  if (lanes == 4) return avx2_kernels;
  return scalar_kernels;
}

const series_kernels& active_series_kernels() {
  static const series_kernels& chosen = series_kernels_for(exact_math::vector_math_lanes());
  return chosen;
}

}  // namespace cascade
