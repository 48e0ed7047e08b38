#include "cascade/factor_draws.h"

namespace cascade {

factor_step::factor_step(const multiplier_law& law, double sigma) : law_(law) {
  if (!law.descriptor->draws_polar_pairs) law.descriptor->prepare(law.parameter, sigma, constants_);
}

}  // namespace cascade
