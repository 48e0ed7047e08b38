// format_fuzz.cpp: the fast value line against the C library's on arbitrary
// bit patterns.
//
// Each 8 bytes of input are one double (any pattern: subnormals, NaNs with
// payloads, infinities). format_value must write exactly what
// printf("%16.15lf\n") writes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cascade/fixed_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (; size >= sizeof(double); data += sizeof(double), size -= sizeof(double)) {
    double x;
    std::memcpy(&x, data, sizeof x);
    char fast[cascade::max_value_line];
    char library[cascade::max_value_line + 8];
    const auto fast_length = static_cast<std::size_t>(cascade::format_value(fast, x) - fast);
    const int library_length = std::snprintf(library, sizeof library, "%16.15lf\n", x);
    if (fast_length != static_cast<std::size_t>(library_length) || std::memcmp(fast, library, fast_length) != 0) {
      std::fprintf(stderr, "format_fuzz: %a: '%.*s' instead of '%s'\n", x, static_cast<int>(fast_length), fast,
                   library);
      std::abort();
    }
  }
  return 0;
}
