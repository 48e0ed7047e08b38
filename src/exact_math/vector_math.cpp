#include "exact_math/vector_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exact_math/libm_tables.h"
#include "exact_math/self_check_inputs.h"

namespace exact_math {

bool cpu_has_vector_math() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool cpu_has_avx512_math() {
  return cpu_has_vector_math() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
}

namespace {

bool bits_equal(const std::vector<double>& a, const std::vector<double>& b) {
  return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool scalar_forced() {
  const char* value = std::getenv("CASCADE_SCALAR_MATH");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

bool vector_math_agrees_with_library() {
  const std::vector<double> exp_inputs = exp_check_inputs();
  const std::vector<double> log_inputs = log_check_inputs();
  std::vector<double> library(exp_inputs.size()), vector(exp_inputs.size());
  for (std::size_t i = 0; i < exp_inputs.size(); ++i) library[i] = std::exp(exp_inputs[i]);
  exp_array_vector(exp_inputs.data(), vector.data(), exp_inputs.size());
  if (!bits_equal(library, vector)) return false;
  library.resize(log_inputs.size());
  vector.resize(log_inputs.size());
  for (std::size_t i = 0; i < log_inputs.size(); ++i) library[i] = std::log(log_inputs[i]);
  log_array_vector(log_inputs.data(), vector.data(), log_inputs.size());
  return bits_equal(library, vector);
}

bool vector_math_active() {
  static const bool active = !scalar_forced() && cpu_has_vector_math() && vector_math_agrees_with_library();
  return active;
}

}  // namespace exact_math
