// series_kernels_vector.h: the vector forms behind series_kernels_for(),
// each only for a CPU with its instruction sets, over the C library's math
// and over the portable math (the `_portable` forms). Pairs left over after the last whole
// vector go to the scalar form of the same math, so every pair gets the same
// bits.
#pragma once

#include <cstddef>

namespace cascade {

/// Pairs per run, in every form: the factors of a run are computed in a loop
/// of their own, where the long chains of neighbouring pairs (log, division,
/// square root) overlap in the processor, and stay in L1 for the loop that
/// uses them.
inline constexpr std::size_t run_pairs = 256;

/// How far ahead (in pairs) the vector forms ask for parents and values: a
/// long series has left the cache, and the processor's own prefetching does
/// not keep up with these loops (one thread at 2^24: 85 to 75 ms).
inline constexpr std::size_t ahead = 512;

void grow_avx2(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
               double sigma, double s2);
void modulate_avx2(const double* w1, const double* w2, std::size_t count, double* values);
void grow_avx2_portable(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                   double sigma, double s2);
void modulate_avx2_portable(const double* w1, const double* w2, std::size_t count, double* values);

void grow_avx512(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                 double sigma, double s2);
void modulate_avx512(const double* w1, const double* w2, std::size_t count, double* values);
void grow_avx512_portable(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                     double sigma, double s2);
void modulate_avx512_portable(const double* w1, const double* w2, std::size_t count, double* values);

/// The scalar forms, which also take the pairs left over after the last
/// whole vector: `Math` exact_math::c_library_math or exact_math::portable_math
/// (both instantiated in series_kernels.cpp).
template <class Math>
void grow_scalar(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                 double sigma, double s2);
template <class Math>
void modulate_scalar(const double* w1, const double* w2, std::size_t count, double* values);

}  // namespace cascade
