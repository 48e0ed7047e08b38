#include "cascade/population.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace cascade {
void prefer_huge_pages(void* block, std::size_t bytes) {
  constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(block) + huge_page - 1) & ~(huge_page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(huge_page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Only low <= 1 is used, which keeps the returned pointer inside the block.
double* new_vector(std::int64_t low, std::int64_t high) {
  const auto bytes = static_cast<std::size_t>(high - low + 2) * sizeof(double);
  auto* block = static_cast<double*>(std::malloc(bytes));
  if (block == nullptr) return nullptr;
  prefer_huge_pages(block, bytes);
  return block + (1 - low);
}

void free_vector(double* v, std::int64_t low, std::int64_t /*high*/) {
  if (v != nullptr) std::free(v - (1 - low));
}

}  // namespace cascade
