// standard_streams.h: the program's three standard descriptors, made safe to
// use, and its messages on standard error.
#pragma once

#include <string_view>

namespace cascade {

/// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
/// no file the program opens can take one of their numbers (and receive
/// output meant for another). Standard output and error get it read-only, so
/// that writing to a closed one still fails and is reported; standard input
/// write-only. Call first thing in main.
void ensure_standard_descriptors();

/// Writes `text` whole to standard error, waiting while a non-blocking one is
/// full. Returns 0 or the errno. Allocates nothing.
int write_error_text(std::string_view text);

/// "cascade: <formatted>\n" on standard error, as write_error_text writes.
/// Allocates nothing, so it can report that memory ran out.
[[gnu::format(printf, 1, 2)]] void report(const char* format, ...);

}  // namespace cascade
