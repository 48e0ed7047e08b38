// The array forms of the AVX-512 functions, over the C library's exp and log
// and over the portable ones. The tail shorter than eight lanes is a masked load
// padded with 1.0 (a fast-path input of both functions) and a masked store,
// so no element outside the arrays is read or written and every element
// takes the same path as in a full vector.
#include "exact_math/exp_log_avx512.h"
#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"

namespace exact_math {
namespace {

template <__m512d kernel(__m512d)>
EXACT_MATH_AVX512 void apply8(const double* x, double* y, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) _mm512_storeu_pd(y + i, kernel(_mm512_loadu_pd(x + i)));
  if (i < n) {
    const auto tail = static_cast<__mmask8>((1u << (n - i)) - 1);
    _mm512_mask_storeu_pd(y + i, tail, kernel(_mm512_mask_loadu_pd(avx512::splat(1.0), tail, x + i)));
  }
}

}  // namespace

EXACT_MATH_AVX512 void exp_array_avx512(const double* x, double* y, std::size_t n) {
  apply8<avx512::exp8<c_library_math>>(x, y, n);
}

EXACT_MATH_AVX512 void log_array_avx512(const double* x, double* y, std::size_t n) {
  apply8<avx512::log8<c_library_math>>(x, y, n);
}

EXACT_MATH_AVX512 void portable_exp_array_avx512(const double* x, double* y, std::size_t n) {
  apply8<avx512::exp8<portable_math>>(x, y, n);
}

EXACT_MATH_AVX512 void portable_log_array_avx512(const double* x, double* y, std::size_t n) {
  apply8<avx512::log8<portable_math>>(x, y, n);
}

}  // namespace exact_math
