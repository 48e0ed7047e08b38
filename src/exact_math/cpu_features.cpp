#include "exact_math/cpu_features.h"

namespace exact_math {

namespace {

struct cpu_features {
  bool avx2, fma, avx512;
};

const cpu_features& features() {
  static const cpu_features asked = [] {
    __builtin_cpu_init();
    return cpu_features{__builtin_cpu_supports("avx2") != 0, __builtin_cpu_supports("fma") != 0,
                        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                            __builtin_cpu_supports("avx512vl")};
  }();
  return asked;
}

}  // namespace

bool cpu_has_avx2() { return features().avx2; }
bool cpu_has_avx2_fma() { return features().avx2 && features().fma; }
bool cpu_has_avx512() { return features().avx512; }

}  // namespace exact_math
