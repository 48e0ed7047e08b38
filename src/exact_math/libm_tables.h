// libm_tables.h: the constants and tables of the C library's exp and log
// (glibc 2.36, the variants built for FMA that x86-64 dispatches to when the
// CPU has FMA and AVX2).
//
// The scalar constants are the ones the disassembly of those variants
// (objdump -d libm.so.6, the targets of the exp and log ifunc resolvers)
// loads; the tables are read out of the library's data by
// extract_libm_tables.py. The start-up self-check and the differential test
// hold the vector functions built on them equal to the library.
#pragma once

#include <cstdint>

namespace exact_math {

// exp: x = k ln2/128 + r, exp(x) = 2^(k/128) (1 + tail + r + C2 r^2 + ...).
namespace exp_constants {
inline constexpr double inv_ln2_n = 0x1.71547652b82fep+7;  ///< 128 / ln 2
inline constexpr double shift = 0x1.8p52;                 ///< rounds to an integer in the low bits
inline constexpr double neg_ln2_hi_n = -0x1.62e42fefa0000p-8;
inline constexpr double neg_ln2_lo_n = -0x1.cf79abc9e3b3ap-47;
inline constexpr double c2 = 0x1.ffffffffffdbdp-2;
inline constexpr double c3 = 0x1.555555555543cp-3;
inline constexpr double c4 = 0x1.55555cf172b91p-5;
inline constexpr double c5 = 0x1.1111167a4d017p-7;
/// |x| below 2^-54 (biased exponent below this): the result is 1 + x.
inline constexpr std::int64_t tiny_top = 0x3c9;
/// |x| at or above 512 (biased exponent from this): the library's slow paths.
inline constexpr std::int64_t large_top = 0x408;
}  // namespace exp_constants

/// Pairs {tail, scale bits} for i = 0..127: 2^(i/128) as scale bits minus
/// i << 45, and the tail that corrects its rounding.
extern const std::uint64_t exp_table[256];

// log: x = 2^k z, z near c (from the table), log x = k ln2 + log c + log1p(z/c - 1);
// inputs within [1 - 2^-4, 1 + 0x1.09p-4) take a longer polynomial in x - 1.
namespace log_constants {
inline constexpr double ln2_hi = 0x1.62e42fefa3800p-1;
inline constexpr double ln2_lo = 0x1.ef35793c76730p-45;
inline constexpr double a[5] = {-0x1.0000000000001p-1, 0x1.555555551305bp-2, -0x1.fffffffeb4590p-3,
                                0x1.999b324f10111p-3, -0x1.55575e506c89fp-3};
inline constexpr double b[11] = {-0x1p-1,
                                 0x1.5555555555577p-2,
                                 -0x1.ffffffffffdcbp-3,
                                 0x1.999999995dd0cp-3,
                                 -0x1.55555556745a7p-3,
                                 0x1.24924a344de30p-3,
                                 -0x1.fffffa4423d65p-4,
                                 0x1.c7184282ad6cap-4,
                                 -0x1.999eb43b068ffp-4,
                                 0x1.78182f7afd085p-4,
                                 -0x1.5521375d145cdp-4};
inline constexpr std::uint64_t near_one_low = 0x3fee000000000000;   ///< 1 - 2^-4
inline constexpr std::uint64_t near_one_high = 0x3ff1090000000000;  ///< 1 + 0x1.09p-4 (excluded)
inline constexpr std::uint64_t table_offset = 0x3fe6000000000000;
inline constexpr double split = 0x1p27;  ///< splits x - 1 into a 26-bit head and its rest
}  // namespace log_constants

/// Pairs {1/c, log c} for i = 0..127.
extern const double log_table[256];

}  // namespace exact_math
