// The pieces of a run, timed one by one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "cascade/subtractive_series.h"
#include "cascade/fixed_format.h"
#include "cascade/summary.h"
#include "deviates/philox.h"
#include "deviates/polar_gaussian.h"
#include "deviates/polar_pairs.h"
#include "deviates/subtractive_engine.h"
#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"

namespace {

using deviates::subtractive_engine;

void BM_UniformDraws(benchmark::State& state) {
  subtractive_engine engine(-1700000000);
  for (auto _ : state) benchmark::DoNotOptimize(engine());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UniformDraws);

void BM_UniformFill(benchmark::State& state) {
  subtractive_engine engine(-1700000000);
  std::vector<subtractive_engine::result_type> draws(55 * 64);
  for (auto _ : state) {
    engine.fill(draws.data(), draws.size());
    benchmark::DoNotOptimize(draws.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(draws.size()));
}
BENCHMARK(BM_UniformFill);

void BM_GaussianDraws(benchmark::State& state) {
  subtractive_engine engine(-1700000000);
  deviates::polar_gaussian gaussian;
  for (auto _ : state) benchmark::DoNotOptimize(gaussian([&] { return engine.next_unit(); }));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GaussianDraws);

// The sequential part alone: uniform draws and the accept test, one pair at
// a time (argument 0) and, where the CPU has it, eight at a time (1).
void BM_PolarPairs(benchmark::State& state) {
  deviates::polar_pair_source source{subtractive_engine(-1700000000), state.range(0) != 0};
  std::vector<double> w1(4096), w2(4096);
  for (auto _ : state) {
    source.next(w1.data(), w2.data(), w1.size());
    benchmark::DoNotOptimize(w1.data());
    benchmark::DoNotOptimize(w2.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(w1.size()));
}
BENCHMARK(BM_PolarPairs)->Arg(0)->Arg(1);

// A whole series (cascade and modulation) of 2^k values, one thread or two:
// as the program makes it, with the running sum of its summary
// (BM_Series), and as the library does, without it (BM_SeriesNoSum; at 2^24
// the series no longer fits in the cache).
template <bool sum>
void BM_Series(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  const cascade::cascade_shape shape{cascade::step_sigma(0.3, steps), steps, 1};
  std::vector<double> values(static_cast<std::size_t>(shape.value_count()));
  cascade::work_sharing sharing(state.range(1) != 0);
  cascade::series_options options;
  options.sum = sum;
  for (auto _ : state) {
    cascade::generate_series(values.data(), shape, -1700000000, sharing, options);
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(state.iterations() * shape.value_count());
}
BENCHMARK(BM_Series<true>)->Name("BM_Series")->ArgsProduct({{10, 16, 20}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Series<false>)->Name("BM_SeriesNoSum")->ArgsProduct({{20, 24}, {0, 1}})->Unit(benchmark::kMicrosecond);

// exp of a cascade's exponents and log of polar r^2 values, 1024 a batch:
// the C library one call at a time (argument 0), the vector functions four
// lanes at a time (1) and eight (2).
std::vector<double> math_inputs(bool for_log) {
  std::mt19937_64 bits(7);
  std::uniform_real_distribution<double> exponent(-2.0, 2.0), rsq(0x1p-30, 1.0);
  std::vector<double> x(1024);
  for (double& v : x) v = for_log ? rsq(bits) : exponent(bits);
  return x;
}

/// Whether the CPU runs the functions of `lanes` lanes (1: the C library);
/// where not, the benchmark is skipped with the reason.
bool lanes_supported(benchmark::State& state, std::int64_t lanes) {
  if (lanes >= 4 && !exact_math::cpu_has_vector_math()) {
    state.SkipWithError("no AVX2 and FMA");
    return false;
  }
  if (lanes == 8 && !exact_math::cpu_has_avx512_math()) {
    state.SkipWithError("no AVX-512 F, DQ and VL");
    return false;
  }
  return true;
}

/// exp or log of the C library (portable false) or the portable ones, one value at a
/// time (argument 0), four lanes (1) or eight (2).
template <bool for_log, bool portable = false>
void BM_Math(benchmark::State& state) {
  namespace m = exact_math;
  const std::int64_t lanes = state.range(0) == 2 ? 8 : state.range(0) == 1 ? 4 : 1;
  if (!lanes_supported(state, lanes)) return;
  using array_function = void (*)(const double*, double*, std::size_t);
  const array_function four = portable ? (for_log ? m::portable_log_array_avx2 : m::portable_exp_array_avx2)
                                  : (for_log ? m::log_array_vector : m::exp_array_vector);
  const array_function eight = portable ? (for_log ? m::portable_log_array_avx512 : m::portable_exp_array_avx512)
                                   : (for_log ? m::log_array_avx512 : m::exp_array_avx512);
  const std::vector<double> x = math_inputs(for_log);
  std::vector<double> y(x.size());
  for (auto _ : state) {
    if (lanes > 1) {
      (lanes == 8 ? eight : four)(x.data(), y.data(), x.size());
    } else if constexpr (portable) {
      for (std::size_t i = 0; i < x.size(); ++i) y[i] = for_log ? m::portable_log(x[i]) : m::portable_exp(x[i]);
    } else {
      for (std::size_t i = 0; i < x.size(); ++i) y[i] = for_log ? std::log(x[i]) : std::exp(x[i]);
    }
    benchmark::DoNotOptimize(y.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(BM_Math<false>)->Name("BM_Exp")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Math<true>)->Name("BM_Log")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Math<false, true>)->Name("BM_OwnExp")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Math<true, true>)->Name("BM_OwnLog")->Arg(0)->Arg(1)->Arg(2);

// The start-up self-check that decides whether the vector functions are used,
// of the four-lane functions (argument 4) and the eight-lane ones (8).
void BM_VectorMathSelfCheck(benchmark::State& state) {
  const bool eight = state.range(0) == 8;
  if (!lanes_supported(state, state.range(0))) return;
  for (auto _ : state)
    benchmark::DoNotOptimize(eight ? exact_math::avx512_math_agrees_with_library()
                                   : exact_math::vector_math_agrees_with_library());
}
BENCHMARK(BM_VectorMathSelfCheck)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

void BM_Summary(benchmark::State& state) {
  std::vector<double> values(1 << 20, 0.5);
  for (auto _ : state) {
    benchmark::DoNotOptimize(cascade::moments::of(values.data(), 1 << 20));
  }
  state.SetItemsProcessed(state.iterations() << 20);
}
BENCHMARK(BM_Summary);

std::vector<double> typical_values() {
  std::mt19937_64 random(1);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<double> values(4096);
  for (double& v : values) v = normal(random);
  return values;
}

void BM_FormatValue(benchmark::State& state) {
  const auto values = typical_values();
  std::vector<char> text(values.size() * cascade::max_value_line);
  for (auto _ : state) {
    char* out = text.data();
    for (double v : values) out = cascade::format_value(out, v);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_FormatValue);

void BM_FormatSnprintf(benchmark::State& state) {
  const auto values = typical_values();
  std::vector<char> text(values.size() * cascade::max_value_line);
  for (auto _ : state) {
    char* out = text.data();
    for (double v : values) out += std::snprintf(out, cascade::max_value_line, "%16.15lf\n", v);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_FormatSnprintf);

// The counter-based stream's accepted pairs in bulk, one lane (argument 0),
// four (1) and eight (2) where the CPU runs them; each iteration draws the
// next 4096 pairs of one generation.
void BM_PhiloxPairs(benchmark::State& state) {
  const auto lanes = static_cast<deviates::philox_lanes>(state.range(0));
  if (!deviates::cpu_runs_philox_lanes(lanes)) {
    state.SkipWithError("this CPU does not run these lanes");
    return;
  }
  std::vector<double> v1(4096), v2(4096);
  std::uint64_t first = 0;
  for (auto _ : state) {
    deviates::philox_polar_pairs(lanes, 1700000000, 20, first, v1.size(), v1.data(), v2.data());
    first += v1.size();
    benchmark::DoNotOptimize(v1.data());
    benchmark::DoNotOptimize(v2.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(v1.size()));
}
BENCHMARK(BM_PhiloxPairs)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
