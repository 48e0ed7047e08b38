// The yardstick: the cascade written the straightforward way, kept only so
// the benchmark can time the real program against it and check that both
// write the same bytes. One thread, two population vectors with a copy after
// every step, one printf per value, the process-wide generators.
//
// yardstick_cascade seed_time lambda step_number n0 (arguments are trusted).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "deviates/deviates.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("yardstick_cascade seed_time lambda step_number n0\n", stderr);
    return 2;
  }
  std::int32_t seed = -static_cast<std::int32_t>(std::atol(argv[1]));
  const double lambda = std::atof(argv[2]);
  const std::int32_t step_number = static_cast<std::int32_t>(std::atol(argv[3]));
  const std::int32_t n0 = static_cast<std::int32_t>(std::atol(argv[4]));
  const long long count = static_cast<long long>(n0) << step_number;

  // Addressed from 1, as the population vectors are.
  double* children = static_cast<double*>(std::malloc((count + 1) * sizeof(double)));
  double* parents = static_cast<double*>(std::malloc((count + 1) * sizeof(double)));
  if (children == nullptr || parents == nullptr) return 1;

  const double sigma = std::sqrt(lambda * lambda / step_number);
  for (long long j = 1; j <= n0; ++j) parents[j] = 1.0;
  long long n = n0;
  for (std::int32_t step = 0; step < step_number; ++step) {
    const double s2 = sigma * sigma;
    for (long long j = 1; j <= n; ++j) {
      double z = deviates::gaussian_deviate(seed);
      children[2 * j - 1] = std::exp(sigma * z - s2) * parents[j];
      z = deviates::gaussian_deviate(seed);
      children[2 * j] = std::exp(sigma * z - s2) * parents[j];
    }
    n *= 2;
    std::memcpy(parents + 1, children + 1, n * sizeof(double));
  }
  for (long long i = 1; i <= n; ++i) children[i] = deviates::gaussian_deviate(seed) * children[i];

  double sum = 0.0;
  for (long long i = 1; i <= n; ++i) sum += children[i];
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (long long i = 1; i <= n; ++i) squares += (children[i] - mean) * (children[i] - mean);
  std::fprintf(stderr, "N = %ld, mean = %lf, SD = %lf\n", static_cast<long>(n), mean,
               std::sqrt(squares / static_cast<double>(n)));
  for (long long i = 1; i <= n; ++i) std::printf("%16.15lf\n", children[i]);

  std::free(children);
  std::free(parents);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
