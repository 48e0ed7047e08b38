// self_check_inputs.h: inputs that tell the C library's exp and log from
// other algorithms: the points where a table index or a rounding of k
// changes, the edges of each path, the polynomials' widest arguments,
// special values, and a fixed sample of random ones. A few thousand of
// each, so that the check costs well under a millisecond.
#pragma once

#include <cstdint>
#include <vector>

namespace exact_math {

std::vector<double> exp_check_inputs();
std::vector<double> log_check_inputs();

/// Doubles from a fixed 64-bit stream (splitmix64): the same in every run.
class check_stream {
 public:
  explicit check_stream(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  /// Uniform in [low, high).
  double uniform(double low, double high);

 private:
  std::uint64_t state_;
};

/// x and its `reach` neighbours in both directions, as doubles one ulp apart.
void add_neighbourhood(std::vector<double>& out, double x, int reach);

}  // namespace exact_math
