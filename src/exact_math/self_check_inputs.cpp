#include "exact_math/self_check_inputs.h"

#include <bit>
#include <cmath>
#include <limits>

#include "exact_math/libm_tables.h"

namespace exact_math {

std::uint64_t check_stream::next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

double check_stream::uniform(double low, double high) {
  return low + (high - low) * (static_cast<double>(next() >> 11) * 0x1p-53);
}

void add_neighbourhood(std::vector<double>& out, double x, int reach) {
  const std::int64_t bits = std::bit_cast<std::int64_t>(x);
  for (int d = -reach; d <= reach; ++d) out.push_back(std::bit_cast<double>(bits + d));
}

std::vector<double> exp_check_inputs() {
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> in = {0.0, -0.0, 1.0, -1.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                            709.78, -745.2, 1000.0, -1000.0, 0x1p-1074, -0x1p-1074};
  for (double edge : {0x1p-54, -0x1p-54, 512.0, -512.0}) add_neighbourhood(in, edge, 3);
  check_stream stream(0x5eed0e4b);
  // Midpoints between consecutive k, where kd rounds the other way and r is
  // at its widest: the table's and the polynomial's hardest inputs.
  for (int i = 0; i < 256; ++i) {
    const double k = std::floor(stream.uniform(-511.0, 511.0) * exp_constants::inv_ln2_n);
    add_neighbourhood(in, (k + 0.5) / exp_constants::inv_ln2_n, 2);
  }
  for (int i = 0; i < 128; ++i) add_neighbourhood(in, (i + 0.5) / exp_constants::inv_ln2_n - 1.5, 1);
  for (int i = 0; i < 1000; ++i) in.push_back(stream.uniform(-12.0, 12.0));  // a cascade's exponents
  for (int i = 0; i < 700; ++i) {
    // Any magnitude of the fast path: random sign, exponent and mantissa.
    const std::uint64_t top = exp_constants::tiny_top + stream.next() % (exp_constants::large_top - exp_constants::tiny_top);
    in.push_back(std::bit_cast<double>((stream.next() & 0x800fffffffffffff) | (top << 52)));
  }
  return in;
}

std::vector<double> log_check_inputs() {
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> in = {0.0, -0.0, 1.0, -1.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                            0x1p-1074, 0x1p-1030, std::numeric_limits<double>::max()};
  add_neighbourhood(in, 0x1p-1022, 2);
  add_neighbourhood(in, 1.0, 8);
  add_neighbourhood(in, std::bit_cast<double>(log_constants::near_one_low), 3);
  add_neighbourhood(in, std::bit_cast<double>(log_constants::near_one_high), 3);
  check_stream stream(0x5eed109);
  // Every table boundary, at a random exponent each.
  for (std::uint64_t i = 0; i < 128; ++i) {
    const std::uint64_t exponent_shift = (stream.next() % 40) << 52;
    add_neighbourhood(in, std::bit_cast<double>(log_constants::table_offset - (20ull << 52) + exponent_shift + (i << 45)), 2);
  }
  for (int i = 0; i < 400; ++i) in.push_back(1.0 + stream.uniform(-0x1p-4, 0x1.09p-4));       // near 1
  for (int i = 0; i < 200; ++i) in.push_back(1.0 + stream.uniform(-0x1p-20, 0x1p-20));        // very near 1
  for (int i = 0; i < 800; ++i) in.push_back(stream.uniform(0.0, 1.0));                        // a polar r^2
  for (int i = 0; i < 600; ++i) {
    // Any positive normal.
    const std::uint64_t top = 1 + stream.next() % 2046;
    in.push_back(std::bit_cast<double>((stream.next() & 0x000fffffffffffff) | (top << 52)));
  }
  return in;
}

}  // namespace exact_math
