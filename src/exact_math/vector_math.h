// vector_math.h: exp and log over arrays, four lanes at a time, every
// result the bits of the C library's scalar exp and log.
//
// The vector path is taken only when the CPU has AVX2 and FMA, the
// environment does not say CASCADE_SCALAR_MATH=1, and a start-up self-check
// finds the vector functions equal to this process's C library on inputs
// chosen to tell its algorithm from others. Anywhere else every call is the
// scalar C function, so results never depend on the path.
#pragma once

#include <cstddef>

namespace exact_math {

/// Whether the vector functions are in use in this process (decided once).
bool vector_math_active();

/// The CPU can run the vector functions (AVX2 and FMA).
bool cpu_has_vector_math();

/// The CPU can also run the eight-lane functions (AVX-512 F and DQ).
bool cpu_has_avx512_math();

/// The vector functions agree with the C library on the self-check's inputs.
/// Only where cpu_has_vector_math().
bool vector_math_agrees_with_library();

/// y[i] = exp(x[i]) and y[i] = log(x[i]) for i < n (y may be x), by the
/// vector functions; only where cpu_has_vector_math(). Callers choose by
/// vector_math_active() and call the C library otherwise.
void exp_array_vector(const double* x, double* y, std::size_t n);
void log_array_vector(const double* x, double* y, std::size_t n);

}  // namespace exact_math
