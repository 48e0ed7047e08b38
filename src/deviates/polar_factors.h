// polar_factors.h: the polar factors of a run of accepted pairs at once,
// each exactly polar_pair::factor(); with the vector math active, the
// logarithms four at a time and the division and square root packed (both
// correctly rounded, so the same bits).
#pragma once

#include <cstddef>

#include "deviates/polar_pairs.h"

namespace deviates {

/// facs[k] = pairs[k].factor() for k < count.
void polar_factors(const polar_pair* pairs, std::size_t count, double* facs);

/// The same, always by the vector functions; only where
/// exact_math::cpu_has_vector_math().
void polar_factors_vector(const polar_pair* pairs, std::size_t count, double* facs);

}  // namespace deviates
