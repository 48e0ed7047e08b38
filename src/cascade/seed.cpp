#include "cascade/seed.h"

#include <ctime>

namespace cascade {

std::int32_t fold_seed_second(std::int64_t seconds) { return static_cast<std::int32_t>(seconds & 0x7fffffff); }

std::int32_t seed_word_for(std::int64_t seconds) { return -fold_seed_second(seconds); }

std::int64_t seed_second_now() { return fold_seed_second(std::time(nullptr)); }

}  // namespace cascade
