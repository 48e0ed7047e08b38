// polar_pairs_avx512.h: the polar accept test eight pairs at a time.
//
// Every operation is the scalar one, lane by lane and in the same order
// (packed conversion, products, differences and sums are exact IEEE, and no
// multiply-add is fused), so the accepted pairs are the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "deviates/polar_pairs.h"

namespace deviates {

/// The CPU runs screen_pairs_avx512 (AVX-512 F and DQ, enabled by the OS).
bool cpu_screens_pairs_avx512();

/// Turns draws[0, 2m) into pairs, keeps the accepted ones at w1_out[*taken..]
/// and w2_out[*taken..],
/// raising *taken, and returns 2m: the draws used. m is the largest multiple
/// of 8 with 2m <= draw_count such that the accepted pairs cannot pass
/// w1_out[room - 1]. Slots after the last accepted pair, below room, may be
/// overwritten. Only where cpu_screens_pairs_avx512().
std::size_t screen_pairs_avx512(const std::int32_t* draws, std::size_t draw_count, double* w1_out,
                                double* w2_out, std::size_t room, std::size_t* taken);

}  // namespace deviates
