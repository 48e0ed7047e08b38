// temporary_removal.h: a file under way that SIGINT or SIGTERM removes
// before the process dies of the signal, so that an interrupted run leaves
// nothing behind.
#pragma once

#include <signal.h>

namespace cascade {

class temporary_removal {
 public:
  /// Catches SIGINT and SIGTERM (unless ignored) for as long as it lives.
  temporary_removal();
  ~temporary_removal();
  temporary_removal(const temporary_removal&) = delete;
  temporary_removal& operator=(const temporary_removal&) = delete;

  /// The file a signal removes ("" for none); names longer than PATH_MAX are not kept.
  void name(const char* path);

 private:
  struct sigaction previous_[2]{};
};

}  // namespace cascade
