#include "cascade/series_source.h"

#include <algorithm>
#include <exception>

#include "cascade/models.h"

namespace cascade {

std::unique_ptr<series_source> make_series_source(const source_request& request) {
  return request.model->make_source(request);
}

unsigned helpers_for(unsigned threads, std::size_t window_blocks) {
  const std::size_t workers = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(window_blocks, 1));
  return static_cast<unsigned>(workers - 1);
}

std::size_t window_room(const series_source& source, std::size_t window_blocks) {
  return static_cast<std::size_t>(std::min(static_cast<std::int64_t>(window_blocks) * block_values, source.size()));
}

void for_each_window(series_source& source, thread_team& team, std::size_t window_blocks,
                     const std::function<std::pair<double*, double*>(std::size_t window)>& place,
                     const block_hook& hook, const std::function<void(const series_window&)>& take) {
  const std::int64_t size = source.size();
  const std::int64_t window_values = static_cast<std::int64_t>(window_blocks) * block_values;
  const auto window_at = [&](std::size_t index) {
    series_window window;
    window.first = static_cast<std::int64_t>(index) * window_values;
    window.count = std::min(window_values, size - window.first);
    std::tie(window.values, window.weights) = place(index);
    return window;
  };
  const auto window_count = static_cast<std::size_t>((size + window_values - 1) / window_values);
  if (window_count == 0) return;
  series_window making = window_at(0);
  source.start(making, team, hook);
  source.finish(making, team);
  for (std::size_t index = 0; index < window_count; ++index) {
    const series_window made = making;
    const bool more = index + 1 < window_count;
    if (more) {
      making = window_at(index + 1);
      source.start(making, team, hook);
    }
    try {
      take(made);
    } catch (...) {
      // The team's blocks use `making`: wait for them before leaving.
      if (more) {
        try {
          source.finish(making, team);
        } catch (...) {
        }
      }
      throw;
    }
    if (more) source.finish(making, team);
  }
}

}  // namespace cascade
