/* exp and log that differ from the C library's by one ulp: on one input in
 * 65536 (those whose low 16 bits are 0x1234), a C library that a sampled
 * self-check could take for the proven one; or, with ALTERED_MATH=all, on
 * every input, so that any value computed through them changes.
 * Loaded through LD_PRELOAD. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static int altered(double x) {
  static int every = -1;
  if (every < 0) {
    const char* setting = getenv("ALTERED_MATH");
    every = setting != NULL && strcmp(setting, "all") == 0;
  }
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  return every || (bits & 0xffff) == 0x1234;
}

double log(double x) {
  static double (*library_log)(double);
  if (library_log == NULL) library_log = (double (*)(double))dlsym(RTLD_NEXT, "log");
  const double y = library_log(x);
  return altered(x) ? nextafter(y, INFINITY) : y;
}

double exp(double x) {
  static double (*library_exp)(double);
  if (library_exp == NULL) library_exp = (double (*)(double))dlsym(RTLD_NEXT, "exp");
  const double y = library_exp(x);
  return altered(x) ? nextafter(y, INFINITY) : y;
}
