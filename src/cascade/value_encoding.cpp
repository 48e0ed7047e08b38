#include "cascade/value_encoding.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "cascade/fixed_format.h"

namespace cascade {

namespace {

constexpr bool little_endian = std::endian::native == std::endian::little;

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
  if (encodes_in_place(format)) return {values, static_cast<std::size_t>(count) * sizeof(double)};
  char* const bytes = reinterpret_cast<char*>(values);
  const std::size_t width = value_bytes(format);
  // Value i's bytes land at width * i, below 8 * i: a run of 8 values is
  // read whole before its bytes are written, over values already read.
  constexpr std::int64_t run = 8;
  for (std::int64_t i = 0; i < count; i += run) {
    const std::int64_t n = std::min(run, count - i);
    double read[run];
    std::memcpy(read, bytes + 8 * i, static_cast<std::size_t>(n) * 8);
    if (format == value_format::float32) {
      std::uint32_t bits[run];
      for (std::int64_t j = 0; j < n; ++j) {
        bits[j] = std::bit_cast<std::uint32_t>(static_cast<float>(read[j]));
        if constexpr (!little_endian) bits[j] = __builtin_bswap32(bits[j]);
      }
      std::memcpy(bytes + width * static_cast<std::size_t>(i), bits, static_cast<std::size_t>(n) * 4);
    } else {
      std::uint64_t bits[run];
      for (std::int64_t j = 0; j < n; ++j) bits[j] = __builtin_bswap64(std::bit_cast<std::uint64_t>(read[j]));
      std::memcpy(bytes + width * static_cast<std::size_t>(i), bits, static_cast<std::size_t>(n) * 8);
    }
  }
  return {bytes, static_cast<std::size_t>(count) * width};
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
