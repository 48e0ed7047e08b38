// The portable exp and log: bit for bit the C library's over their whole ranges
// where it is a proven one (the fast path as the vector functions'
// differential test samples it, and every input the library leaves its fast
// path for: exp's overflows, underflows and subnormal results, log of zero,
// negatives, subnormals, infinities and NaNs); their four- and eight-lane
// arrays equal to them on every path, length and offset, without the C
// library; and the lanes chosen for them.
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "exact_math/libm_tables.h"
#include "exact_math/portable_math.h"
#include "exact_math/self_check_inputs.h"
#include "exact_math/vector_math.h"

namespace {

using exact_math::check_stream;

// Fewer inputs under the sanitizers, which make every call many times slower.
constexpr std::int64_t scale = CASCADE_SANITIZED ? 20 : 1;

using generator = std::function<double(check_stream&, std::int64_t)>;
using scalar_function = double (*)(double);
using array_function = void (*)(const double*, double*, std::size_t);

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t any_sign = 0x8000000000000000;

double random_bits(check_stream& s, std::uint64_t sign_mask, std::uint64_t top_low, std::uint64_t top_high) {
  const std::uint64_t top = top_low + s.next() % (top_high - top_low);
  return std::bit_cast<double>((s.next() & (sign_mask | 0x000fffffffffffff)) | (top << 52));
}

/// The doubles within `reach` ulps of a centre, each centre from `centre(j)`.
generator neighbourhoods(std::function<double(std::int64_t)> centre, int reach) {
  return [centre, reach](check_stream&, std::int64_t i) {
    const std::int64_t width = 2 * reach + 1;
    return std::bit_cast<double>(std::bit_cast<std::int64_t>(centre(i / width)) + i % width - reach);
  };
}

/// Every entry of a table, in turn.
generator each_of(std::vector<double> values) {
  return [values = std::move(values)](check_stream&, std::int64_t i) { return values[static_cast<std::size_t>(i)]; };
}

struct input_class {
  const char* what;
  std::int64_t count;
  generator next;
};

std::string describe(double x, double expected, double actual) {
  char text[200];
  std::snprintf(text, sizeof text, "input %a (0x%016" PRIx64 "): expected %a (0x%016" PRIx64 "), got %a (0x%016" PRIx64 ")",
                x, std::bit_cast<std::uint64_t>(x), expected, std::bit_cast<std::uint64_t>(expected), actual,
                std::bit_cast<std::uint64_t>(actual));
  return text;
}

/// The first input of the class on which `actual` differs from `expected` in
/// any bit, as a message; empty when they agree on all of them.
std::string first_difference(const input_class& inputs, std::int64_t count, scalar_function expected,
                             scalar_function actual, std::uint64_t seed) {
  check_stream stream(seed);
  for (std::int64_t i = 0; i < count; ++i) {
    const double x = inputs.next(stream, i);
    const double want = expected(x), got = actual(x);
    if (std::bit_cast<std::uint64_t>(want) != std::bit_cast<std::uint64_t>(got)) return describe(x, want, got);
  }
  return "";
}

double library_exp(double x) { return std::exp(x); }
double library_log(double x) { return std::log(x); }

/// Runs every class against the C library; a class of a fixed table runs
/// each entry once, whatever the scale.
void expect_equal_to_library(const std::vector<input_class>& classes, scalar_function library, scalar_function own,
                             std::int64_t at_least) {
  std::int64_t total = 0;
  for (const input_class& inputs : classes) {
    const std::int64_t count = inputs.count / (inputs.count < 10'000 ? 1 : scale);
    EXPECT_EQ(first_difference(inputs, count, library, own, 0x0e1 + static_cast<std::uint64_t>(total)), "")
        << inputs.what;
    total += count;
  }
  if (scale == 1) {
    EXPECT_GE(total, at_least);
  }
}

/// Inputs of every path whose results are not zero, one, infinite or NaN
/// alone: signs, payloads and both kinds of NaN included.
const std::vector<double> exp_specials = {
    0.0, -0.0, inf, -inf, 0x1p-1074, -0x1p-1074, 0x1p-1022, -0x1p-1022, std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(), std::bit_cast<double>(0x7ff8000000000000ull),
    std::bit_cast<double>(0xfff8000000000000ull), std::bit_cast<double>(0x7ff0000000000001ull),
    std::bit_cast<double>(0xfff4000000abcdefull), std::bit_cast<double>(0x7ffc0000deadbeefull)};

const std::vector<double> log_specials = {
    0.0, -0.0, inf, -inf, -1.0, -0x1p-1074, -std::numeric_limits<double>::max(), 0x1p-1074, 0x1p-1023,
    std::bit_cast<double>(0x000fffffffffffffull), 0x1p-1022, 1.0, std::numeric_limits<double>::max(),
    std::bit_cast<double>(0x7ff8000000000000ull), std::bit_cast<double>(0xfff8000000000000ull),
    std::bit_cast<double>(0x7ff0000000000001ull), std::bit_cast<double>(0xfff4000000abcdefull),
    std::bit_cast<double>(0x7ffc0000deadbeefull)};

/// An exp input of a random path: 1 + x, the fast path, or out of range
/// (overflowing, underflowing, subnormal or no number at all).
double mixed_exp_input(check_stream& s, std::int64_t) {
  namespace c = exact_math::exp_constants;
  switch (s.next() % 5) {
    case 0: return random_bits(s, any_sign, 0, c::tiny_top);
    case 1: return random_bits(s, any_sign, c::large_top, 0x800);
    case 2: return s.uniform(-746.0, -708.0);
    default: return s.uniform(-20.0, 20.0);
  }
}

/// A log input of a random path: near 1, the usual path, subnormal, or none
/// of the library's fast path (zero, negative, infinite, NaN).
double mixed_log_input(check_stream& s, std::int64_t) {
  namespace c = exact_math::log_constants;
  switch (s.next() % 5) {
    case 0: return s.uniform(std::bit_cast<double>(c::near_one_low), std::bit_cast<double>(c::near_one_high));
    case 1: return random_bits(s, 0, 0, 1);
    case 2: return s.next() % 2 ? random_bits(s, any_sign, 0x7ff, 0x800) : -random_bits(s, 0, 0, 0x800);
    default: return s.uniform(0x1p-60, 1.0);
  }
}

class PortableMathAgainstTheCLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!exact_math::c_library_is_proven(&why)) GTEST_SKIP() << "nothing to compare with: " << why;
  }
};

TEST_F(PortableMathAgainstTheCLibrary, ExpEqualsItOverItsWholeRange) {
  namespace c = exact_math::exp_constants;
  // The k of x = k ln2/128 + r reaches 512 * 128 / ln2 on the fast path;
  // results overflow from k = 131072 and leave the subnormals below -137600.
  const std::int64_t k_span = 94600;
  const std::vector<input_class> classes = {
      {"every magnitude of the fast path, random bits", 20'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, c::tiny_top, c::large_top); }},
      {"a series' exponents, uniform in [-20, 20)", 10'000'000,
       [](check_stream& s, std::int64_t) { return s.uniform(-20.0, 20.0); }},
      {"every midpoint between two k of the fast path, 4 ulps around it", 9 * 2 * k_span,
       neighbourhoods([=](std::int64_t j) { return (j - k_span + 0.5) / c::inv_ln2_n; }, 4)},
      {"below 2^-54 (1 + x), random bits", 2'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, 0, c::tiny_top); }},
      {"512 <= |x| < 1024, random bits", 6'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, c::large_top, c::large_top + 1); }},
      {"results near overflow and in the subnormals, uniform", 8'000'000,
       [](check_stream& s, std::int64_t i) { return i % 4 == 0 ? s.uniform(708.0, 710.0) : s.uniform(-746.0, -708.0); }},
      {"every midpoint between two k whose results overflow or are subnormal, 10 ulps around it", 21 * 7600,
       neighbourhoods([](std::int64_t j) { return ((j < 7000 ? j - 137800 : j - 7000 + 130700) + 0.5) / c::inv_ln2_n; }, 10)},
      {"around 2^-54, 512, 1024, the largest finite result, the smallest normal and subnormal ones, 10^5 ulps",
       10 * 200'001,
       neighbourhoods(
           [](std::int64_t j) {
             const double centres[] = {0x1p-54,  -0x1p-54, 512.0,   -512.0, 1024.0, -1024.0, 0x1.62e42fefa39efp+9,
                                       -0x1.6232bdd7abcd2p+9, -0x1.74385446d71c3p+9, -0x1.74910d52d3051p+9};
             return centres[j];
           },
           100'000)},
      {"from 1024 on, infinities and NaNs, random bits", 2'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, c::large_top + 1, 0x800); }},
      {"zeros, extremes, infinities and NaNs of either sign and kind", static_cast<std::int64_t>(exp_specials.size()),
       each_of(exp_specials)},
      {"the self-check's inputs", static_cast<std::int64_t>(exact_math::exp_check_inputs().size()),
       each_of(exact_math::exp_check_inputs())},
  };
  expect_equal_to_library(classes, library_exp, exact_math::portable_exp, 40'000'000);
}

TEST_F(PortableMathAgainstTheCLibrary, LogEqualsItOverItsWholeRange) {
  namespace c = exact_math::log_constants;
  const auto near_one_low = std::bit_cast<double>(c::near_one_low);
  const auto near_one_high = std::bit_cast<double>(c::near_one_high);
  const auto table_boundary = [](std::int64_t index, std::uint64_t exponent) {
    return std::bit_cast<double>(((exponent << 52) & 0x7ff0000000000000) |
                                 (static_cast<std::uint64_t>(index) << 45) | (c::table_offset & 0x000fffffffffffff));
  };
  const std::vector<input_class> classes = {
      {"a polar r^2, uniform in (0, 1)", 10'000'000, [](check_stream& s, std::int64_t) { return s.uniform(0x1p-60, 1.0); }},
      {"every positive normal, random bits", 15'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, 0, 1, 0x7ff); }},
      {"the window near 1, uniform", 8'000'000,
       [=](check_stream& s, std::int64_t) { return s.uniform(near_one_low, near_one_high); }},
      {"every table boundary at every exponent, 4 ulps around it", 9 * 128 * 2046,
       neighbourhoods([=](std::int64_t j) { return table_boundary(j % 128, static_cast<std::uint64_t>(j / 128) + 1); },
                      4)},
      {"the ends of the window near 1 and 1 itself, 10^5 ulps", 3 * 200'001,
       neighbourhoods([=](std::int64_t j) { return j == 0 ? near_one_low : j == 1 ? near_one_high : 1.0; }, 100'000)},
      {"every positive subnormal magnitude, random bits", 8'000'000,
       [](check_stream& s, std::int64_t) {
         const std::uint64_t mantissa = s.next() & 0x000fffffffffffff;
         return std::bit_cast<double>(mantissa >> (s.next() % 52));
       }},
      {"every table boundary in every binade of the subnormals, 4 ulps around it", 9 * 128 * 52,
       neighbourhoods([=](std::int64_t j) { return std::ldexp(table_boundary(j % 128, 0x3ff), -1023 - static_cast<int>(j / 128)); },
                      4)},
      {"around the smallest normal and the smallest subnormals, 10^5 ulps", 2 * 200'001,
       neighbourhoods([](std::int64_t j) { return j == 0 ? 0x1p-1022 : 100'001 * 0x1p-1074; }, 100'000)},
      {"zero, negatives, infinities and NaNs, random bits", 4'000'000,
       [](check_stream& s, std::int64_t i) {
         return i % 2 ? random_bits(s, any_sign, 0x7ff, 0x800) : -random_bits(s, 0, 0, 0x800);
       }},
      {"zeros, extremes, infinities and NaNs of either sign and kind", static_cast<std::int64_t>(log_specials.size()),
       each_of(log_specials)},
      {"the self-check's inputs", static_cast<std::int64_t>(exact_math::log_check_inputs().size()),
       each_of(exact_math::log_check_inputs())},
  };
  expect_equal_to_library(classes, library_log, exact_math::portable_log, 40'000'000);
}

/// The own arrays of one path against the own scalar functions: the chosen
/// lanes (0), four (4) or eight (8).
class PortableMathLanes : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (GetParam() >= 4 && !exact_math::cpu_has_vector_math()) GTEST_SKIP() << "no AVX2 and FMA on this CPU";
    if (GetParam() == 8 && !exact_math::cpu_has_avx512_math()) GTEST_SKIP() << "no AVX-512 F, DQ and VL on this CPU";
  }

  struct function_pair {
    const char* what;
    scalar_function scalar;
    array_function array;
    double (*input)(check_stream&, std::int64_t);
  };

  static std::vector<function_pair> functions() {
    const int lanes = GetParam();
    return {{"exp", exact_math::portable_exp,
             lanes == 8   ? exact_math::portable_exp_array_avx512
             : lanes == 4 ? exact_math::portable_exp_array_avx2
                          : exact_math::portable_exp_array,
             mixed_exp_input},
            {"log", exact_math::portable_log,
             lanes == 8   ? exact_math::portable_log_array_avx512
             : lanes == 4 ? exact_math::portable_log_array_avx2
                          : exact_math::portable_log_array,
             mixed_log_input}};
  }
};

INSTANTIATE_TEST_SUITE_P(Lanes, PortableMathLanes, ::testing::Values(0, 4, 8),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 0 ? std::string("Chosen") : std::to_string(info.param);
                         });

// Vectors whose lanes each take a random path, so that slow-path lanes sit
// beside fast-path ones in every position.
TEST_P(PortableMathLanes, ArraysEqualTheScalarFunctionsOnEveryPath) {
  constexpr std::size_t block = 4096;
  const std::int64_t count = 4'000'000 / scale;
  for (const function_pair& f : functions()) {
    check_stream s(0x1a9e5);
    std::vector<double> x(block), y(block);
    for (std::int64_t done = 0; done < count; done += block) {
      for (double& v : x) v = f.input(s, 0);
      f.array(x.data(), y.data(), block);
      for (std::size_t i = 0; i < block; ++i) {
        const double expected = f.scalar(x[i]);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(y[i]), std::bit_cast<std::uint64_t>(expected))
            << f.what << ": " << describe(x[i], expected, y[i]);
      }
    }
  }
}

// Arrays of every length up to three vectors, from every alignment, apart and
// in place: the results are the scalar functions', and nothing past the end
// changes.
TEST_P(PortableMathLanes, ArraysOfEveryLengthAndOffset) {
  const double untouched = std::bit_cast<double>(0x7ff8dead0000beefull);  // a NaN neither function returns
  check_stream s(98);
  for (const function_pair& f : functions()) {
    for (std::size_t n = 0; n <= 25; ++n) {
      for (std::size_t offset = 0; offset < 8; ++offset) {
        for (int round = 0; round < 10; ++round) {
          std::vector<double> x(offset + n + 8, untouched), y(x.size(), untouched), expected(x.size(), untouched);
          for (std::size_t i = 0; i < n; ++i) {
            x[offset + i] = f.input(s, 0);
            expected[offset + i] = f.scalar(x[offset + i]);
          }
          f.array(x.data() + offset, y.data() + offset, n);
          ASSERT_EQ(std::memcmp(y.data(), expected.data(), y.size() * sizeof(double)), 0)
              << f.what << ", length " << n << ", offset " << offset;
          f.array(x.data() + offset, x.data() + offset, n);
          ASSERT_EQ(std::memcmp(x.data(), expected.data(), x.size() * sizeof(double)), 0)
              << f.what << " in place, length " << n << ", offset " << offset;
        }
      }
    }
  }
}

// The C library's exp and log set errno on overflow, underflow, a pole and a
// domain error; the own functions never do. So errno left alone after the
// arrays met such inputs in every lane shows that no lane called the C
// library.
TEST_P(PortableMathLanes, SlowPathLanesNeverCallTheCLibrary) {
  const std::vector<double> exp_inputs = {2000.0, -2000.0, 710.0, -745.2, -744.0, 709.0, 1.0, 800.0, 1e300};
  const std::vector<double> log_inputs = {0.0, -0.0, -1.0, -inf, -0x1p-1074, 0.5, -2.0, 0.0, -1e300};
  volatile double overflowing = 2000.0, pole = 0.0;
  errno = 0;
  [[maybe_unused]] const double library_exp_result = std::exp(overflowing);
  const int exp_errno = errno;
  errno = 0;
  [[maybe_unused]] const double library_log_result = std::log(pole);
  const int log_errno = errno;
  if (exp_errno == 0 || log_errno == 0) GTEST_SKIP() << "this C library's exp or log sets no errno: nothing to tell";

  for (const function_pair& f : functions()) {
    const std::vector<double>& inputs = f.scalar == exact_math::portable_exp ? exp_inputs : log_inputs;
    for (std::size_t n = 1; n <= inputs.size(); ++n) {
      std::vector<double> y(n);
      errno = 0;
      f.array(inputs.data(), y.data(), n);
      ASSERT_EQ(errno, 0) << f.what << " of the first " << n << " inputs";
    }
  }
}

// The suite runs as it is, with CASCADE_SCALAR_MATH=1 and with
// CASCADE_VECTOR_LANES=4. Only the CPU and those variables choose: the C
// library has no say.
TEST(PortableMathChoice, TheEnvironmentAndTheCpuChooseTheLanes) {
  const auto says = [](const char* name, const char* value) {
    const char* set = std::getenv(name);
    return set != nullptr && std::string(set) == value;
  };
  int expected = 8;
  if (exact_math::math_environment_problem() || says("CASCADE_SCALAR_MATH", "1") ||
      !exact_math::cpu_has_vector_math()) {
    expected = 1;
  } else if (says("CASCADE_VECTOR_LANES", "4") || !exact_math::cpu_has_avx512_math()) {
    expected = 4;
  }
  EXPECT_EQ(exact_math::portable_math_lanes(), expected);
}

}  // namespace
