// philox_stream SEED: Philox4x32-10's raw output on standard output, without
// end, for statistical test batteries that read 32-bit words from a pipe
// (dieharder -g 200). The key is the seed as the counter-based stream takes
// it (low word, high word); the counter counts up from 0 as one 128-bit
// number, word 0 lowest; each output gives words r0, r1, r2, r3 in that
// order, each little-endian.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "deviates/philox.h"

namespace {

bool parse_seed(const char* text, std::uint64_t* seed) {
  if (*text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *seed = value;
  return true;
}

bool write_all(const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 0;
  if (argc != 2 || !parse_seed(argv[1], &seed)) {
    std::fprintf(stderr, "usage: philox_stream SEED   (SEED: 0 to 2^64 - 1, decimal or 0x-hexadecimal)\n");
    return 2;
  }
  const auto key = deviates::philox_key(seed);
  std::array<std::uint32_t, 4> counter{};
  static unsigned char buffer[1 << 16];
  for (;;) {
    for (std::size_t at = 0; at < sizeof buffer; at += 16) {
      const auto r = deviates::philox4x32_10(counter, key);
      for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b) buffer[at + 4 * w + b] = static_cast<unsigned char>(r[w] >> (8 * b));
      // The next 128-bit counter: carry upwards while a word wraps to 0.
      for (std::uint32_t& word : counter)
        if (++word != 0) break;
    }
    // The reader has gone (a closed pipe, when SIGPIPE is ignored): done.
    if (!write_all(buffer, sizeof buffer)) return 0;
  }
}
