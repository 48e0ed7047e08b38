// energy_steps.h: the sums behind the check's view of the factors' law, per
// block of a series, in one pass over its values on the core's threads.
//
// A box of length L is L consecutive values starting at a multiple of L; its
// energy is the sum of their squares. Two boxes of length L that share a box
// of length 2L are siblings: in a dyadic cascade their energies differ by
// one step's factors, d = log(E_second) - log(E_first). For each box length,
// a block's row holds, over the sibling pairs inside it whose energies are
// both above 0, their count, the sum of d^2 and the sum of d^4.
//
// d is the same whatever factor the whole block shares, so the sums of
// blocks of different series may be added to make a new one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cascade {

class thread_team;

constexpr std::size_t columns_per_box_length = 3;

/// Fills sums[blocks][columns_per_box_length * length_count] for
/// values[0, count), blocks = count / block_length. The caller checks that
/// block_length divides count, that every box length is a power of two and
/// that twice each divides block_length. Each block's sums are added in
/// index order, whatever the number of threads.
void energy_step_sums(const double* values, std::int64_t count, std::int64_t block_length,
                      const std::int64_t* box_lengths, std::size_t length_count, double* sums, thread_team& team);

}  // namespace cascade
