// cpu_features.h: what the processor this process runs on can do, asked
// once; every vector path chooses by these.
#pragma once

namespace exact_math {

/// AVX2.
bool cpu_has_avx2();
/// AVX2 and FMA: what the four-lane exp and log are compiled for.
bool cpu_has_avx2_fma();
/// AVX-512 F, DQ and VL: what every eight-lane path is compiled for (VL
/// lets the compiler use EVEX forms of the narrower operations too).
bool cpu_has_avx512();
/// The SHA extensions with SSE4.1: what the SHA-256 of a results file's datasets uses.
bool cpu_has_sha();

}  // namespace exact_math
