#include "program/temporary_removal.h"

#include <limits.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iterator>

namespace cascade {
namespace {

constexpr int removing_signals[] = {SIGINT, SIGTERM};

char temporary_path[PATH_MAX];
volatile std::sig_atomic_t temporary_named = 0;
/// The dispositions before ours, which the handler hands the signal on to
/// (the progress line's eraser, or the default: death by the signal).
struct sigaction handed_on[2];

void remove_and_hand_on(int signal_number) {
  if (temporary_named) unlink(temporary_path);
  for (std::size_t i = 0; i < std::size(removing_signals); ++i) {
    if (removing_signals[i] == signal_number) sigaction(signal_number, &handed_on[i], nullptr);
  }
  // Blocked while this handler runs: delivered to the disposition before ours once it returns.
  raise(signal_number);
}

}  // namespace

temporary_removal::temporary_removal() {
  for (std::size_t i = 0; i < std::size(removing_signals); ++i) {
    sigaction(removing_signals[i], nullptr, &previous_[i]);
    handed_on[i] = previous_[i];
    if (previous_[i].sa_handler == SIG_IGN) continue;
    struct sigaction removing {};
    removing.sa_handler = remove_and_hand_on;
    sigemptyset(&removing.sa_mask);
    for (const int other : removing_signals) sigaddset(&removing.sa_mask, other);
    sigaction(removing_signals[i], &removing, nullptr);
  }
}

temporary_removal::~temporary_removal() {
  for (std::size_t i = 0; i < std::size(removing_signals); ++i) sigaction(removing_signals[i], &previous_[i], nullptr);
  temporary_named = 0;
}

void temporary_removal::name(const char* path) {
  temporary_named = 0;
  if (path[0] == '\0' || std::strlen(path) >= sizeof temporary_path) return;
  std::strcpy(temporary_path, path);
  temporary_named = 1;
}

}  // namespace cascade
