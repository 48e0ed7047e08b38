// value_encoding.h: a block of values as the bytes of an output format.
//
// text: "%16.15lf\n" lines (fixed_format.h); a binary format: its row's
// encoding (formats.h). Nothing stands between values in any format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cascade/formats.h"
#include "cascade/text_buffer.h"

namespace cascade {

/// Bytes a value of a binary format; text lines vary (at most max_value_line).
std::size_t value_bytes(value_format format);

/// Room for a block of `count` typical values in the format: text lines of
/// at most 19 bytes while |x| < 10 (a block of longer lines grows its
/// buffer), binary values exactly.
std::size_t typical_bytes(value_format format, std::int64_t count);

/// Whether the format's bytes are the values' own doubles on this host, so
/// that they need no buffer of their own.
bool encodes_in_place(value_format format);

/// Where a block's bytes are and how many.
struct encoded_bytes {
  const void* data;
  std::size_t size;
};

/// values[0, count) in `format`, in `buffer` (grown as needed; throws
/// std::bad_alloc when it cannot be), or the values themselves where the
/// format encodes in place (`buffer` may then be null).
encoded_bytes encode_values(value_format format, const double* values, std::int64_t count, text_buffer* buffer);

/// Whether the format can be written over the values' own doubles (a
/// binary format of at most 8 bytes a value), for buffers its caller owns.
bool encodes_over_values(value_format format);

/// values[0, count) in a format that encodes_over_values, written over the
/// values' own memory from its start: the doubles are gone after. Nothing
/// is allocated and nothing copied where the format is float64 on this host.
encoded_bytes encode_over_values(value_format format, double* values, std::int64_t count);

/// values[0, count) rounded to binary32, into out[0, count) (native order).
void round_to_float32(const double* values, std::int64_t count, float* out);

}  // namespace cascade
