// series_kernels.h: the arithmetic of a series on runs of accepted pairs,
// in three forms that give the same bits: one pair at a time with scalar exp
// and log, and four or eight pairs at a time with the exact vector functions
// (packed division and square root are correctly rounded, products and
// differences are plain IEEE ones in the scalar order, and no multiply-add
// is fused). Each form comes in two maths: the C library's exp and log, whose
// vector forms equal it only where it is a proven one, and the project's own
// (exact_math/portable_math.h), the same bits on every machine.
//
// Pair k is (w1[k], w2[k]) with fac_k = polar_factor(polar_rsq(w1[k], w2[k])):
// its first deviate is w2[k] * fac_k and its second w1[k] * fac_k.
#pragma once

#include <cstddef>

namespace cascade {

struct series_kernels {
  /// One step of the cascade for `count` parents: children[2k] =
  /// exp(sigma * first_k - s2) * parent_k and children[2k + 1] the same with
  /// second_k, parent_k = parents[k], or 1.0 when parents is null. Parents
  /// are read in ascending order, each before its own children are written,
  /// so children may overwrite parents already read (children[2k + 1] at or
  /// below parents[k + 1]).
  void (*grow)(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
               double sigma, double s2);
  /// The modulation of 2 count values: values[2k] = first_k * values[2k],
  /// values[2k + 1] = second_k * values[2k + 1].
  void (*modulate)(const double* w1, const double* w2, std::size_t count, double* values);
};

/// Whose exp and log the kernels compute with.
enum class series_math {
  c_library,  ///< the C library's (the scalar form calls them; deviates::polar_factor)
  portable,        ///< exact_math::portable_exp and portable_log
};

/// The kernels of the C library's math path this process uses.
const series_kernels& active_series_kernels();

/// The kernels of the portable math with the lanes this process uses for it
/// (exact_math::portable_math_lanes()).
const series_kernels& portable_math_series_kernels();

/// The kernels of one path, for tests and comparisons: `lanes` 1 (always
/// available), 4 (where exact_math::cpu_has_vector_math()) or 8 (where
/// exact_math::cpu_has_avx512_math()).
const series_kernels& series_kernels_for(int lanes, series_math math = series_math::c_library);

}  // namespace cascade
