#include "cascade/population.h"

#include <sys/mman.h>

#include <cstdint>

namespace cascade {

void prefer_huge_pages(void* block, std::size_t bytes) {
  constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(block) + huge_page - 1) & ~(huge_page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(huge_page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace cascade
