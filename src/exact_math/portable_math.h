// portable_math.h: exp and log of the project's own, the same bits on every
// machine whatever its C library.
//
// The algorithm, tables and order of operations are those of the vector
// functions (exp_log_avx2.h), so on the C library they were proven on
// (glibc 2.36) portable_exp and portable_log equal its exp and log for every input.
// The scalar form fuses exactly where the vector forms do, through std::fma,
// which is correctly rounded everywhere; every other operation is a plain
// IEEE one in the same order. The inputs the library leaves its fast path
// for (exp: |x| >= 512, infinities, NaN; log: zero, negatives, subnormals,
// infinities, NaN) are handled here as the library handles them, so nothing
// reaches the C library's exp or log. Unlike the library, these functions
// never set errno.
#pragma once

#include <cstddef>
#include <string>

namespace exact_math {

double portable_exp(double x);
double portable_log(double x);

/// y[i] = portable_exp(x[i]) and y[i] = portable_log(x[i]) for i < n (y may be x), by
/// the lanes of portable_math_lanes(). Every path gives the same bits.
void portable_exp_array(const double* x, double* y, std::size_t n);
void portable_log_array(const double* x, double* y, std::size_t n);

/// The lanes the portable arrays use in this process (decided once): 8 where the
/// CPU has AVX-512 F, DQ and VL, else 4 where it has AVX2 and FMA, else 1;
/// 1 with CASCADE_SCALAR_MATH=1 and at most 4 with CASCADE_VECTOR_LANES=4,
/// and 1 where either variable holds a value it does not take. The C
/// library plays no part: these lanes do not depend on it.
int portable_math_lanes();

/// The portable path in use, in a few words: "the program's own exp and log,
/// 8 lanes (AVX-512)", or "... scalar (std::fma)".
std::string portable_math_description();

/// The portable arrays four lanes at a time (only where cpu_has_vector_math())
/// and eight (only where cpu_has_avx512_math()), for tests and comparisons.
void portable_exp_array_avx2(const double* x, double* y, std::size_t n);
void portable_log_array_avx2(const double* x, double* y, std::size_t n);
void portable_exp_array_avx512(const double* x, double* y, std::size_t n);
void portable_log_array_avx512(const double* x, double* y, std::size_t n);

}  // namespace exact_math
