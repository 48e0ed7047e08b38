// formats.h: the output formats, one row each, that every face asks: the
// program's options, its help and command echo, the writer's encodings and
// the Python module's dtypes all come from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace cascade {

enum class value_format { text, float64, float32 };

struct format_row {
  value_format id;
  std::string_view name;
  /// The program's option that chooses it; "" for the default, text.
  std::string_view option;
  /// --help's lines after the option, joined by '\n' (no newline at the end).
  std::string_view help;
  /// Bytes a value; 0 for text lines, whose length varies.
  std::size_t value_bytes;
  /// The numpy array type of its bytes ("<f8"); "" where they are no array.
  std::string_view dtype;
  /// values[0, count) as value_bytes each from `out`, little-endian; null for text.
  void (*encode)(const double* values, std::int64_t count, char* out);
  /// The same bytes written over the values' own memory from its start
  /// (value i's bytes at or below 8 i); null for text.
  void (*encode_over)(char* bytes, std::int64_t count);

  /// Raw bytes, which are never written to a terminal.
  bool binary() const { return value_bytes != 0; }
};

/// Every format, the default (text) first.
std::span<const format_row> output_formats();

const format_row& format_of(value_format format);

}  // namespace cascade
