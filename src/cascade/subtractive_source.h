// subtractive_source.h: the subtractive stream's values: one chain of
// draws, so the whole series is made first (prepare), on the calling thread
// and one helper, and its summary with it; the windows then only point
// into it, and their blocks are handed to the hook on the team's threads.
#pragma once

#include <cstdlib>
#include <memory>

#include "cascade/series_source.h"

namespace cascade {

class subtractive_source final : public series_source {
 public:
  explicit subtractive_source(const source_request& request);

  bool makes_into_window() const override { return false; }
  summary_place summary_at() const override { return summary_place::before_values; }
  void prepare() override;
  void start(series_window& window, thread_team& team, const block_hook& hook) override;
  void finish(series_window& window, thread_team& team) override;

 private:
  source_request request_;
  /// The series' own memory, from malloc: untouched until written, and
  /// refusable like any other allocation of the run.
  struct free_memory {
    void operator()(double* block) const { std::free(block); }
  };
  std::unique_ptr<double[], free_memory> own_values_, own_weights_;
  double* values_;
  double* weights_;
  const block_hook* hook_ = nullptr;
  series_window* window_ = nullptr;
  thread_team::task task_;
};

}  // namespace cascade
