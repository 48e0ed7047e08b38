// text_buffer.h: a growable buffer of output text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "cascade/fixed_format.h"

namespace cascade {

/// Raw memory, grown with realloc, so that only the lines written are ever
/// touched.
class text_buffer {
 public:
  text_buffer() = default;
  ~text_buffer() { std::free(data_); }
  text_buffer(const text_buffer&) = delete;
  text_buffer& operator=(const text_buffer&) = delete;

  char* data() { return data_; }
  std::size_t size() const { return size_; }
  /// Throws std::bad_alloc when the memory cannot be had; the text so far stays.
  void resize(std::size_t size) {
    void* grown = std::realloc(data_, size);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    size_ = size;
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

/// Appends the value lines of values[0, count) to `text` after its first
/// `length` bytes, growing it as needed; returns the new length.
inline std::size_t append_value_lines(text_buffer& text, std::size_t length, const double* values, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    if (text.size() - length < max_value_line) text.resize(2 * text.size() + max_value_line);
    length = static_cast<std::size_t>(format_value(text.data() + length, values[i]) - text.data());
  }
  return length;
}

}  // namespace cascade
