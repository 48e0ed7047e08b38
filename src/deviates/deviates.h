// deviates.h: the process-wide random deviates of a run.
//
// Both functions share one seed word. A negative word makes the next uniform
// draw rebuild the generator from its magnitude and set the word to 1, so a
// caller that keeps passing the same word draws one continuous sequence. The
// very first draw of the process initialises the generator whatever the
// word's sign.
//
// The state is process-wide and unsynchronised: call from one thread only.
// Code that wants its own stream uses subtractive_engine and polar_gaussian.
#pragma once

#include <cstdint>

namespace deviates {

/// A uniform deviate in [0, 1): an integer in [0, 10^9) times 1e-9.
double uniform_deviate(std::int32_t& seed);

/// A standard normal deviate; draws uniforms in pairs when none is cached.
double gaussian_deviate(std::int32_t& seed);

}  // namespace deviates
