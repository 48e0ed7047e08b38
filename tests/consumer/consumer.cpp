// consumer SEED LAMBDA STEP_NUMBER N0: the run's values, then its weights,
// one "%16.15lf" line each, on standard output; the summary line on standard
// error. Any refusal is one line on standard error and status 2.
#include <cascade/cascade.hpp>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  cascade::run_request request;
  request.seed_second = std::atoll(argv[1]);
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
  std::fprintf(stderr, "%s\n", cascade::summarize_series(values.data(), values.size()).line.c_str());
  return 0;
}
