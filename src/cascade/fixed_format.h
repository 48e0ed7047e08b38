// fixed_format.h: a value line exactly as printf("%16.15lf\n") writes it,
// several times faster.
//
// For |x| < 9000 the digits come from exact integer arithmetic: x * 10^15 as
// a 128-bit product of the mantissa, shifted and rounded half to even on an
// exact tie, as the C library rounds. Larger and non-finite values take the
// library's own exact conversions. Every finite value prints at least 17
// characters, so the field width of 16 pads only inf and nan.
#pragma once

#include <cstddef>

namespace cascade {

/// Longest line format_value writes: up to 309 integer digits, sign, point,
/// 15 decimals and newline, with room to spare.
inline constexpr std::size_t max_value_line = 352;

/// Writes x and a newline at `out` (max_value_line bytes free); returns the end.
char* format_value(char* out, double x);

}  // namespace cascade
