#include "exact_math/cpu_features.h"

#include <cpuid.h>

namespace exact_math {

namespace {

/// CPUID leaf 7, EBX bit 29.
bool has_sha_extensions() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & (1u << 29)) != 0;
}

struct cpu_features {
  bool avx2, fma, avx512, sha;
};

const cpu_features& features() {
  static const cpu_features asked = [] {
    __builtin_cpu_init();
    return cpu_features{__builtin_cpu_supports("avx2") != 0, __builtin_cpu_supports("fma") != 0,
                        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                            __builtin_cpu_supports("avx512vl"),
                        has_sha_extensions() && __builtin_cpu_supports("sse4.1")};
  }();
  return asked;
}

}  // namespace

bool cpu_has_avx2() { return features().avx2; }
bool cpu_has_avx2_fma() { return features().avx2 && features().fma; }
bool cpu_has_avx512() { return features().avx512; }
bool cpu_has_sha() { return features().sha; }

}  // namespace exact_math
