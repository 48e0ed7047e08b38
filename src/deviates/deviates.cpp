#include "deviates/deviates.h"

#include "deviates/polar_gaussian.h"
#include "deviates/subtractive_engine.h"

namespace deviates {
namespace {

subtractive_engine process_engine;
bool engine_initialized = false;
polar_gaussian process_gaussian;

}  // namespace

double uniform_deviate(std::int32_t& seed) {
  if (seed < 0 || !engine_initialized) {
    process_engine.seed(seed);
    engine_initialized = true;
    seed = 1;
  }
  return process_engine.next_unit();
}

double gaussian_deviate(std::int32_t& seed) {
  return process_gaussian([&seed] { return uniform_deviate(seed); });
}

}  // namespace deviates
