// vector_math_fuzz.cpp: the vector exp, log and polar factors against the C
// library's scalar functions on arbitrary bit patterns.
//
// Each 8 bytes of input are one double (any pattern: subnormals, NaNs with
// payloads, infinities, huge magnitudes). The vector exp and log, four lanes
// and (where the CPU has AVX-512) eight, must give exactly the library's bits
// for every one, and the packed polar factor the scalar one for every input
// that the polar method would accept as r^2. On a CPU without AVX2 and FMA
// there is nothing to compare.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "deviates/polar_factors.h"
#include "exact_math/vector_math.h"

namespace {

void require_same(const char* what, const std::vector<double>& x, const std::vector<double>& expected,
                  const std::vector<double>& actual) {
  if (expected.empty() || std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(double)) == 0) return;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::memcmp(&expected[i], &actual[i], sizeof(double)) != 0) {
      std::fprintf(stderr, "vector_math_fuzz: %s(%a): library %a, vector %a\n", what, x[i], expected[i], actual[i]);
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

  std::vector<deviates::polar_pair> pairs;
  std::vector<double> rsqs;
  for (const double rsq : x) {
    if (deviates::polar_accepts(rsq) && rsq > 0.0) {
      pairs.push_back({0.5, 0.5, rsq});
      rsqs.push_back(rsq);
    }
  }
  expected.resize(pairs.size());
  actual.resize(pairs.size());
  for (std::size_t k = 0; k < pairs.size(); ++k) expected[k] = pairs[k].factor();
  deviates::polar_factors_vector(pairs.data(), pairs.size(), actual.data());
  require_same("polar factor", rsqs, expected, actual);
  return 0;
}
