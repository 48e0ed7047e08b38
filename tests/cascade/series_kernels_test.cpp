// The vector series kernels against the scalar ones of the same math (the C
// library's, and the own), bit for bit: pairs of every kind the polar method
// accepts (r^2 near 0, near 1 where the log takes its other path, and
// between), every step spread from 0 to one that sends exponents past the
// vector exp's fast path, counts that leave every possible tail, and a step
// done in place as the last pairs of a generation are. And the own kernels
// against the C library's, where it is a proven one.
#include "cascade/series_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "deviates/polar_gaussian.h"
#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"

namespace {

using cascade::series_kernels;

struct pair_set {
  std::vector<double> w1, w2;
};

/// Accepted pairs: a third uniform in the disc, a third with r^2 within
/// 2^-4 of 1 (the log's polynomial near one), a third tiny or on the axes.
pair_set accepted_pairs(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 bits(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0), angle(0.0, 6.283185307179586), near(0.9375, 1.0);
  pair_set p;
  while (p.w1.size() < count) {
    double w1 = unit(bits), w2 = unit(bits);
    switch (p.w1.size() % 3) {
      case 1: {
        const double r = std::sqrt(near(bits)), a = angle(bits);
        w1 = r * std::cos(a);
        w2 = r * std::sin(a);
        break;
      }
      case 2:
        w1 *= 1e-9;
        w2 = (bits() & 1) != 0 ? 0.0 : w2 * 1e-9;
        break;
      default:
        break;
    }
    if (deviates::polar_accepts(deviates::polar_rsq(w1, w2))) {
      p.w1.push_back(w1);
      p.w2.push_back(w2);
    }
  }
  return p;
}

std::vector<double> positive_values(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 bits(seed);
  std::lognormal_distribution<double> weight(0.0, 2.0);
  std::vector<double> v(count);
  for (double& x : v) x = weight(bits);
  return v;
}

/// The index of the first differing double, or -1.
long first_difference(const std::vector<double>& a, const std::vector<double>& b) {
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return static_cast<long>(i);
  return -1;
}

struct vector_form {
  int lanes;
  cascade::series_math math;
};

std::vector<vector_form> vector_forms() {
  std::vector<vector_form> forms;
  for (const auto math : {cascade::series_math::c_library, cascade::series_math::portable}) {
    if (exact_math::cpu_has_vector_math()) forms.push_back({4, math});
    if (exact_math::cpu_has_avx512_math()) forms.push_back({8, math});
  }
  return forms;
}

class SeriesKernels : public testing::TestWithParam<vector_form> {
 protected:
  const series_kernels& scalar = cascade::series_kernels_for(1, GetParam().math);
  const series_kernels& vector = cascade::series_kernels_for(GetParam().lanes, GetParam().math);
};

TEST_P(SeriesKernels, GrowAsTheScalarKernel) {
  const std::size_t counts[] = {1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 1001, 4096};
  const double sigmas[] = {0.0, 0.3, 1.7, 40.0, 150.0};
  for (const std::size_t count : counts) {
    const pair_set p = accepted_pairs(count, count);
    const std::vector<double> parents = positive_values(count, count + 1);
    for (const double sigma : sigmas) {
      for (const bool unit_parents : {true, false}) {
        std::vector<double> expected(2 * count), actual(2 * count);
        const double* from = unit_parents ? nullptr : parents.data();
        scalar.grow(p.w1.data(), p.w2.data(), count, from, expected.data(), sigma, sigma * sigma);
        vector.grow(p.w1.data(), p.w2.data(), count, from, actual.data(), sigma, sigma * sigma);
        const long at = first_difference(expected, actual);
        ASSERT_EQ(at, -1) << count << " pairs, sigma " << sigma << (unit_parents ? ", unit parents" : "")
                          << ": child " << at << " is " << actual[at] << ", not " << expected[at];
      }
    }
  }
}

// The last pairs of a generation run in place, in one call: n parents in
// the top half of 2n slots, their children over the whole. Every parent
// must be read before a child lands on it.
TEST_P(SeriesKernels, GrowInPlaceAsTheScalarKernel) {
  for (const std::size_t n : {1u, 5u, 8u, 13u, 64u, 333u}) {
    const pair_set p = accepted_pairs(n, 7 * n);
    const std::vector<double> parents = positive_values(n, 7 * n + 1);
    std::vector<double> expected(2 * n);
    scalar.grow(p.w1.data(), p.w2.data(), n, parents.data(), expected.data(), 0.3, 0.09);
    std::vector<double> slots(2 * n, 0.0);
    std::copy(parents.begin(), parents.end(), slots.begin() + static_cast<long>(n));
    vector.grow(p.w1.data(), p.w2.data(), n, slots.data() + n, slots.data(), 0.3, 0.09);
    EXPECT_EQ(first_difference(expected, slots), -1) << n << " parents";
  }
}

TEST_P(SeriesKernels, ModulateAsTheScalarKernel) {
  for (const std::size_t count : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 17u, 1001u, 4096u}) {
    const pair_set p = accepted_pairs(count, 3 * count);
    const std::vector<double> weights = positive_values(2 * count, 3 * count + 1);
    std::vector<double> expected = weights, actual = weights;
    scalar.modulate(p.w1.data(), p.w2.data(), count, expected.data());
    vector.modulate(p.w1.data(), p.w2.data(), count, actual.data());
    const long at = first_difference(expected, actual);
    ASSERT_EQ(at, -1) << count << " pairs: value " << at << " is " << actual[at] << ", not " << expected[at];
  }
}

INSTANTIATE_TEST_SUITE_P(Lanes, SeriesKernels, testing::ValuesIn(vector_forms()),
                         [](const testing::TestParamInfo<vector_form>& info) {
                           return std::to_string(info.param.lanes) +
                                  (info.param.math == cascade::series_math::portable ? "_own" : "");
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SeriesKernels);

// Where the C library is a proven one the own exp and log are its bits, so
// the own kernels make the very series the C library's make: the own polar
// factor is the generators' formula in the generators' order.
TEST(PortableMathSeriesKernels, EqualTheCLibrarysWhereItIsProven) {
  std::string why;
  if (!exact_math::c_library_is_proven(&why)) GTEST_SKIP() << "nothing to compare with: " << why;
  const series_kernels& library = cascade::series_kernels_for(1);
  const series_kernels& own = cascade::series_kernels_for(1, cascade::series_math::portable);
  const std::size_t count = 20'000;
  const pair_set p = accepted_pairs(count, 11);
  const std::vector<double> parents = positive_values(count, 12);
  for (const double sigma : {0.3, 150.0}) {
    std::vector<double> expected(2 * count), actual(2 * count);
    library.grow(p.w1.data(), p.w2.data(), count, parents.data(), expected.data(), sigma, sigma * sigma);
    own.grow(p.w1.data(), p.w2.data(), count, parents.data(), actual.data(), sigma, sigma * sigma);
    EXPECT_EQ(first_difference(expected, actual), -1) << "grow, sigma " << sigma;
  }
  std::vector<double> expected = positive_values(2 * count, 13), actual = expected;
  library.modulate(p.w1.data(), p.w2.data(), count, expected.data());
  own.modulate(p.w1.data(), p.w2.data(), count, actual.data());
  EXPECT_EQ(first_difference(expected, actual), -1) << "modulate";
}

// The process's own kernels are those of the own lanes, which the CPU and
// the environment choose (exact_math::portable_math_lanes() is tested with them).
TEST(PortableMathSeriesKernels, AreThoseOfTheOwnLanes) {
  const series_kernels& chosen = cascade::portable_math_series_kernels();
  const series_kernels& expected = cascade::series_kernels_for(exact_math::portable_math_lanes(), cascade::series_math::portable);
  EXPECT_EQ(chosen.grow, expected.grow);
  EXPECT_EQ(chosen.modulate, expected.modulate);
  EXPECT_NE(chosen.grow, cascade::series_kernels_for(exact_math::portable_math_lanes()).grow);
}

}  // namespace
