// math_environment.h: reading the math settings of the environment
// (CASCADE_SCALAR_MATH, CASCADE_VECTOR_LANES), shared by both math paths.
#pragma once

#include <cstdlib>
#include <cstring>

namespace exact_math::detail {

/// The variable's value, or null when it is unset or empty.
inline const char* environment_value(const char* name) {
  const char* set = std::getenv(name);
  return set != nullptr && *set != '\0' ? set : nullptr;
}

inline bool environment_says(const char* name, const char* value) {
  const char* set = environment_value(name);
  return set != nullptr && std::strcmp(set, value) == 0;
}

}  // namespace exact_math::detail
