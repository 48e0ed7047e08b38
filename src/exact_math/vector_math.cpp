#include "exact_math/vector_math.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exact_math/cpu_features.h"
#include "exact_math/math_environment.h"
#include "exact_math/self_check_inputs.h"

namespace exact_math {

bool cpu_has_vector_math() { return cpu_has_avx2_fma(); }

bool cpu_has_avx512_math() { return cpu_has_avx2_fma() && cpu_has_avx512(); }

namespace {

using array_function = void (*)(const double*, double*, std::size_t);

bool bits_equal(const std::vector<double>& a, const std::vector<double>& b) {
  return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

using detail::environment_says;
using detail::environment_value;

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

/// Whether `name` in this process resolves to the function that libm itself
/// defines: a preloaded library can put other functions in their place,
/// which the self-check's sample would not necessarily tell.
bool resolves_to_libm(void* libm, const char* name) {
  void* own = dlsym(libm, name);
  return own != nullptr && dlsym(RTLD_DEFAULT, name) == own;
}

struct math_path {
  int lanes;
  std::string description;
};

math_path scalar_path(const std::string& reason) { return {1, "scalar (the C library's exp and log): " + reason}; }

math_path choose_path() {
  if (math_environment_problem()) return scalar_path("the environment's math setting is refused");
  if (environment_says("CASCADE_SCALAR_MATH", "1")) return scalar_path("CASCADE_SCALAR_MATH=1");
  if (!cpu_has_vector_math()) return scalar_path("the CPU has no AVX2 and FMA");
  std::string why;
  if (!c_library_is_proven(&why)) return scalar_path(why);
  if (!vector_math_agrees_with_library()) return scalar_path("the self-check found the vector functions differ");
  const std::string checked = ", bit-identical to the C library (GNU C library " +
                              std::string(gnu_get_libc_version()) + ")";
  if (environment_says("CASCADE_VECTOR_LANES", "4")) return {4, "4 lanes (AVX2)" + checked + "; CASCADE_VECTOR_LANES=4"};
  if (!cpu_has_avx512_math()) return {4, "4 lanes (AVX2)" + checked};
  if (!avx512_math_agrees_with_library()) {
    return {4, "4 lanes (AVX2)" + checked + "; the self-check found the eight-lane functions differ"};
  }
  return {8, "8 lanes (AVX-512)" + checked};
}

const math_path& chosen_path() {
  static const math_path path = choose_path();
  return path;
}

}  // namespace

bool vector_math_agrees_with_library() { return agrees_with_library(exp_array_vector, log_array_vector); }

bool avx512_math_agrees_with_library() { return agrees_with_library(exp_array_avx512, log_array_avx512); }

std::optional<environment_problem> math_environment_problem() {
  if (const char* scalar = environment_value("CASCADE_SCALAR_MATH");
      scalar != nullptr && std::strcmp(scalar, "1") != 0 && std::strcmp(scalar, "0") != 0) {
    return environment_problem{"CASCADE_SCALAR_MATH", scalar, "1 or 0"};
  }
  if (const char* lanes = environment_value("CASCADE_VECTOR_LANES");
      lanes != nullptr && std::strcmp(lanes, "4") != 0 && std::strcmp(lanes, "8") != 0) {
    return environment_problem{"CASCADE_VECTOR_LANES", lanes, "4 or 8"};
  }
  return std::nullopt;
}

bool c_library_is_proven(std::string* why) {
  const std::string version = gnu_get_libc_version();
  bool proven = false;
  for (const char* known : proven_c_libraries) proven = proven || version == known;
  if (!proven) {
    if (why != nullptr) *why = "the vector functions are not proven on GNU C library " + version;
    return false;
  }
  void* const libm = dlopen("libm.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (libm == nullptr) {
    // Not a replaced library: the look-up itself failed (for want of memory, say).
    if (why != nullptr) *why = "the C library's exp and log could not be examined";
    return false;
  }
  const bool own = resolves_to_libm(libm, "exp") && resolves_to_libm(libm, "log");
  dlclose(libm);
  if (!own && why != nullptr) *why = "exp or log is not the C library's own (a preloaded library replaces it)";
  return own;
}

const std::string& math_path_description() { return chosen_path().description; }

int vector_math_lanes() { return chosen_path().lanes; }

bool vector_math_active() { return vector_math_lanes() > 1; }

}  // namespace exact_math
