#include "cascade/output_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cascade {

output_sink::output_sink(int fd, std::size_t capacity)
    : fd_(fd), capacity_(capacity), buffer_(new char[capacity]) {}

void output_sink::append(std::string_view text) {
  while (!text.empty()) {
    const std::size_t room = capacity_ - used_;
    const std::size_t part = text.size() < room ? text.size() : room;
    std::memcpy(buffer_.get() + used_, text.data(), part);
    used_ += part;
    text.remove_prefix(part);
    if (!text.empty()) flush();
  }
}

bool output_sink::flush() {
  const char* data = buffer_.get();
  std::size_t left = error_ == 0 ? used_ : 0;
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  used_ = 0;
  return error_ == 0;
}

}  // namespace cascade
