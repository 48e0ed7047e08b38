// series_kernels_vector.h: the vector forms behind series_kernels_for(),
// each only for a CPU with its instruction sets. Pairs left over after the
// last whole vector go to the scalar forms, so every pair gets the same bits.
#pragma once

#include <cstddef>

namespace cascade {

void grow_avx2(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
               double sigma, double s2);
void modulate_avx2(const double* w1, const double* w2, std::size_t count, double* values);

void grow_avx512(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
                 double sigma, double s2);
void modulate_avx512(const double* w1, const double* w2, std::size_t count, double* values);

/// The scalar forms, for the leftover pairs.
void grow_tail(const double* w1, const double* w2, std::size_t count, const double* parents, double* children,
               double sigma, double s2);
void modulate_tail(const double* w1, const double* w2, std::size_t count, double* values);

}  // namespace cascade
