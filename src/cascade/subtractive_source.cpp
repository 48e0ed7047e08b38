#include "cascade/subtractive_source.h"

#include <algorithm>
#include <new>

#include "cascade/population.h"
#include "cascade/subtractive_series.h"
#include "cascade/seed.h"
#include "cascade/work_sharing.h"

namespace cascade {

subtractive_source::subtractive_source(const source_request& request)
    : series_source(request.shape.value_count(), request.weights), request_(request),
      values_(request.whole_values), weights_(request.weights ? request.whole_weights : nullptr) {
  task_ = [this](std::size_t index, unsigned worker) {
    const std::int64_t offset = static_cast<std::int64_t>(index) * block_values;
    const std::int64_t count = std::min(block_values, window_->count - offset);
    (*hook_)({index, window_->first + offset, count, window_->values + offset, window_->weights != nullptr ? window_->weights + offset : nullptr,
              worker});
  };
}

void subtractive_source::prepare() {
  const std::int64_t count = size();
  const auto bytes = static_cast<std::size_t>(count) * sizeof(double);
  // Fresh memory of the run's own, or a caller's fresh buffer (a new numpy
  // array), gains as much from huge pages.
  const auto whole = [&](std::unique_ptr<double[], free_memory>& own, double*& where, const char* what) {
    if (where == nullptr) {
      own.reset(static_cast<double*>(std::malloc(bytes)));
      if (!own) throw no_memory_for(what);
      where = own.get();
    }
    prefer_huge_pages(where, bytes);
  };
  whole(own_values_, values_, "values");
  if (keeps_weights()) whole(own_weights_, weights_, "weights");

  work_sharing sharing(request_.threads > 1 && count >= shared_work_threshold);
  series_options options;
  options.weights = weights_;
  options.progress = request_.progress;
  options.between_chunks = request_.between_chunks;
  options.sum = request_.summarize;  // a running sum holds up the shared work: only when a summary is wanted
  const std::int32_t seed_word = seed_word_for(static_cast<std::int64_t>(request_.seed));
  const double sum = generate_series(values_, request_.shape, seed_word, sharing, options);
  if (request_.summarize) made_ = moments::of(values_, count, sum);
}

void subtractive_source::start(series_window& window, thread_team& team, const block_hook& hook) {
  window.values = values_ + window.first;
  window.weights = weights_ != nullptr ? weights_ + window.first : nullptr;
  if (!hook) return;
  window_ = &window;
  hook_ = &hook;
  team.start(window.blocks(), task_);
}

void subtractive_source::finish(series_window&, thread_team& team) {
  if (hook_ == nullptr) return;
  team.finish();
  hook_ = nullptr;
}

}  // namespace cascade
