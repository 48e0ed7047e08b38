// write_fully.h: gathering writes that finish or say why not.
#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace cascade {

/// Writes every byte of pieces[0, count) to fd in order, resuming after
/// partial writes and interruptions, and waiting while a non-blocking fd is
/// full. Returns 0, or the errno of the failure.
/// The pieces are consumed (their bases and lengths change).
int write_fully(int fd, iovec* pieces, std::size_t count);

}  // namespace cascade
