// between_chunks_intervals [STEP_NUMBER] [RUNS]: how long a caller of the
// C++ library waits between two calls of between_chunks (its chance to see
// Ctrl-C, or to show progress), for each stream on one thread and two,
// filling doubles and floats. Prints the median, 90th percentile and
// largest interval of each, and the longest wait for the first call (the
// stream's preparation), in milliseconds, over RUNS fills of 2^STEP_NUMBER
// values (default 2^24, 3 runs).
#include <cascade/cascade.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct waits {
  std::vector<double> intervals;  ///< sorted; from the start of a fill to its end, as a caller sees them
  double longest_first = 0.0;     ///< from the start of a fill to the first call
};

template <typename Value>
waits waits_of(const cascade::run_request& request, int runs) {
  std::vector<Value> values(static_cast<std::size_t>(cascade::series_length(request)));
  waits measured;
  for (int run = 0; run < runs; ++run) {
    const std::size_t first = measured.intervals.size();
    auto last = clock_type::now();
    const auto lap = [&] {
      const auto now = clock_type::now();
      measured.intervals.push_back(std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    };
    cascade::fill_series(request, values.data(), static_cast<Value*>(nullptr), lap);
    lap();
    measured.longest_first = std::max(measured.longest_first, measured.intervals[first]);
  }
  std::sort(measured.intervals.begin(), measured.intervals.end());
  return measured;
}

double at_fraction(const std::vector<double>& sorted, double fraction) {
  return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t step_number = argc > 1 ? std::atoll(argv[1]) : 24;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::printf("%-12s %-7s %-7s %7s %9s %9s %9s %9s\n", "stream", "threads", "values", "calls", "median", "p90",
              "largest", "first");
  for (const auto generator : {cascade::random_stream::subtractive, cascade::random_stream::philox}) {
    for (const unsigned threads : {1U, 2U}) {
      for (const bool floats : {false, true}) {
        cascade::run_request request;
        request.lambda = 0.5;
        request.step_number = step_number;
        request.seed = 1;
        request.generator = generator;
        request.threads = threads;
        const waits measured = floats ? waits_of<float>(request, runs) : waits_of<double>(request, runs);
        const std::vector<double>& sorted = measured.intervals;
        std::printf("%-12s %-7u %-7s %7zu %9.3f %9.3f %9.3f %9.3f\n", cascade::limits_of(generator).name.c_str(),
                    threads, floats ? "float" : "double", sorted.size(), at_fraction(sorted, 0.5),
                    at_fraction(sorted, 0.9), sorted.back(), measured.longest_first);
      }
    }
  }
}
