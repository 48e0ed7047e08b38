// shape.h: the shape of a cascade: the spread of one step's log-factor, the
// number of doubling steps and of initial cells. Both streams grow it.
#pragma once

#include <cstdint>

namespace cascade {

/// The spread of one step's log-factor: sqrt(lambda^2 / step_number).
double step_sigma(double lambda, std::int32_t step_number);

struct cascade_shape {
  double sigma;
  std::int32_t step_number;  ///< at least 1
  std::int32_t n0;           ///< at least 1
  std::int64_t value_count() const { return std::int64_t{n0} << step_number; }

  /// The shape of a run of the three numbers (checked against the run rules).
  static cascade_shape of(double lambda, std::int32_t step_number, std::int32_t n0) {
    return {step_sigma(lambda, step_number), step_number, n0};
  }
};

}  // namespace cascade
