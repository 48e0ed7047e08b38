#include "cascade/series_kernels.h"

#include <algorithm>
#include <cmath>

#include "cascade/series_kernels_vector.h"
#include "deviates/polar_gaussian.h"
#include "exact_math/portable_math.h"
#include "exact_math/scalar_math.h"
#include "exact_math/vector_math.h"

namespace cascade {
namespace {

/// The polar factor of a pair with r^2 = rsq. The C library's is the one the
/// generators use, so that the kernels follow any change to it; the portable one
/// is the same formula, in the same order, over portable_log.
template <class Math>
double polar_factor(double rsq);

template <>
double polar_factor<exact_math::c_library_math>(double rsq) {
  return deviates::polar_factor(rsq);
}

template <>
double polar_factor<exact_math::portable_math>(double rsq) {
  return std::sqrt(-2.0 * exact_math::portable_log(rsq) / rsq);
}

/// Calls body(begin, facs) for consecutive runs [begin, begin + length) of
/// [0, count), facs[j] the factor of pair begin + j.
template <class Math, class Body>
void for_each_run(const double* w1, const double* w2, std::size_t count, Body&& body) {
  double facs[run_pairs];
  for (std::size_t begin = 0; begin < count; begin += run_pairs) {
    const std::size_t length = std::min(run_pairs, count - begin);
    for (std::size_t j = 0; j < length; ++j)
      facs[j] = polar_factor<Math>(deviates::polar_rsq(w1[begin + j], w2[begin + j]));
    body(begin, length, static_cast<const double*>(facs));
  }
}

}  // namespace

template <class Math>
void grow_scalar(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                 double sigma, double s2) {
  for_each_run<Math>(w1, w2, count, [=](std::size_t begin, std::size_t length, const double* facs) {
    for (std::size_t k = begin; k < begin + length; ++k) {
      const double fac = facs[k - begin];
      const double parent = parents == nullptr ? 1.0 : parents[k];
      children[2 * k] = Math::exp(sigma * (w2[k] * fac) - s2) * parent;
      children[2 * k + 1] = Math::exp(sigma * (w1[k] * fac) - s2) * parent;
    }
  });
}

template <class Math>
void modulate_scalar(const double* w1, const double* w2, std::size_t count, double* values) {
  for_each_run<Math>(w1, w2, count, [=](std::size_t begin, std::size_t length, const double* facs) {
    for (std::size_t k = begin; k < begin + length; ++k) {
      const double fac = facs[k - begin];
      values[2 * k] = (w2[k] * fac) * values[2 * k];
      values[2 * k + 1] = (w1[k] * fac) * values[2 * k + 1];
    }
  });
}

template void grow_scalar<exact_math::c_library_math>(const double*, const double*, std::size_t, const double*,
                                                      double*, double, double);
template void modulate_scalar<exact_math::c_library_math>(const double*, const double*, std::size_t, double*);
template void grow_scalar<exact_math::portable_math>(const double*, const double*, std::size_t, const double*, double*,
                                                double, double);
template void modulate_scalar<exact_math::portable_math>(const double*, const double*, std::size_t, double*);

namespace {

using exact_math::c_library_math;
using exact_math::portable_math;

constexpr series_kernels scalar_kernels{grow_scalar<c_library_math>, modulate_scalar<c_library_math>};
constexpr series_kernels avx2_kernels{grow_avx2, modulate_avx2};
constexpr series_kernels avx512_kernels{grow_avx512, modulate_avx512};

constexpr series_kernels portable_scalar_kernels{grow_scalar<portable_math>, modulate_scalar<portable_math>};
constexpr series_kernels portable_avx2_kernels{grow_avx2_portable, modulate_avx2_portable};
constexpr series_kernels portable_avx512_kernels{grow_avx512_portable, modulate_avx512_portable};

}  // namespace

const series_kernels& series_kernels_for(int lanes, series_math math) {
  if (math == series_math::portable) {
    if (lanes == 8) return portable_avx512_kernels;
    if (lanes == 4) return portable_avx2_kernels;
    return portable_scalar_kernels;
  }
  if (lanes == 8) return avx512_kernels;
  if (lanes == 4) return avx2_kernels;
  return scalar_kernels;
}

const series_kernels& active_series_kernels() {
  static const series_kernels& chosen = series_kernels_for(exact_math::vector_math_lanes());
  return chosen;
}

const series_kernels& portable_math_series_kernels() {
  static const series_kernels& chosen = series_kernels_for(exact_math::portable_math_lanes(), series_math::portable);
  return chosen;
}

}  // namespace cascade
