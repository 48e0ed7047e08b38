// progress.h: one self-erasing progress line on a terminal.
//
// Shown only when asked for (the caller decides: a terminal on standard
// error, a long run); redrawn at most ten times a second, so it costs nothing
// measurable however often it is told; erased with a carriage return and a
// clear-to-end-of-line, leaving the terminal as if it had never been there.
// An enabled meter also erases its line when SIGINT or SIGTERM ends the run
// (the process then dies of that signal, as it would have).
#pragma once

#include <signal.h>

#include <cstdint>

namespace cascade {

class progress_meter {
 public:
  /// A meter that shows nothing unless `enabled`. One enabled meter at a time.
  progress_meter(int fd, bool enabled);
  ~progress_meter();
  progress_meter(const progress_meter&) = delete;
  progress_meter& operator=(const progress_meter&) = delete;

  /// "cascade: <phase> <percent>%", if a tenth of a second has passed.
  void show(const char* phase, std::int64_t done, std::int64_t total);
  /// Removes the line, if one is shown.
  void erase();

 private:
  int fd_;
  bool enabled_;
  bool shown_ = false;
  std::int64_t last_draw_ns_ = -1;
  struct sigaction previous_[2] {};  ///< SIGINT's and SIGTERM's dispositions before the meter
};

}  // namespace cascade
