// The array forms of the AVX2 functions, over the C library's exp and log
// and over the portable ones; the tail shorter than four lanes goes through a
// padded vector, so every element takes the same path.
#include <cstring>

#include "exact_math/exp_log_avx2.h"
#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"

namespace exact_math {
namespace {

template <__m256d kernel(__m256d)>
EXACT_MATH_AVX2 void apply4(const double* x, double* y, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(y + i, kernel(_mm256_loadu_pd(x + i)));
  if (i < n) {
    double lanes[4] = {1.0, 1.0, 1.0, 1.0};
    std::memcpy(lanes, x + i, (n - i) * sizeof(double));
    _mm256_storeu_pd(lanes, kernel(_mm256_loadu_pd(lanes)));
    std::memcpy(y + i, lanes, (n - i) * sizeof(double));
  }
}

}  // namespace

EXACT_MATH_AVX2 void exp_array_vector(const double* x, double* y, std::size_t n) {
  apply4<avx2::exp4<c_library_math>>(x, y, n);
}

EXACT_MATH_AVX2 void log_array_vector(const double* x, double* y, std::size_t n) {
  apply4<avx2::log4<c_library_math>>(x, y, n);
}

EXACT_MATH_AVX2 void portable_exp_array_avx2(const double* x, double* y, std::size_t n) {
  apply4<avx2::exp4<portable_math>>(x, y, n);
}

EXACT_MATH_AVX2 void portable_log_array_avx2(const double* x, double* y, std::size_t n) {
  apply4<avx2::log4<portable_math>>(x, y, n);
}

}  // namespace exact_math
