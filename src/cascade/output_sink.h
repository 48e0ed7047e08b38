// output_sink.h: large buffered writes straight to a file descriptor.
//
// The first failed write is remembered (errno) and later writes are dropped,
// so a full disk ends the run with a reason instead of a silent short file.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace cascade {

class output_sink {
 public:
  static constexpr std::size_t default_capacity = 256 * 1024;

  explicit output_sink(int fd, std::size_t capacity = default_capacity);

  /// Room for at least `bytes` more; flushes when needed. bytes <= capacity.
  char* reserve(std::size_t bytes) {
    if (capacity_ - used_ < bytes) flush();
    return buffer_.get() + used_;
  }
  void commit(std::size_t bytes) { used_ += bytes; }
  void append(std::string_view text);

  /// Writes out what is buffered; false once any write has failed.
  bool flush();
  bool failed() const { return error_ != 0; }
  /// errno of the first failed write, 0 if none.
  int error() const { return error_; }

 private:
  int fd_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  int error_ = 0;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace cascade
