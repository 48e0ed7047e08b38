#include "cascade/shape.h"

#include <cmath>

namespace cascade {

double step_sigma(double lambda, std::int32_t step_number) {
  return std::sqrt(lambda * lambda / static_cast<double>(step_number));
}

}  // namespace cascade
