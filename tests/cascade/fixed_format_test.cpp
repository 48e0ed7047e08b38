#include "cascade/fixed_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace {

using cascade::format_value;
using cascade::max_value_line;

std::string formatted(double x) {
  char line[max_value_line];
  return std::string(line, format_value(line, x));
}

std::string printed(double x) {
  char line[max_value_line + 8];
  const int length = std::snprintf(line, sizeof line, "%16.15lf\n", x);
  return std::string(line, static_cast<std::size_t>(length));
}

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

struct hard_case {
  double x;
  const char* why;
};

TEST(FixedFormat, HardCasesEqualTheCLibrary) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const hard_case cases[] = {
      {0.0, "zero"},
      {-0.0, "negative zero keeps its sign"},
      {0x1p-16, "2^-16 = 0.0000152587890625: an exact tie at the 16th decimal, rounds to even (down)"},
      {3 * 0x1p-16, "an exact tie that rounds to even (up)"},
      {0x1p-50, "8.88e-16: rounds up to the last decimal"},
      {0x1p-51, "4.44e-16: rounds to zero"},
      {-0x1p-51, "rounds to zero and keeps its sign"},
      {5e-16, "just above or below one half of the last decimal"},
      {-5e-16, "the same, negative"},
      {from_bits(1), "the smallest subnormal"},
      {-from_bits(0x000fffffffffffff), "the largest subnormal, negative"},
      {std::numeric_limits<double>::min(), "the smallest normal"},
      {0.1, "not representable: the exact binary value decides"},
      {0.5, "exact"},
      {0.9999999999999995, "rounds up across the decimal point"},
      {9.9999999999999995, "rounds up to 10"},
      {999.9999999999999, "four integer digits after rounding"},
      {8999.999999999999, "the largest below the exact-integer bound"},
      {std::nextafter(9000.0, 0.0), "just below the bound"},
      {9000.0, "the bound itself: the library path"},
      {-9000.5, "above the bound, negative"},
      {123456789.123456789, "nine integer digits"},
      {1e300, "300 integer digits"},
      {-std::numeric_limits<double>::max(), "the longest line"},
      {inf, "padded to the field width"},
      {-inf, "padded, with a sign"},
      {nan, "padded"},
      {-nan, "padded, with a sign"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatted(c.x), printed(c.x)) << c.why;
}

// Random bit patterns over the exponents where the exact path works, and a
// sweep of values of the size the cascade writes.
TEST(FixedFormat, RandomDoublesEqualTheCLibrary) {
  std::mt19937_64 random(20261210);
  std::uniform_int_distribution<std::uint64_t> exponent(0, 1023 + 14);  // up to 2^14 > 9000
  std::normal_distribution<double> typical(0.0, 2.0);
  for (int i = 0; i < 3000000; ++i) {
    const std::uint64_t bits = (random() & 0x800fffffffffffffULL) | (exponent(random) << 52);
    const double x = from_bits(bits);
    ASSERT_EQ(formatted(x), printed(x)) << std::hexfloat << x;
    const double y = typical(random);
    ASSERT_EQ(formatted(y), printed(y)) << std::hexfloat << y;
  }
}

// Midpoints between neighbouring 15-decimal values are the ties and near-ties
// where rounding goes wrong; try the doubles at and around many of them.
TEST(FixedFormat, DoublesNearDecimalMidpointsEqualTheCLibrary) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::int64_t> units(0, 8999999999999999LL);
  for (int i = 0; i < 1000000; ++i) {
    const double midpoint = (static_cast<double>(units(random)) + 0.5) * 1e-15;
    for (const double x : {std::nextafter(midpoint, 0.0), midpoint, std::nextafter(midpoint, 1e4)}) {
      ASSERT_EQ(formatted(x), printed(x)) << std::hexfloat << x;
      ASSERT_EQ(formatted(-x), printed(-x)) << std::hexfloat << -x;
    }
  }
}

}  // namespace
