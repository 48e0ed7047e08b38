// vector_math_fuzz.cpp: the vector exp and log against the C library's
// scalar functions, and the vector series kernels against the scalar ones,
// on arbitrary bit patterns.
//
// Each 8 bytes of input are one double (any pattern: subnormals, NaNs with
// payloads, infinities, huge magnitudes). The vector exp and log, four lanes
// and (where the CPU has AVX-512) eight, must give exactly the library's bits
// for every one. Consecutive doubles that the polar method would accept as a
// pair (w1, w2) feed the series kernels, with the magnitude of the first
// double of the input as the step spread: the vector kernels must give the
// scalar kernels' bits.
// On a CPU without AVX2 and FMA there is nothing to compare.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cascade/series_kernels.h"
#include "deviates/polar_gaussian.h"
#include "exact_math/vector_math.h"

namespace {

/// Aborts on the first result that differs; result i came from input
/// x[i / per_input].
void require_same(const char* what, const std::vector<double>& x, const std::vector<double>& expected,
                  const std::vector<double>& actual, std::size_t per_input = 1) {
  if (expected.empty() || std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(double)) == 0) return;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (std::memcmp(&expected[i], &actual[i], sizeof(double)) != 0) {
      std::fprintf(stderr, "vector_math_fuzz: %s(%a), result %zu of %zu: scalar %a, vector %a\n", what,
                   x[i / per_input], i, expected.size(), expected[i], actual[i]);
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool vector = exact_math::cpu_has_vector_math();
  static const bool avx512 = exact_math::cpu_has_avx512_math();
  if (!vector) return 0;
  std::vector<double> x(size / sizeof(double));
  if (!x.empty()) std::memcpy(x.data(), data, x.size() * sizeof(double));
  std::vector<double> expected(x.size()), actual(x.size());

  for (std::size_t i = 0; i < x.size(); ++i) expected[i] = std::exp(x[i]);
  exact_math::exp_array_vector(x.data(), actual.data(), x.size());
  require_same("exp", x, expected, actual);
  if (avx512) {
    actual.assign(x.size(), 0.0);  // none of the four-lane results left over
    exact_math::exp_array_avx512(x.data(), actual.data(), x.size());
    require_same("exp (eight lanes)", x, expected, actual);
  }

  for (std::size_t i = 0; i < x.size(); ++i) expected[i] = std::log(x[i]);
  exact_math::log_array_vector(x.data(), actual.data(), x.size());
  require_same("log", x, expected, actual);
  if (avx512) {
    actual.assign(x.size(), 0.0);  // none of the four-lane results left over
    exact_math::log_array_avx512(x.data(), actual.data(), x.size());
    require_same("log (eight lanes)", x, expected, actual);
  }

  std::vector<double> w1, w2;
  for (std::size_t i = 0; i + 1 < x.size(); i += 2) {
    if (deviates::polar_accepts(deviates::polar_rsq(x[i], x[i + 1]))) {
      w1.push_back(x[i]);
      w2.push_back(x[i + 1]);
    }
  }
  // A run's spread is sqrt(lambda^2 / step_number) of a finite lambda:
  // never negative and never a NaN, but infinite once lambda^2 overflows.
  // (A NaN spread would carry its payload into the results, and which of
  // two NaN operands an operation passes on is not something the paths are
  // held to; every NaN a run makes is the processor's one default NaN.)
  const double sigma = x.empty() || std::isnan(x[0]) ? 0.0 : std::fabs(x[0]);
  const cascade::series_kernels& scalar = cascade::series_kernels_for(1);
  for (const int lanes : {4, 8}) {
    if (lanes == 8 && !avx512) continue;
    const cascade::series_kernels& kernels = cascade::series_kernels_for(lanes);
    expected.assign(2 * w1.size(), 0.0);
    actual.assign(2 * w1.size(), 0.0);
    scalar.grow(w1.data(), w2.data(), w1.size(), nullptr, expected.data(), sigma, sigma * sigma);
    kernels.grow(w1.data(), w2.data(), w1.size(), nullptr, actual.data(), sigma, sigma * sigma);
    require_same("children of w1", w1, expected, actual, 2);
    std::vector<double> values(2 * w1.size());
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = x[i % x.size()];
    expected = values;
    actual = values;
    scalar.modulate(w1.data(), w2.data(), w1.size(), expected.data());
    kernels.modulate(w1.data(), w2.data(), w1.size(), actual.data());
    require_same("modulated value", values, expected, actual);
  }
  return 0;
}
