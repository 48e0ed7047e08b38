// consumer SEED LAMBDA STEP_NUMBER N0: the run's values, then its weights,
// one "%16.15lf" line each, on standard output; the summary line on standard
// error. Any refusal is one line on standard error and status 2. It also
// checks that a piece of the philox stream made alone is the whole's, and
// that an ensemble's row is the series of its seed made alone.
#include <cascade/cascade.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  cascade::run_request request;
  request.seed = std::strtoull(argv[1], nullptr, 10);
  request.lambda = std::atof(argv[2]);
  request.step_number = std::atoll(argv[3]);
  request.n0 = std::atoll(argv[4]);
  try {
    cascade::check_request(request);
  } catch (const std::invalid_argument& refusal) {
    std::fprintf(stderr, "%s\n", refusal.what());
    return 2;
  }
  const auto count = static_cast<std::size_t>(cascade::series_length(request));
  std::vector<double> values(count), weights(count);
  cascade::fill_series(request, values.data(), weights.data());
  for (const double v : values) std::printf("%16.15lf\n", v);
  for (const double w : weights) std::printf("%16.15lf\n", w);
  // The philox stream of the same shape: a piece made alone is the whole series' piece.
  cascade::run_request philox = request;
  philox.generator = cascade::random_stream::philox;
  philox.seed = 18446744073709551557u;
  std::vector<double> whole(count), piece(count - 1);
  cascade::fill_series(philox, whole.data());
  cascade::fill_series_range(philox, 1, static_cast<std::int64_t>(count), piece.data());
  if (!std::equal(piece.begin(), piece.end(), whole.begin() + 1)) {
    std::fprintf(stderr, "a philox piece differs from the whole series\n");
    return 1;
  }
  // An ensemble of the run's seed among others, with its weights: each row as made alone.
  const std::uint64_t seeds[] = {request.seed + 1, request.seed, request.seed + 2};
  std::vector<double> rows(3 * count), row_weights(3 * count);
  cascade::fill_ensemble(request, seeds, 3, rows.data(), row_weights.data());
  if (!std::equal(values.begin(), values.end(), rows.begin() + count) ||
      !std::equal(weights.begin(), weights.end(), row_weights.begin() + count)) {
    std::fprintf(stderr, "an ensemble's row differs from its series made alone\n");
    return 1;
  }
  std::fprintf(stderr, "%s\n", cascade::summarize_series(values.data(), values.size()).line.c_str());
  return 0;
}
