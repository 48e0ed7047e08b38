// seed.h: from a Unix second to the seed word that starts a run's stream.
//
// A run is seeded with a Unix second, the clock's or one given: the stream
// starts from minus that second, folded into [0, 2^31).
#pragma once

#include <cstdint>

namespace cascade {

/// The Unix second `seconds` as a run's seed second: a clock past 2^31 - 1
/// folded into [0, 2^31).
std::int32_t fold_seed_second(std::int64_t seconds);

/// The seed word of a start at Unix second `seconds`: the negated folded second.
std::int32_t seed_word_for(std::int64_t seconds);

/// The seed second of a run started now: the wall clock, folded.
std::int64_t seed_second_now();

}  // namespace cascade
