// population.h: the blocks of doubles that hold a generation of weights.
//
// A population vector is addressed from index 1: new_vector(1, n) makes one
// block of n + 1 doubles whose first slot is never touched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cascade {

/// Large vectors are filled front to back: huge pages cut the page faults
/// and the TLB misses by a factor of 512. Only a hint, for the whole 2 MiB
/// pages inside the block; failure is harmless.
void prefer_huge_pages(void* block, std::size_t bytes);

/// Null when the memory cannot be had; nothing is initialised.
double* new_vector(std::int64_t low, std::int64_t high);
/// Releases what new_vector(low, high) made; null is allowed.
void free_vector(double* v, std::int64_t low, std::int64_t high);

}  // namespace cascade
