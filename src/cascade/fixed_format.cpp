#include "cascade/fixed_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace cascade {
namespace {

constexpr std::uint64_t ten_to_15 = 1000000000000000ULL;

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/// Four digits of value < 10000 at out.
void write_4_digits(char* out, std::uint32_t value) {
  std::memcpy(out, digit_pairs + 2 * (value / 100), 2);
  std::memcpy(out + 2, digit_pairs + 2 * (value % 100), 2);
}

/// Fifteen digits of value < 10^15 at out. The value is cut into independent
/// 32-bit parts first, so the divisions do not wait on one another.
void write_15_digits(char* out, std::uint64_t value) {
  const auto high = static_cast<std::uint32_t>(value / 100000000);  // 7 digits
  const auto low = static_cast<std::uint32_t>(value % 100000000);   // 8 digits
  const std::uint32_t high_head = high / 10000;                       // 3 digits
  out[0] = static_cast<char>('0' + high_head / 100);
  std::memcpy(out + 1, digit_pairs + 2 * (high_head % 100), 2);
  write_4_digits(out + 3, high % 10000);
  write_4_digits(out + 7, low / 10000);
  write_4_digits(out + 11, low % 10000);
}

/// round(|x| * 10^15), half to even, for |x| < 9000 (so it fits 64 bits).
std::uint64_t scaled_magnitude(std::uint64_t bits) {
  const std::uint64_t biased_exponent = (bits >> 52) & 0x7ff;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  // |x| = mantissa * 2^-shift; below 9000 the shift is always at least 40.
  const std::uint64_t mantissa = biased_exponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int shift = biased_exponent == 0 ? 1074 : 1075 - static_cast<int>(biased_exponent);
  // The product is below 2^103: from shift 104 on it is under one half.
  if (shift > 103) return 0;
  const unsigned __int128 product = static_cast<unsigned __int128>(mantissa) * ten_to_15;
  std::uint64_t quotient = static_cast<std::uint64_t>(product >> shift);
  const unsigned __int128 remainder = product & ((static_cast<unsigned __int128>(1) << shift) - 1);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

char* format_large_or_special(char* out, double x) {
  if (!std::isfinite(x)) {
    const int length = std::snprintf(out, max_value_line, "%16.15lf\n", x);
    return out + length;
  }
  char* end = std::to_chars(out, out + max_value_line - 1, x, std::chars_format::fixed, 15).ptr;
  *end++ = '\n';
  return end;
}

}  // namespace

char* format_value(char* out, double x) {
  if (!(std::fabs(x) < 9000.0)) return format_large_or_special(out, x);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  if ((bits >> 63) != 0) *out++ = '-';  // also for values that round to zero

  const std::uint64_t scaled = scaled_magnitude(bits);
  const auto integer_part = static_cast<std::uint32_t>(scaled / ten_to_15);  // at most 9000
  const std::uint64_t decimals = scaled - integer_part * ten_to_15;
  if (integer_part < 10) {
    *out++ = static_cast<char>('0' + integer_part);
  } else {
    char digits[4];
    write_4_digits(digits, integer_part);
    const int length = integer_part >= 1000 ? 4 : integer_part >= 100 ? 3 : 2;
    std::memcpy(out, digits + (4 - length), static_cast<std::size_t>(length));
    out += length;
  }
  *out++ = '.';
  write_15_digits(out, decimals);
  out[15] = '\n';
  return out + 16;
}

}  // namespace cascade
