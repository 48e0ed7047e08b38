// vector_math.h: exp and log over arrays, four or eight lanes at a time,
// every result the bits of the C library's scalar exp and log.
//
// The vector path is taken only when the CPU has AVX2 and FMA, the
// environment does not say CASCADE_SCALAR_MATH=1, the process's exp and log
// are the C library's own (not interposed) of a version on which the vector
// functions were proven bit-identical over their whole ranges, and a
// start-up self-check finds them equal on inputs chosen to tell its
// algorithm from others. Eight lanes are used where the CPU also has AVX-512
// (F, DQ, VL) and the eight-lane functions pass the same check, unless the
// environment says CASCADE_VECTOR_LANES=4 (the four-lane path on such a CPU,
// for tests and comparisons). Anywhere else every call is the scalar C
// function, so results never depend on the path.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace exact_math {

/// A math variable of the environment set to a value it does not take:
/// CASCADE_SCALAR_MATH takes 1 or 0, CASCADE_VECTOR_LANES 4 or 8 (set but
/// empty counts as unset).
struct environment_problem {
  const char* variable;
  std::string value;
  const char* allowed;  ///< e.g. "4 or 8"
};
std::optional<environment_problem> math_environment_problem();

/// The C library versions on which the vector functions were proven
/// bit-identical to exp and log over their whole ranges (the differential
/// test's), as gnu_get_libc_version() names them.
inline constexpr const char* proven_c_libraries[] = {"2.36"};

/// The path in use and why, in a few words: "8 lanes (AVX-512), bit-identical
/// to the C library (GNU C library 2.36)" or "scalar (the C library's exp
/// and log): <reason>".
const std::string& math_path_description();

/// Whether this process's exp and log are those of a proven C library, and
/// not interposed (a preloaded library of other functions). `why` says what
/// failed.
bool c_library_is_proven(std::string* why = nullptr);

/// The lanes of the path in use in this process (decided once): 1 (the C
/// library), 4 (exp_array_vector, log_array_vector) or 8 (exp_array_avx512,
/// log_array_avx512).
int vector_math_lanes();

/// Whether a vector path is in use: vector_math_lanes() > 1.
bool vector_math_active();

/// The CPU can run the four-lane functions (AVX2 and FMA).
bool cpu_has_vector_math();

/// The CPU can run the eight-lane functions (AVX-512 F, DQ and VL, AVX2, FMA).
bool cpu_has_avx512_math();

/// The four-lane functions agree with the C library on the self-check's
/// inputs. Only where cpu_has_vector_math().
bool vector_math_agrees_with_library();

/// The same for the eight-lane functions. Only where cpu_has_avx512_math().
bool avx512_math_agrees_with_library();

/// y[i] = exp(x[i]) and y[i] = log(x[i]) for i < n (y may be x), four lanes
/// at a time; only where cpu_has_vector_math(). Callers choose by
/// vector_math_lanes() and call the C library where it is 1.
void exp_array_vector(const double* x, double* y, std::size_t n);
void log_array_vector(const double* x, double* y, std::size_t n);

/// The same, eight lanes at a time; only where cpu_has_avx512_math().
void exp_array_avx512(const double* x, double* y, std::size_t n);
void log_array_avx512(const double* x, double* y, std::size_t n);

}  // namespace exact_math
