#include "program/progress.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <iterator>

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

/// The descriptor whose progress line is showing, or -1: what an
/// interrupted run has to erase.
volatile std::sig_atomic_t showing_on_fd = -1;

/// Erases the line, then dies of the same signal: the handler was installed
/// with SA_RESETHAND, so the raised signal, delivered when the handler
/// returns, finds the default action. Only async-signal-safe calls.
void erase_and_die(int signal_number) {
  const int fd = showing_on_fd;
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t ignored = ::write(fd, erase_line, sizeof erase_line - 1);
  }
  raise(signal_number);
}

constexpr int interrupting_signals[] = {SIGINT, SIGTERM};

}  // namespace

progress_meter::progress_meter(int fd, bool enabled) : fd_(fd), enabled_(enabled) {
  if (!enabled_) return;
  for (std::size_t i = 0; i < std::size(interrupting_signals); ++i) {
    struct sigaction erasing {};
    erasing.sa_handler = erase_and_die;
    erasing.sa_flags = SA_RESETHAND;
    sigemptyset(&erasing.sa_mask);
    sigaction(interrupting_signals[i], nullptr, &previous_[i]);
    // A signal that the run was told to ignore stays ignored.
    if (previous_[i].sa_handler != SIG_IGN) sigaction(interrupting_signals[i], &erasing, nullptr);
  }
}

progress_meter::~progress_meter() {
  erase();
  if (!enabled_) return;
  for (std::size_t i = 0; i < std::size(interrupting_signals); ++i) {
    sigaction(interrupting_signals[i], &previous_[i], nullptr);
  }
}

void progress_meter::show(const char* phase, std::int64_t done, std::int64_t total) {
  if (!enabled_) return;
  const std::int64_t now = monotonic_ns();
  if (last_draw_ns_ >= 0 && now - last_draw_ns_ < redraw_interval_ns) return;
  last_draw_ns_ = now;
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  char line[96];
  const int length = std::snprintf(line, sizeof line, "%scascade: %s %d%%", erase_line, phase, percent);
  showing_on_fd = fd_;
  write_text(fd_, line, static_cast<std::size_t>(length));
  shown_ = true;
}

void progress_meter::erase() {
  if (!shown_) return;
  showing_on_fd = -1;
  write_text(fd_, erase_line, sizeof erase_line - 1);
  shown_ = false;
}

}  // namespace cascade
