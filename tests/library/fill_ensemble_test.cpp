// fill_ensemble through the public header alone: each row is the series
// fill_series makes for its seed, whatever the threads, and a refusal is
// check_request's own message (a seed's named by its place) before any
// value is written.
#include <cascade/cascade.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct ensemble_case {
  cascade::random_stream generator;
  const char* law;
  unsigned threads;  // 0: the stream's default
  std::vector<std::uint64_t> seeds;
  std::int64_t step_number;
  std::int64_t n0;
  bool weights;
};

// Rows fewer than, as many as and more than the threads; one row alone on
// both threads (2^15 is where a subtractive row takes a second thread).
const ensemble_case ensemble_cases[] = {
    {cascade::random_stream::subtractive, "lognormal", 0, {1700000000, 5, 5, 0}, 12, 1, true},
    {cascade::random_stream::subtractive, "lognormal", 1, {3, 4, 5}, 10, 3, false},
    {cascade::random_stream::subtractive, "lognormal", 2, {7}, 15, 1, true},
    {cascade::random_stream::philox, "lognormal", 2, {std::numeric_limits<std::uint64_t>::max(), 0, 12345}, 12, 5, true},
    {cascade::random_stream::philox, "binomial", 7, {9, 10}, 14, 2, false},
    {cascade::random_stream::philox, "logpoisson:0.5", 0, {11, 12, 13, 14, 15}, 9, 1, true},
};

cascade::run_request request_of(const ensemble_case& c) {
  cascade::run_request request;
  request.lambda = 0.6;
  request.step_number = c.step_number;
  request.n0 = c.n0;
  request.generator = c.generator;
  request.threads = c.threads;
  request.law = c.law;
  request.seed = 99;  // not used by fill_ensemble: every row has its own seed
  return request;
}

bool same_bits(const double* a, const double* b, std::int64_t count) {
  return std::memcmp(a, b, static_cast<std::size_t>(count) * sizeof(double)) == 0;
}

TEST(FillEnsemble, EachRowIsTheSeriesOfItsSeedMadeAlone) {
  for (const ensemble_case& c : ensemble_cases) {
    SCOPED_TRACE(std::string(c.law) + ", threads " + std::to_string(c.threads) + ", rows " +
                 std::to_string(c.seeds.size()));
    const cascade::run_request request = request_of(c);
    const std::int64_t length = cascade::series_length(request);
    const auto total = c.seeds.size() * static_cast<std::size_t>(length);
    std::vector<double> values(total, -1.0), weights(c.weights ? total : 0, -1.0);
    cascade::fill_ensemble(request, c.seeds.data(), c.seeds.size(), values.data(),
                           c.weights ? weights.data() : nullptr);
    std::vector<double> alone(length), alone_weights(length);
    for (std::size_t row = 0; row < c.seeds.size(); ++row) {
      cascade::run_request single = request;
      single.seed = c.seeds[row];
      single.threads = 0;
      cascade::fill_series(single, alone.data(), alone_weights.data());
      const std::size_t offset = row * static_cast<std::size_t>(length);
      EXPECT_TRUE(same_bits(values.data() + offset, alone.data(), length)) << "row " << row;
      if (c.weights) {
        EXPECT_TRUE(same_bits(weights.data() + offset, alone_weights.data(), length)) << "row " << row;
      }
    }
  }
}

TEST(FillEnsemble, RefusesAsCheckRequestDoesBeforeWritingAnyValue) {
  struct refusal_case {
    const char* name;
    cascade::run_request request;
    std::vector<std::uint64_t> seeds;
    std::string expected;  // "": check_request's message for the request itself
  };
  cascade::run_request subtractive;
  subtractive.lambda = 0.5;
  subtractive.step_number = 6;
  cascade::run_request binomial = subtractive;
  binomial.law = "binomial";
  cascade::run_request three_threads = subtractive;
  three_threads.threads = 3;
  cascade::run_request too_long = subtractive;
  too_long.step_number = 40;
  cascade::run_request late_seed = subtractive;
  late_seed.seed = std::uint64_t{1} << 31;
  std::string late_seed_message;
  try {
    cascade::check_request(late_seed);
  } catch (const std::invalid_argument& refusal) {
    late_seed_message = refusal.what();
  }
  ASSERT_FALSE(late_seed_message.empty());
  const refusal_case cases[] = {
      {"a seed past the stream's largest, third", subtractive, {1, 2, std::uint64_t{1} << 31, 4},
       "seeds[2]: " + late_seed_message},
      {"a law the stream does not take", binomial, {1, 2}, ""},
      {"more threads than the stream takes", three_threads, {1, 2, 3, 4}, ""},
      {"more values than the stream makes", too_long, {1}, ""},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string expected = c.expected;
    if (expected.empty()) {
      try {
        cascade::check_request(c.request);
        FAIL() << "check_request took the request";
      } catch (const std::invalid_argument& refusal) {
        expected = refusal.what();
      }
    }
    std::vector<double> values(c.seeds.size() << 6, -1.0);
    try {
      cascade::fill_ensemble(c.request, c.seeds.data(), c.seeds.size(), values.data());
      ADD_FAILURE() << "fill_ensemble took it";
    } catch (const std::invalid_argument& refusal) {
      EXPECT_EQ(refusal.what(), expected);
    }
    EXPECT_EQ(values, std::vector<double>(values.size(), -1.0));
  }
}

TEST(FillEnsemble, NoSeedsWriteNothing) {
  cascade::run_request request;
  request.lambda = 0.5;
  request.step_number = 4;
  double untouched = -1.0;
  cascade::fill_ensemble(request, nullptr, 0, &untouched, &untouched);
  EXPECT_EQ(untouched, -1.0);
}

struct stopped {};

TEST(FillEnsemble, AnExceptionBetweenChunksStopsTheEnsembleAndPropagates) {
  for (const auto generator : {cascade::random_stream::subtractive, cascade::random_stream::philox}) {
    SCOPED_TRACE(cascade::limits_of(generator).name);
    cascade::run_request request;
    request.lambda = 0.5;
    request.step_number = 16;
    request.generator = generator;
    request.threads = 2;
    const std::vector<std::uint64_t> seeds(16, 1);  // the caller's share is several rows
    std::vector<double> values(seeds.size() << 16);
    int calls = 0;
    EXPECT_THROW(cascade::fill_ensemble(request, seeds.data(), seeds.size(), values.data(), nullptr,
                                        [&calls] {
                                          ++calls;
                                          throw stopped{};
                                        }),
                 stopped);
    EXPECT_EQ(calls, 1);  // no row was begun after it
  }
}

}  // namespace
