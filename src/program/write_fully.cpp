#include "program/write_fully.h"

#include <poll.h>
#include <unistd.h>

#include <climits>
#include <cerrno>

namespace cascade {

int write_fully(int fd, iovec* pieces, std::size_t count) {
  while (count > 0) {
    if (pieces->iov_len == 0) {
      ++pieces;
      --count;
      continue;
    }
    const int batch = count < IOV_MAX ? static_cast<int>(count) : IOV_MAX;
    const ssize_t written = ::writev(fd, pieces, batch);
    if (written < 0) {
      if (errno == EINTR) continue;
      // A non-blocking descriptor (as a parent may leave standard output):
      // wait until the reader makes room, as a blocking write would.
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd writable{fd, POLLOUT, 0};
        if (poll(&writable, 1, -1) < 0 && errno != EINTR) return errno;
        continue;
      }
      return errno;
    }
    for (auto left = static_cast<std::size_t>(written); left > 0;) {
      const std::size_t part = left < pieces->iov_len ? left : pieces->iov_len;
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + part;
      pieces->iov_len -= part;
      left -= part;
      if (pieces->iov_len == 0) {
        ++pieces;
        --count;
      }
    }
  }
  return 0;
}

}  // namespace cascade
