#include "deviates/polar_factors.h"

#include "exact_math/vector_math.h"

namespace deviates {

void polar_factors(const polar_pair* pairs, std::size_t count, double* facs) {
  if (exact_math::vector_math_active()) {
    polar_factors_vector(pairs, count, facs);
  } else {
    for (std::size_t k = 0; k < count; ++k) facs[k] = pairs[k].factor();
  }
}

}  // namespace deviates
