// philox_source.h: the philox stream's values, each a function of (seed,
// shape, index) alone: a window's blocks are made by the team's threads in
// any order (counter_series.h), and each block's moments are combined in
// order after the window, so nothing depends on the threads.
#pragma once

#include <vector>

#include "cascade/counter_series.h"
#include "cascade/series_source.h"

namespace cascade {

class philox_source final : public series_source {
 public:
  explicit philox_source(const source_request& request);

  bool makes_into_window() const override { return true; }
  summary_place summary_at() const override { return summary_place::after_values; }
  void start(series_window& window, thread_team& team, const block_hook& hook) override;
  void finish(series_window& window, thread_team& team) override;

 private:
  source_request request_;
  std::int64_t begin_;  ///< the run's first value in the series
  factor_step factors_;
  std::vector<counter_workspace> workspaces_;
  std::vector<moments> block_moments_;
  const block_hook* hook_ = nullptr;
  series_window* window_ = nullptr;
  thread_team::task task_;
};

}  // namespace cascade
