#include "cascade/value_encoding.h"

#include <bit>

#include "cascade/fixed_format.h"

namespace cascade {

std::size_t value_bytes(value_format format) { return format_of(format).value_bytes; }

std::size_t typical_bytes(value_format format, std::int64_t count) {
  if (!format_of(format).binary()) return static_cast<std::size_t>(count) * 20 + max_value_line;
  return static_cast<std::size_t>(count) * value_bytes(format);
}

bool encodes_in_place(value_format format) {
  return format == value_format::float64 && std::endian::native == std::endian::little;
}

void round_to_float32(const double* values, std::int64_t count, float* out) {
  for (std::int64_t i = 0; i < count; ++i) out[i] = static_cast<float>(values[i]);
}

bool encodes_over_values(value_format format) {
  const format_row& row = format_of(format);
  return row.binary() && row.value_bytes <= sizeof(double);
}

encoded_bytes encode_over_values(value_format format, double* values, std::int64_t count) {
  const format_row& row = format_of(format);
  char* const bytes = reinterpret_cast<char*>(values);
  row.encode_over(bytes, count);
  return {bytes, static_cast<std::size_t>(count) * row.value_bytes};
}

encoded_bytes encode_values(value_format format, const double* values, std::int64_t count, text_buffer* buffer) {
  if (encodes_in_place(format)) return {values, static_cast<std::size_t>(count) * sizeof(double)};
  const format_row& row = format_of(format);
  if (!row.binary()) {
    const std::size_t length = append_value_lines(*buffer, 0, values, count);
    return {buffer->data(), length};
  }
  const std::size_t size = static_cast<std::size_t>(count) * row.value_bytes;
  if (buffer->size() < size) buffer->resize(size);
  row.encode(values, count, buffer->data());
  return {buffer->data(), size};
}

}  // namespace cascade
