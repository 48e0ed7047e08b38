// The library's calls given what a careless or hostile caller passes: a
// stream that is no stream, null buffers, negative counts, empty pieces, a
// request with no N. Each is refused with std::invalid_argument and a
// message naming what was wrong, or taken as an empty success; none
// crashes, and none writes to a buffer it was given.
#include <cascade/cascade.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t length = 8;  // N of every request below: 1 * 2^3

cascade::run_request request_of(cascade::random_stream generator) {
  cascade::run_request request;
  request.lambda = 0.5;
  request.step_number = 3;
  request.seed = 1;
  request.generator = generator;
  return request;
}

const cascade::run_request subtractive = request_of(cascade::random_stream::subtractive);
const cascade::run_request philox = request_of(cascade::random_stream::philox);
const cascade::run_request seven = request_of(static_cast<cascade::random_stream>(7));
const cascade::run_request minus_one = request_of(static_cast<cascade::random_stream>(-1));

/// Buffers for one call, each value -1 until something writes to it, and a
/// between_chunks that counts its calls.
struct buffers {
  std::vector<double> values = std::vector<double>(2 * length, -1.0);
  std::vector<double> weights = std::vector<double>(2 * length, -1.0);
  std::vector<float> floats = std::vector<float>(length, -1.0F);
  std::vector<float> float_weights = std::vector<float>(length, -1.0F);
  std::vector<std::uint64_t> seeds = {1, 2};
  int between_calls = 0;
  std::function<void()> between = [this] { ++between_calls; };

  bool untouched() const {
    return values == std::vector<double>(values.size(), -1.0) && weights == std::vector<double>(weights.size(), -1.0) &&
           floats == std::vector<float>(floats.size(), -1.0F) &&
           float_weights == std::vector<float>(float_weights.size(), -1.0F) && between_calls == 0;
  }
};

struct hostile_call {
  const char* name;
  std::function<void(buffers&)> call;
  const char* refusal;  ///< a part of the message; nullptr: taken, as an empty success
};

cascade::run_request with_numbers(const cascade::run_request& request, std::int64_t step_number, std::int64_t n0) {
  cascade::run_request changed = request;
  changed.step_number = step_number;
  changed.n0 = n0;
  return changed;
}

const char* const generator_seven = "generator must be subtractive or philox, got 7";
const char* const null_values = "values must not be null";
const char* const unmade_piece = "start and stop need the philox stream";

const hostile_call hostile_calls[] = {
    // A number cast to a stream names none: every call that takes one refuses it.
    {"limits_of(7)", [](buffers&) { cascade::limits_of(static_cast<cascade::random_stream>(7)); }, generator_seven},
    {"limits_of(-1)", [](buffers&) { cascade::limits_of(static_cast<cascade::random_stream>(-1)); },
     "generator must be subtractive or philox, got -1"},
    {"check_request, stream 7", [](buffers&) { cascade::check_request(seven); }, generator_seven},
    {"check_request, stream -1", [](buffers&) { cascade::check_request(minus_one); }, "got -1"},
    {"series_length, stream 7", [](buffers&) { cascade::series_length(seven); }, generator_seven},
    {"check_range, stream 7", [](buffers&) { cascade::check_range(seven, 0, 1); }, generator_seven},
    {"check_threads, stream 7",
     [](buffers&) { cascade::check_threads(1, static_cast<cascade::random_stream>(7), "1"); }, generator_seven},
    {"refuse_seed, stream 7", [](buffers&) { cascade::refuse_seed(static_cast<cascade::random_stream>(7), "1"); },
     generator_seven},
    {"fill_series doubles, stream 7",
     [](buffers& b) { cascade::fill_series(seven, b.values.data(), b.weights.data(), b.between); }, generator_seven},
    {"fill_series floats, stream 7",
     [](buffers& b) { cascade::fill_series(seven, b.floats.data(), b.float_weights.data(), b.between); },
     generator_seven},
    {"fill_series_range doubles, stream 7",
     [](buffers& b) { cascade::fill_series_range(seven, 0, 4, b.values.data(), b.weights.data(), b.between); },
     generator_seven},
    {"fill_series_range floats, stream 7, empty piece",
     [](buffers& b) { cascade::fill_series_range(seven, 2, 2, b.floats.data(), nullptr, b.between); },
     generator_seven},
    {"fill_ensemble, stream 7",
     [](buffers& b) { cascade::fill_ensemble(seven, b.seeds.data(), 2, b.values.data(), b.weights.data(), b.between); },
     generator_seven},

    // Null buffers: refused before any value (or weight) is made.
    {"fill_series doubles, null values, subtractive",
     [](buffers& b) { cascade::fill_series(subtractive, static_cast<double*>(nullptr), b.weights.data(), b.between); },
     null_values},
    {"fill_series doubles, null values, philox",
     [](buffers& b) { cascade::fill_series(philox, static_cast<double*>(nullptr), b.weights.data(), b.between); },
     null_values},
    {"fill_series floats, null values, subtractive",
     [](buffers& b) { cascade::fill_series(subtractive, static_cast<float*>(nullptr), b.float_weights.data()); },
     null_values},
    {"fill_series floats, null values, philox",
     [](buffers& b) { cascade::fill_series(philox, static_cast<float*>(nullptr), b.float_weights.data()); },
     null_values},
    {"fill_series_range doubles, null values",
     [](buffers& b) {
       cascade::fill_series_range(philox, 1, 5, static_cast<double*>(nullptr), b.weights.data(), b.between);
     },
     null_values},
    {"fill_series_range floats, null values",
     [](buffers& b) { cascade::fill_series_range(philox, 1, 5, static_cast<float*>(nullptr), b.float_weights.data()); },
     null_values},
    {"fill_ensemble, null values",
     [](buffers& b) { cascade::fill_ensemble(philox, b.seeds.data(), 2, nullptr, b.weights.data(), b.between); },
     null_values},
    {"fill_ensemble, null seeds",
     [](buffers& b) { cascade::fill_ensemble(subtractive, nullptr, 2, b.values.data(), b.weights.data(), b.between); },
     "seeds must not be null"},
    {"fill_ensemble, no rows, null seeds and values",
     [](buffers& b) { cascade::fill_ensemble(philox, nullptr, 0, static_cast<double*>(nullptr), nullptr, b.between); },
     nullptr},
    {"fill_ensemble floats, null values",
     [](buffers& b) { cascade::fill_ensemble(philox, b.seeds.data(), 2, nullptr, b.float_weights.data(), b.between); },
     null_values},
    {"summarize_series, null values", [](buffers&) { cascade::summarize_series(nullptr, 3); }, null_values},

    // Counts below zero.
    {"summarize_series, count -1", [](buffers& b) { cascade::summarize_series(b.values.data(), -1); },
     "count must be at least 0, got -1"},

    // Empty pieces: nothing to make, where the stream makes pieces at all.
    {"fill_series_range doubles, 3 to 3",
     [](buffers& b) { cascade::fill_series_range(philox, 3, 3, b.values.data(), b.weights.data(), b.between); },
     nullptr},
    {"fill_series_range floats, 3 to 3",
     [](buffers& b) { cascade::fill_series_range(philox, 3, 3, b.floats.data(), b.float_weights.data(), b.between); },
     nullptr},
    {"fill_series_range doubles, 0 to 0, null buffers",
     [](buffers& b) { cascade::fill_series_range(philox, 0, 0, static_cast<double*>(nullptr), nullptr, b.between); },
     nullptr},
    {"fill_series_range floats, N to N",
     [](buffers& b) { cascade::fill_series_range(philox, length, length, b.floats.data(), nullptr, b.between); },
     nullptr},
    {"fill_series_range doubles, subtractive, 3 to 3",
     [](buffers& b) { cascade::fill_series_range(subtractive, 3, 3, b.values.data(), nullptr, b.between); },
     unmade_piece},
    {"fill_series_range floats, subtractive, 0 to 0",
     [](buffers& b) { cascade::fill_series_range(subtractive, 0, 0, b.floats.data(), nullptr, b.between); },
     unmade_piece},
    {"fill_series_range doubles, N + 1 to N + 1",
     [](buffers& b) { cascade::fill_series_range(philox, length + 1, length + 1, b.values.data()); },
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 9 and 9"},
    {"fill_series_range floats, -1 to -1",
     [](buffers& b) { cascade::fill_series_range(philox, -1, -1, b.floats.data()); }, "got -1 and -1"},
    {"fill_series_range doubles, 5 to 3",
     [](buffers& b) { cascade::fill_series_range(philox, 5, 3, b.values.data()); }, "got 5 and 3"},
    {"check_range, 3 to 3 (a piece holds a value)", [](buffers&) { cascade::check_range(philox, 3, 3); },
     "got 3 and 3"},

    // A request with no N: refused as check_request refuses it, not shifted.
    {"series_length, n0 0", [](buffers&) { cascade::series_length(with_numbers(philox, 3, 0)); },
     "n0 must be a whole number of at least 1, got 0"},
    {"series_length, step_number -1", [](buffers&) { cascade::series_length(with_numbers(philox, -1, 1)); },
     "step_number must be a whole number of at least 1, got -1"},
    {"series_length, step_number 64", [](buffers&) { cascade::series_length(with_numbers(philox, 64, 1)); },
     "n0 * 2^step_number must be at most 2^48 = 281474976710656 with the philox stream, got 1 * 2^64"},
    {"series_length, 2^31 values of the subtractive stream",
     [](buffers&) { cascade::series_length(with_numbers(subtractive, 31, 1)); },
     "n0 * 2^step_number must be at most 2147483647, got 1 * 2^31"},
    {"check_range, n0 -3", [](buffers&) { cascade::check_range(with_numbers(philox, 3, -3), 0, 1); },
     "n0 must be a whole number of at least 1, got -3"},
};

TEST(HostileArguments, AreRefusedByNameOrTakenAsEmptyWritingNothing) {
  for (const hostile_call& c : hostile_calls) {
    SCOPED_TRACE(c.name);
    buffers b;
    if (c.refusal == nullptr) {
      EXPECT_NO_THROW(c.call(b));
    } else {
      try {
        c.call(b);
        ADD_FAILURE() << "taken, expected a refusal with \"" << c.refusal << "\"";
      } catch (const std::invalid_argument& refusal) {
        EXPECT_NE(std::string(refusal.what()).find(c.refusal), std::string::npos) << refusal.what();
        EXPECT_EQ(std::string(refusal.what()).find('\n'), std::string::npos) << refusal.what();
      }
    }
    EXPECT_TRUE(b.untouched());
  }
}

// The tables of the calls above are not blind: the same calls with sound
// arguments write the buffers (and the philox piece calls between_chunks).
TEST(HostileArguments, TheSameCallsWithSoundArgumentsWrite) {
  buffers b;
  cascade::fill_series(subtractive, b.values.data(), b.weights.data());
  EXPECT_NE(b.weights[0], -1.0);
  cascade::fill_series_range(philox, 3, 4, b.floats.data(), b.float_weights.data(), b.between);
  EXPECT_NE(b.floats[0], -1.0F);
  EXPECT_GE(b.between_calls, 1);
}

// No values, from a null pointer or not: nothing is read.
TEST(HostileArguments, NoValuesSummariseAsZeros) {
  const double one = 1.0;
  for (const double* values : {static_cast<const double*>(nullptr), &one}) {
    const cascade::run_summary summary = cascade::summarize_series(values, 0);
    EXPECT_EQ(summary.count, 0);
    EXPECT_EQ(summary.mean, 0.0);
    EXPECT_EQ(summary.sd, 0.0);
    EXPECT_EQ(summary.line, "N = 0, mean = 0.000000, SD = 0.000000");
  }
}

}  // namespace
