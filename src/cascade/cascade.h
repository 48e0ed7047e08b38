// cascade.h: growing the log-normal cascade and modulating it.
//
// Draws come from gaussian_deviate in one fixed order: generation by
// generation, parents in ascending order, each parent's first child then its
// second; then one draw per final value in ascending order.
#pragma once

#include <cstdint>

namespace cascade {

/// The spread of one step's log-factor: sqrt(lambda^2 / step_number).
double step_sigma(double lambda, std::int32_t step_number);

/// Grows n0 cells of weight 1 through step_number doublings. Both vectors
/// (from index 1) hold n0 * 2^step_number values; children ends with the
/// final weights in cascade order, parents is working space.
void grow_cascade(double sigma, std::int32_t step_number, std::int32_t n0, double* children,
                  double* parents, std::int32_t& seed);

/// values[1..count] *= a fresh standard normal deviate each.
void modulate(double* values, std::int32_t count, std::int32_t& seed);

}  // namespace cascade
