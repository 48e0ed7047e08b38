#include "deviates/deviates.h"

#include "deviates/polar_gaussian.h"
#include "deviates/subtractive_engine.h"

namespace deviates {
namespace {

subtractive_engine process_engine;
bool initialized = false;
polar_gaussian process_gaussian;

}  // namespace

double uniform_deviate(std::int32_t& seed) {
  if (seed < 0 || !initialized) {
    process_engine.seed(seed);
    initialized = true;
    seed = 1;
  }
  return process_engine.next_unit();
}

double gaussian_deviate(std::int32_t& seed) {
  return process_gaussian([&seed] { return uniform_deviate(seed); });
}

}  // namespace deviates
