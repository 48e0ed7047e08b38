#include "exact_math/vector_math.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exact_math/self_check_inputs.h"

namespace exact_math {

bool cpu_has_vector_math() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool cpu_has_avx512_math() {
  // The eight-lane functions are compiled for F, DQ and VL (the last lets the
  // compiler use EVEX forms of the narrower operations too).
  return cpu_has_vector_math() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl");
}

namespace {

using array_function = void (*)(const double*, double*, std::size_t);

bool bits_equal(const std::vector<double>& a, const std::vector<double>& b) {
  return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool environment_says(const char* name, const char* value) {
  const char* set = std::getenv(name);
  return set != nullptr && std::strcmp(set, value) == 0;
}

bool agrees_with_library(array_function exp_array, array_function log_array) {
  const std::vector<double> exp_inputs = exp_check_inputs();
  const std::vector<double> log_inputs = log_check_inputs();
  std::vector<double> library(exp_inputs.size()), vector(exp_inputs.size());
  for (std::size_t i = 0; i < exp_inputs.size(); ++i) library[i] = std::exp(exp_inputs[i]);
  exp_array(exp_inputs.data(), vector.data(), exp_inputs.size());
  if (!bits_equal(library, vector)) return false;
  library.resize(log_inputs.size());
  vector.resize(log_inputs.size());
  for (std::size_t i = 0; i < log_inputs.size(); ++i) library[i] = std::log(log_inputs[i]);
  log_array(log_inputs.data(), vector.data(), log_inputs.size());
  return bits_equal(library, vector);
}

int choose_lanes() {
  if (environment_says("CASCADE_SCALAR_MATH", "1") || !cpu_has_vector_math() || !vector_math_agrees_with_library())
    return 1;
  if (!environment_says("CASCADE_VECTOR_LANES", "4") && cpu_has_avx512_math() && avx512_math_agrees_with_library())
    return 8;
  return 4;
}

}  // namespace

bool vector_math_agrees_with_library() { return agrees_with_library(exp_array_vector, log_array_vector); }

bool avx512_math_agrees_with_library() { return agrees_with_library(exp_array_avx512, log_array_avx512); }

int vector_math_lanes() {
  static const int lanes = choose_lanes();
  return lanes;
}

bool vector_math_active() { return vector_math_lanes() > 1; }

}  // namespace exact_math
