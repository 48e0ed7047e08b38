#include "cascade/progress.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace cascade {
namespace {

constexpr std::int64_t redraw_interval_ns = 100000000;
constexpr char erase_line[] = "\r\033[K";

std::int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

void write_text(int fd, const char* text, std::size_t length) {
  // A progress line is decoration: a failed write is not worth reporting.
  while (length > 0) {
    const ssize_t written = ::write(fd, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void progress_meter::show(const char* phase, std::int64_t done, std::int64_t total) {
  if (!enabled_) return;
  const std::int64_t now = monotonic_ns();
  if (last_draw_ns_ >= 0 && now - last_draw_ns_ < redraw_interval_ns) return;
  last_draw_ns_ = now;
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  char line[96];
  const int length = std::snprintf(line, sizeof line, "%scascade: %s %d%%", erase_line, phase, percent);
  write_text(fd_, line, static_cast<std::size_t>(length));
  shown_ = true;
}

void progress_meter::erase() {
  if (!shown_) return;
  write_text(fd_, erase_line, sizeof erase_line - 1);
  shown_ = false;
}

}  // namespace cascade
