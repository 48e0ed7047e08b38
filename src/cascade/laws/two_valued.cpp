#include "cascade/laws/two_valued.h"

#include <cmath>

#include "exact_math/portable_math.h"

namespace cascade::laws {

using exact_math::portable_exp;
using exact_math::portable_log;

double two_valued_constant(double sigma) {
  return -0.5 * portable_log(0.5 * (portable_exp(2.0 * sigma) + portable_exp(-2.0 * sigma)));
}

bool draws_two_valued_spread(double, double sigma) { return std::isfinite(two_valued_constant(sigma)); }

void prepare_two_values(double, double sigma, law_constants& constants) {
  const double c = two_valued_constant(sigma);
  constants.factors = {portable_exp(c + sigma), portable_exp(c - sigma)};
}

}  // namespace cascade::laws
