#include "cascade/population.h"

#include <cstdlib>

namespace cascade {

// Only low <= 1 is used, which keeps the returned pointer inside the block.
double* new_vector(std::int64_t low, std::int64_t high) {
  const std::int64_t slots = high - low + 2;
  auto* block = static_cast<double*>(std::malloc(static_cast<std::size_t>(slots) * sizeof(double)));
  return block == nullptr ? nullptr : block + (1 - low);
}

void free_vector(double* v, std::int64_t low, std::int64_t /*high*/) {
  if (v != nullptr) std::free(v - (1 - low));
}

}  // namespace cascade
