#include "cascade/philox_source.h"

#include <algorithm>

static_assert(cascade::block_values <= cascade::counter_block_values, "a window block is one counter block");

namespace cascade {

namespace {

std::int64_t range_size(const source_request& request) {
  return request.range ? request.range->second - request.range->first : request.shape.value_count();
}

}  // namespace

philox_source::philox_source(const source_request& request)
    : series_source(range_size(request), request.weights), request_(request),
      begin_(request.range ? request.range->first : 0), factors_(request.law, request.shape.sigma) {
  task_ = [this](std::size_t index, unsigned worker) {
    const std::int64_t offset = static_cast<std::int64_t>(index) * block_values;
    const std::int64_t count = std::min(block_values, window_->count - offset);
    double* const values = window_->values + offset;
    double* const weights = window_->weights != nullptr ? window_->weights + offset : nullptr;
    const std::int64_t first = begin_ + window_->first + offset;
    counter_block(request_.shape, request_.seed, first, first + count, values, weights, workspaces_[worker], &factors_);
    if (request_.summarize) block_moments_[index] = moments::of(values, count);
    if (*hook_) (*hook_)({index, window_->first + offset, count, values, weights, worker});
  };
}

void philox_source::start(series_window& window, thread_team& team, const block_hook& hook) {
  // Made once, for the team the run uses (the windows of one run share it).
  while (workspaces_.size() < team.helpers() + std::size_t{1}) {
    workspaces_.emplace_back(std::min(block_values, size()));
  }
  if (block_moments_.size() < window.blocks()) block_moments_.resize(window.blocks());
  window_ = &window;
  hook_ = &hook;
  team.start(window.blocks(), task_);
}

void philox_source::finish(series_window& window, thread_team& team) {
  team.finish();
  if (request_.summarize) {
    for (std::size_t index = 0; index < window.blocks(); ++index) made_.append(block_moments_[index]);
  }
}

}  // namespace cascade
