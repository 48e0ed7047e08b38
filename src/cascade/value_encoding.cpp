#include "cascade/value_encoding.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "cascade/fixed_format.h"

namespace cascade {

namespace {

constexpr bool little_endian = std::endian::native == std::endian::little;

/// Rounds values[0, count) to binary32 written over their own memory from
/// its start. Value i's bytes land at 4 i, below 8 i: each run of eight is
/// read whole before its bytes are written, over values already read. The
/// runs are of a fixed size, so that the rounding is a few vector
/// instructions a run.
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
    std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(read));
    if constexpr (!little_endian) bits = __builtin_bswap32(bits);
    std::memcpy(bytes + 4 * i, &bits, 4);
  }
}

}  // namespace

std::size_t value_bytes(value_format format) { return format == value_format::float32 ? 4 : 8; }

std::size_t typical_bytes(value_format format, std::int64_t count) {
  if (format == value_format::text) return static_cast<std::size_t>(count) * 20 + max_value_line;
  return static_cast<std::size_t>(count) * value_bytes(format);
}

bool encodes_in_place(value_format format) { return format == value_format::float64 && little_endian; }

void round_to_float32(const double* values, std::int64_t count, float* out) {
  for (std::int64_t i = 0; i < count; ++i) out[i] = static_cast<float>(values[i]);
}

bool encodes_over_values(value_format format) { return format != value_format::text; }

encoded_bytes encode_over_values(value_format format, double* values, std::int64_t count) {
  const auto size = static_cast<std::size_t>(count) * value_bytes(format);
  char* const bytes = reinterpret_cast<char*>(values);
  if (format == value_format::float32) {
    floats_over_doubles(bytes, count);
  } else if constexpr (!little_endian) {
    // float64 on a big-endian host: each double's bytes swapped where it is.
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint64_t bits;
      std::memcpy(&bits, bytes + 8 * i, 8);
      bits = __builtin_bswap64(bits);
      std::memcpy(bytes + 8 * i, &bits, 8);
    }
  }
  return {bytes, size};
}

encoded_bytes encode_values(value_format format, const double* values, std::int64_t count, text_buffer* buffer) {
  if (encodes_in_place(format)) return {values, static_cast<std::size_t>(count) * sizeof(double)};
  if (format == value_format::text) {
    const std::size_t length = append_value_lines(*buffer, 0, values, count);
    return {buffer->data(), length};
  }
  const std::size_t size = static_cast<std::size_t>(count) * value_bytes(format);
  if (buffer->size() < size) buffer->resize(size);
  char* const out = buffer->data();
  if (format == value_format::float32) {
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(values[i]));
      if constexpr (!little_endian) bits = __builtin_bswap32(bits);
      std::memcpy(out + 4 * i, &bits, 4);
    }
  } else {
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint64_t bits = std::bit_cast<std::uint64_t>(values[i]);
      if constexpr (!little_endian) bits = __builtin_bswap64(bits);
      std::memcpy(out + 8 * i, &bits, 8);
    }
  }
  return {out, size};
}

}  // namespace cascade
