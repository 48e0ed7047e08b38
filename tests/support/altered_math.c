/* A log that differs from the C library's by one ulp on one input in 65536
 * (those whose low 16 bits are 0x1234), and is the library's elsewhere: a
 * C library that a sampled self-check could take for the proven one.
 * Loaded through LD_PRELOAD. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

double log(double x) {
  static double (*library_log)(double);
  if (library_log == NULL) library_log = (double (*)(double))dlsym(RTLD_NEXT, "log");
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  const double y = library_log(x);
  return (bits & 0xffff) == 0x1234 ? nextafter(y, INFINITY) : y;
}
