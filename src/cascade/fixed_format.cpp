#include "cascade/fixed_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

/// Eight digits of value < 10^8 at out, computed side by side in the lanes
/// of one 64-bit word (little-endian byte order puts the first digit first):
/// two lanes of four digits, four of two, eight of one. Each lane's
/// division is a multiplication that is exact for the lane's range and
/// cannot carry into the next lane.
[[maybe_unused]] void write_8_digits(char* out, std::uint32_t value) {
  if constexpr (std::endian::native != std::endian::little) {
    write_4_digits(out, value / 10000);
    write_4_digits(out + 4, value % 10000);
    return;
  }
  const std::uint64_t fours = value / 10000 | std::uint64_t{value % 10000} << 32;
  const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;  // x / 100 for x < 43699
  const std::uint64_t twos = hundreds | (fours - hundreds * 100) << 16;
  const std::uint64_t tens = ((twos * 103) >> 10) & 0x000F000F000F000FULL;  // x / 10 for x < 179
  const std::uint64_t digits = tens | (twos - tens * 10) << 8;
  const std::uint64_t text = digits + 0x3030303030303030ULL;
  std::memcpy(out, &text, 8);
}

/// Sixteen digits, those of high < 10^8 and then those of low < 10^8.
void write_16_digits(char* out, std::uint32_t high, std::uint32_t low) {
#if defined(__SSE2__)
  // The same halving as write_8_digits, in the lanes of one SSE2 register:
  // two 64-bit lanes of eight digits, four 32-bit lanes of four, eight
  // 16-bit lanes of two, sixteen bytes of one.
  const __m128i eights = _mm_set_epi64x(low, high);
  const __m128i fours_high = _mm_srli_epi64(_mm_mul_epu32(eights, _mm_set1_epi32(static_cast<int>(0xd1b71759))), 45);
  const __m128i fours_low = _mm_sub_epi32(eights, _mm_mul_epu32(fours_high, _mm_set1_epi32(10000)));
  const __m128i fours = _mm_or_si128(fours_high, _mm_slli_epi64(fours_low, 32));
  const __m128i twos_high = _mm_srli_epi16(_mm_mulhi_epu16(fours, _mm_set1_epi16(5243)), 3);  // x / 100, x < 10^4
  const __m128i twos_low = _mm_sub_epi16(fours, _mm_mullo_epi16(twos_high, _mm_set1_epi16(100)));
  const __m128i twos = _mm_or_si128(twos_high, _mm_slli_epi32(twos_low, 16));
  const __m128i tens = _mm_mulhi_epu16(twos, _mm_set1_epi16(6554));  // x / 10, x < 100
  const __m128i ones = _mm_sub_epi16(twos, _mm_mullo_epi16(tens, _mm_set1_epi16(10)));
  const __m128i digits = _mm_or_si128(tens, _mm_slli_epi16(ones, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_add_epi8(digits, _mm_set1_epi8('0')));
#else
  write_8_digits(out, high);
  write_8_digits(out + 8, low);
#endif
}

/// round(|x| * 10^15), half to even, for |x| < 9000 (so it fits 64 bits),
/// from the exact 128-bit product of the mantissa and 10^15.
std::uint64_t exactly_scaled_magnitude(std::uint64_t bits) {
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

/// The same, mostly without 128-bit arithmetic. 10^15 is a double, so
/// y = |x| * 1e15 is the exact product rounded once (to nearest, the
/// default mode). Below 2^53 every half-integer is a double, so y falls on
/// the same side of each half-integer as the exact product, or on it:
/// rounding y gives the right integer unless y lies exactly on a half, which
/// then may or may not be a true tie and is settled exactly. From 2^52 on y
/// is already the exact product rounded to an integer, half to even.
std::uint64_t scaled_magnitude(double magnitude, std::uint64_t bits) {
  const double y = magnitude * 1e15;
  if (!(y < 0x1p53)) return exactly_scaled_magnitude(bits);
  // Signed conversions: single instructions, and y fits.
  const auto whole = static_cast<std::int64_t>(y);
  const double fraction = y - static_cast<double>(whole);  // exact
  if (fraction == 0.5) [[unlikely]] return exactly_scaled_magnitude(bits);
  // Rounding up or down is a coin toss for these values: no branch for it.
  return static_cast<std::uint64_t>(whole) + static_cast<std::uint64_t>(fraction > 0.5);
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
  const double magnitude = std::fabs(x);
  if (!(magnitude < 9000.0)) return format_large_or_special(out, x);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  *out = '-';  // kept for negative values, also those that round to zero
  out += bits >> 63;

  // The line's length comes from the magnitude alone, so the next line's
  // place is known before this one's digits are. (Rounding to 15 decimals
  // never carries across 10, 100 or 1000: the doubles just below them lie
  // more than half a unit of the 15th decimal away.)
  const int integer_digits = magnitude < 10.0 ? 1 : magnitude < 100.0 ? 2 : magnitude < 1000.0 ? 3 : 4;
  char* const point = out + integer_digits;

  const std::uint64_t scaled = scaled_magnitude(magnitude, bits);
  const auto integer_part = static_cast<std::uint32_t>(scaled / ten_to_15);  // below 9000
  const std::uint64_t decimals = scaled - integer_part * ten_to_15;
  if (integer_digits == 1) {
    *out = static_cast<char>('0' + integer_part);
  } else {
    char digits[4];
    write_4_digits(digits, integer_part);
    std::memcpy(out, digits + (4 - integer_digits), static_cast<std::size_t>(integer_digits));
  }
  // The first eight of 16 digits (a leading zero, since decimals < 10^15)
  // land on the point's place, which the point then takes back.
  write_16_digits(point, static_cast<std::uint32_t>(decimals / 100000000),
                  static_cast<std::uint32_t>(decimals % 100000000));
  *point = '.';
  point[16] = '\n';
  return point + 17;
}

}  // namespace cascade
