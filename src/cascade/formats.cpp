#include "cascade/formats.h"

#include <array>
#include <bit>
#include <cstring>

namespace cascade {
namespace {

constexpr bool little_endian = std::endian::native == std::endian::little;

void doubles_to_bytes(const double* values, std::int64_t count, char* out) {
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(values[i]);
    if constexpr (!little_endian) bits = __builtin_bswap64(bits);
    std::memcpy(out + 8 * i, &bits, 8);
  }
}

/// Each double's bytes swapped where it is: nothing to do on a little-endian host.
void doubles_over_doubles(char* bytes, std::int64_t count) {
  if constexpr (!little_endian) {
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint64_t bits;
      std::memcpy(&bits, bytes + 8 * i, 8);
      bits = __builtin_bswap64(bits);
      std::memcpy(bytes + 8 * i, &bits, 8);
    }
  }
}

/// Each value rounded to the nearest binary32, ties to even, as a C cast rounds.
void floats_to_bytes(const double* values, std::int64_t count, char* out) {
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(values[i]));
    if constexpr (!little_endian) bits = __builtin_bswap32(bits);
    std::memcpy(out + 4 * i, &bits, 4);
  }
}

/// Value i's bytes land at 4 i, below 8 i: each run of eight is read whole
/// before its bytes are written, over values already read. The runs are of
/// a fixed size, so that the rounding is a few vector instructions a run.
void floats_over_doubles(char* bytes, std::int64_t count) {
  constexpr std::int64_t run = 8;
  std::int64_t i = 0;
  for (; i + run <= count; i += run) {
    double read[run];
    std::memcpy(read, bytes + 8 * i, sizeof read);
    float rounded[run];
    for (std::int64_t j = 0; j < run; ++j) rounded[j] = static_cast<float>(read[j]);
    if constexpr (!little_endian) {
      for (float& value : rounded) value = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(value)));
    }
    std::memcpy(bytes + 4 * i, rounded, sizeof rounded);
  }
  for (; i < count; ++i) {
    double read;
    std::memcpy(&read, bytes + 8 * i, 8);
    floats_to_bytes(&read, 1, bytes + 4 * i);
  }
}

constexpr std::array format_table{
    format_row{value_format::text, "text", "", "", 0, "", nullptr, nullptr},
    format_row{value_format::float64, "float64", "--binary",
               "write raw little-endian IEEE-754 binary64 values, 8 bytes\n"
               "each, instead of text lines (numpy: np.fromfile(f, '<f8'));\n"
               "refused when standard output is a terminal",
               8, "<f8", doubles_to_bytes, doubles_over_doubles},
    format_row{value_format::float32, "float32", "--float32",
               "write raw little-endian IEEE-754 binary32 values, each\n"
               "rounded to the nearest, 4 bytes each: half the bytes of\n"
               "--binary (numpy: np.fromfile(f, '<f4')); the summary is\n"
               "still of the doubles",
               4, "<f4", floats_to_bytes, floats_over_doubles},
};

// format_of finds a row by its place.
constexpr bool rows_in_enum_order() {
  for (std::size_t i = 0; i < format_table.size(); ++i) {
    if (static_cast<std::size_t>(format_table[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_in_enum_order());

}  // namespace

std::span<const format_row> output_formats() { return format_table; }

const format_row& format_of(value_format format) { return format_table[static_cast<std::size_t>(format)]; }

}  // namespace cascade
