// scalar_math.h: the two scalar exp and log the vector functions can be
// built over. A vector lane off the fast path (exp: |x| >= 512 or NaN; log:
// zero, negative, subnormal, infinite or NaN) calls the scalar function of
// the math the vector function was instantiated for, and the series
// kernels' scalar forms compute with the same one.
#pragma once

#include <cmath>

#include "exact_math/portable_math.h"

namespace exact_math {

/// The C library's exp and log: the vector functions then equal the library
/// only where it is a proven one (vector_math.h).
struct c_library_math {
  static double exp(double x) { return std::exp(x); }
  static double log(double x) { return std::log(x); }
};

/// The project's own exp and log: the same bits on every machine.
struct portable_math {
  static double exp(double x) { return portable_exp(x); }
  static double log(double x) { return portable_log(x); }
};

}  // namespace exact_math
