// population.h: memory for a series' values and weights.
#pragma once

#include <cstddef>

namespace cascade {

/// Large vectors are filled front to back: huge pages cut the page faults
/// and the TLB misses by a factor of 512. Only a hint, for the whole 2 MiB
/// pages inside the block; failure is harmless.
void prefer_huge_pages(void* block, std::size_t bytes);

}  // namespace cascade
