// The portable exp and log, one value at a time: the operations of exp4 and log4
// (exp_log_avx2.h) in scalar form, and the library's handling of the inputs
// those leave to it. Where the library's result comes from arithmetic whose
// bits vary between machines (a NaN's), the bits it gives on x86-64 are
// written out instead.
#include "exact_math/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "exact_math/libm_tables.h"
#include "exact_math/math_environment.h"
#include "exact_math/vector_math.h"

namespace exact_math {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

/// A NaN input's result: the input with its quiet bit set, as an x86-64
/// operation on a NaN returns it (some processors return one fixed NaN).
double quieted(double x) { return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) | 0x0008000000000000); }

/// The invalid operation's result on x86-64 (log of a negative number or of
/// -infinity): its default NaN, negative.
constexpr std::uint64_t default_nan_bits = 0xfff8000000000000;

/// exp for 512 <= |x| < 1024, where scale = 2^(k/128) is out of a double's
/// range and the result may overflow or fall into the subnormals: sbits are
/// scale's bits with k added to its exponent modulo 2^11 (the top bits
/// wrapped), tmp the polynomial of the fast path.
double exp_out_of_range(double tmp, std::uint64_t sbits, std::uint64_t ki) {
  // (int32_t) ki is k; its sign says which side.
  if ((ki & 0x80000000) == 0) {
    // k > 0: scale is too large by up to 2^460. Compute it 2^-1009 smaller
    // and multiply once, so the only overflow is the result's.
    const double scale = std::bit_cast<double>(sbits - (1009ull << 52));
    return 0x1p1009 * std::fma(scale, tmp, scale);
  }
  // k < 0: scale 2^1022 larger, then brought down. A result below 2^-1022 is
  // first rounded to its subnormal precision by adding 1 (head and tail
  // kept exact), so that the final multiplication does not round twice.
  // Here the library's FMA variant rounds scale * tmp once and adds it in
  // both places: no fused operation on this side.
  const double scale = std::bit_cast<double>(sbits + (1022ull << 52));
  const double scaled_tmp = scale * tmp;
  double y = scale + scaled_tmp;
  if (y < 1.0) {
    double lo = scale - y + scaled_tmp;
    const double hi = 1.0 + y;
    lo = 1.0 - hi + y + lo;
    y = (hi + lo) - 1.0;
  }
  return 0x1p-1022 * y;
}

/// log of x within [1 - 2^-4, 1 + 0x1.09p-4): log4_near_one's operations.
double log_near_one(double x) {
  namespace c = log_constants;
  const double r = x - 1.0;
  double a = std::fma(r, c::b[2], c::b[1]);
  double b = std::fma(r, c::b[5], c::b[4]);
  double d = std::fma(r, c::b[8], c::b[7]);
  const double r2 = r * r;
  a = std::fma(r2, c::b[3], a);
  b = std::fma(r2, c::b[6], b);
  const double r3 = r * r2;
  d = std::fma(r2, c::b[9], d);
  d = std::fma(r3, c::b[10], d);
  d = std::fma(d, r3, b);
  const double poly = std::fma(d, r3, a);

  const double lifted = std::fma(r, c::split, r);
  const double rhi = std::fma(-c::split, r, lifted);
  const double rhi2 = rhi * rhi;
  const double rlo = r - rhi;
  const double hi = std::fma(rhi2, c::b[0], r);
  const double r_minus_hi = r - hi;
  const double r_plus_rhi = r + rhi;
  double lo = std::fma(rhi2, c::b[0], r_minus_hi);
  lo = std::fma(c::b[0] * rlo, r_plus_rhi, lo);
  const double y = std::fma(poly, r3, lo);
  return hi + y;
}

using detail::environment_says;
using detail::environment_value;

int choose_portable_lanes() {
  if (math_environment_problem() || environment_says("CASCADE_SCALAR_MATH", "1") || !cpu_has_vector_math()) return 1;
  if (environment_says("CASCADE_VECTOR_LANES", "4") || !cpu_has_avx512_math()) return 4;
  return 8;
}

}  // namespace

double portable_exp(double x) {
  namespace c = exp_constants;
  const std::uint64_t ix = std::bit_cast<std::uint64_t>(x);
  const auto abstop = static_cast<std::int64_t>((ix >> 52) & 0x7ff);
  // |x| < 2^-54, zero and subnormals included.
  if (abstop < c::tiny_top) return 1.0 + x;
  if (abstop > c::large_top) {
    // |x| >= 1024, infinities and NaNs: a NaN comes back quieted, anything
    // else overflows or underflows outright (exp(inf) is inf, exp(-inf) 0).
    if (std::isnan(x)) return quieted(x);
    return (ix >> 63) != 0 ? 0.0 : infinity;
  }
  // 512 <= |x| < 1024: the fast path's arithmetic, then a careful scaling.
  const bool out_of_range = abstop == c::large_top;

  const double kd_shifted = std::fma(x, c::inv_ln2_n, c::shift);
  const std::uint64_t ki = std::bit_cast<std::uint64_t>(kd_shifted);
  const double kd = kd_shifted - c::shift;
  double r = std::fma(kd, c::neg_ln2_hi_n, x);
  r = std::fma(kd, c::neg_ln2_lo_n, r);

  const std::uint64_t slot = 2 * (ki & 0x7f);
  const double tail = std::bit_cast<double>(exp_table[slot]);
  const std::uint64_t sbits = exp_table[slot + 1] + (ki << 45);

  const double low = std::fma(r, c::c3, c::c2);
  const double tail_r = tail + r;
  const double r2 = r * r;
  const double high = std::fma(r, c::c5, c::c4);
  const double sum = std::fma(low, r2, tail_r);
  const double r4 = r2 * r2;
  const double tmp = std::fma(r4, high, sum);
  if (out_of_range) return exp_out_of_range(tmp, sbits, ki);
  const double scale = std::bit_cast<double>(sbits);
  return std::fma(scale, tmp, scale);
}

double portable_log(double x) {
  namespace c = log_constants;
  std::uint64_t ix = std::bit_cast<std::uint64_t>(x);
  if (ix - c::near_one_low < c::near_one_high - c::near_one_low) return log_near_one(x);
  // Anything but a positive normal finite x.
  if (const std::uint64_t top = ix >> 48; top - 0x0010 >= 0x7ff0 - 0x0010) {
    if (ix * 2 == 0) return -infinity;
    if (ix == std::bit_cast<std::uint64_t>(infinity)) return x;
    if (std::isnan(x)) return quieted(x);
    if ((top & 0x8000) != 0) return std::bit_cast<double>(default_nan_bits);
    // A subnormal: made normal by 2^52 (exactly), and k taken 52 lower
    // through the exponent field, which the arithmetic below lets wrap.
    ix = std::bit_cast<std::uint64_t>(x * 0x1p52) - (52ull << 52);
  }

  const std::uint64_t tmp = ix - c::table_offset;
  const std::uint64_t slot = 2 * ((tmp >> 45) & 0x7f);
  const auto k = static_cast<std::int64_t>(tmp) >> 52;
  const std::uint64_t iz = ix - (tmp & 0xfff0000000000000);
  const double invc = log_table[slot];
  const double logc = log_table[slot + 1];
  const double z = std::bit_cast<double>(iz);

  const double r = std::fma(z, invc, -1.0);
  const auto kd = static_cast<double>(k);
  const double w = std::fma(kd, c::ln2_hi, logc);
  const double a21 = std::fma(r, c::a[2], c::a[1]);
  const double hi = w + r;
  const double r2 = r * r;
  double lo = (w - hi) + r;
  lo = std::fma(kd, c::ln2_lo, lo);
  const double r3 = r * r2;
  double a43 = std::fma(r, c::a[4], c::a[3]);
  lo = std::fma(r2, c::a[0], lo);
  a43 = std::fma(a43, r2, a21);
  const double y = std::fma(r3, a43, lo);
  return y + hi;
}

int portable_math_lanes() {
  static const int lanes = choose_portable_lanes();
  return lanes;
}

std::string portable_math_description() {
  const char* const lanes = portable_math_lanes() == 8   ? "8 lanes (AVX-512)"
                            : portable_math_lanes() == 4 ? "4 lanes (AVX2)"
                                                         : "scalar (std::fma)";
  return std::string("the program's own exp and log, ") + lanes + ", the same bits on every machine";
}

void portable_exp_array(const double* x, double* y, std::size_t n) {
  switch (portable_math_lanes()) {
    case 8: portable_exp_array_avx512(x, y, n); return;
    case 4: portable_exp_array_avx2(x, y, n); return;
    default:
      for (std::size_t i = 0; i < n; ++i) y[i] = portable_exp(x[i]);
  }
}

void portable_log_array(const double* x, double* y, std::size_t n) {
  switch (portable_math_lanes()) {
    case 8: portable_log_array_avx512(x, y, n); return;
    case 4: portable_log_array_avx2(x, y, n); return;
    default:
      for (std::size_t i = 0; i < n; ++i) y[i] = portable_log(x[i]);
  }
}

}  // namespace exact_math
