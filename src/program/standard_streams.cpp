#include "program/standard_streams.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "program/write_fully.h"

namespace cascade {

void ensure_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number, which is fd itself: the lower ones are open.
    const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

int write_error_text(std::string_view text) {
  iovec piece{const_cast<char*>(text.data()), text.size()};
  return write_fully(STDERR_FILENO, &piece, 1);
}

void report(const char* format, ...) {
  char line[1024] = "cascade: ";
  constexpr std::size_t prefix = sizeof "cascade: " - 1;
  std::va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line + prefix, sizeof line - prefix - 1, format, arguments);
  va_end(arguments);
  std::size_t end = prefix + (length < 0 ? 0 : static_cast<std::size_t>(length));
  if (end > sizeof line - 2) end = sizeof line - 2;  // cut, never overrun: one line still
  line[end] = '\n';
  write_error_text(std::string_view(line, end + 1));
}

}  // namespace cascade
