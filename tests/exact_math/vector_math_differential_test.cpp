// The vector exp and log, four lanes and eight, against the C library, bit
// for bit, over more than 10^8 inputs each: the whole fast path of both
// functions, its edges, the inputs a series feeds them, the lanes that go to
// the library, vectors that mix the paths, and arrays of every tail length.
#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>
#include <vector>

#include "exact_math/libm_tables.h"
#include "exact_math/self_check_inputs.h"
#include "exact_math/vector_math.h"

namespace {

using exact_math::check_stream;

// Fewer inputs under the sanitizers, which make every call many times slower.
constexpr std::int64_t scale = CASCADE_SANITIZED ? 20 : 1;

using generator = std::function<double(check_stream&, std::int64_t)>;
using vector_function = void (*)(const double*, double*, std::size_t);

/// The first input on which the vector function and the library differ, as
/// a message; empty when they agree on all `count` inputs.
std::string first_difference(const generator& next, std::int64_t count, double (*library)(double),
                             vector_function vector, std::uint64_t seed) {
  constexpr std::size_t block = 4096;
  std::vector<double> x(block), expected(block), actual(block);
  check_stream stream(seed);
  for (std::int64_t done = 0; done < count; done += block) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(block, count - done));
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = next(stream, done + static_cast<std::int64_t>(i));
      expected[i] = library(x[i]);
    }
    vector(x.data(), actual.data(), n);
    if (std::memcmp(expected.data(), actual.data(), n * sizeof(double)) != 0) {
      for (std::size_t i = 0; i < n; ++i) {
        if (std::bit_cast<std::uint64_t>(expected[i]) != std::bit_cast<std::uint64_t>(actual[i])) {
          char text[160];
          std::snprintf(text, sizeof text, "input %a (0x%016" PRIx64 "): library %a, vector %a", x[i],
                        std::bit_cast<std::uint64_t>(x[i]), expected[i], actual[i]);
          return text;
        }
      }
    }
  }
  return "";
}

constexpr std::uint64_t any_sign = 0x8000000000000000;

double random_bits(check_stream& s, std::uint64_t sign_mask, std::uint64_t top_low, std::uint64_t top_high) {
  const std::uint64_t top = top_low + s.next() % (top_high - top_low);
  return std::bit_cast<double>((s.next() & (sign_mask | 0x000fffffffffffff)) | (top << 52));
}

/// The doubles within `reach` ulps of a centre, each centre from `centre(j)`.
generator neighbourhoods(std::function<double(std::int64_t)> centre, int reach) {
  return [centre, reach](check_stream&, std::int64_t i) {
    const std::int64_t width = 2 * reach + 1;
    const std::int64_t bits = std::bit_cast<std::int64_t>(centre(i / width));
    return std::bit_cast<double>(bits + i % width - reach);
  };
}

struct input_class {
  const char* what;
  std::int64_t count;
  generator next;
};

double library_exp(double x) { return std::exp(x); }
double library_log(double x) { return std::log(x); }

/// An exp input of a random path: 1 + x, the library's own or the fast path.
double mixed_exp_input(check_stream& s, std::int64_t) {
  namespace c = exact_math::exp_constants;
  switch (s.next() % 4) {
    case 0: return random_bits(s, any_sign, 0, c::tiny_top);
    case 1: return random_bits(s, any_sign, c::large_top, 0x800);
    default: return s.uniform(-20.0, 20.0);
  }
}

/// A log input of a random path: near 1, the library's own or the usual path.
double mixed_log_input(check_stream& s, std::int64_t) {
  namespace c = exact_math::log_constants;
  switch (s.next() % 4) {
    case 0: return s.uniform(std::bit_cast<double>(c::near_one_low), std::bit_cast<double>(c::near_one_high));
    case 1: return s.next() % 2 ? random_bits(s, any_sign, 0, 1) : -random_bits(s, 0, 0, 0x800);
    default: return s.uniform(0x1p-60, 1.0);
  }
}

class VectorMath : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!exact_math::cpu_has_vector_math()) GTEST_SKIP() << "no AVX2 and FMA on this CPU";
  }
};

/// The same tests for the four-lane functions and the eight-lane ones.
class VectorMathLanes : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!exact_math::cpu_has_vector_math()) GTEST_SKIP() << "no AVX2 and FMA on this CPU";
    if (eight() && !exact_math::cpu_has_avx512_math()) GTEST_SKIP() << "no AVX-512 F, DQ and VL on this CPU";
  }
  static bool eight() { return GetParam() == 8; }
  static vector_function exp_array() { return eight() ? exact_math::exp_array_avx512 : exact_math::exp_array_vector; }
  static vector_function log_array() { return eight() ? exact_math::log_array_avx512 : exact_math::log_array_vector; }
};

INSTANTIATE_TEST_SUITE_P(Lanes, VectorMathLanes, ::testing::Values(4, 8),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

TEST_P(VectorMathLanes, ExpEqualsTheLibraryOverItsWholeRange) {
  namespace c = exact_math::exp_constants;
  // The k of x = k ln2/128 + r reaches 512 * 128 / ln2 in both directions.
  const std::int64_t k_span = 94600;
  const input_class classes[] = {
      {"every magnitude of the fast path, random bits", 40'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, c::tiny_top, c::large_top); }},
      {"a series' exponents, uniform in [-20, 20)", 35'000'000,
       [](check_stream& s, std::int64_t) { return s.uniform(-20.0, 20.0); }},
      {"uniform in [-512, 512)", 20'000'000, [](check_stream& s, std::int64_t) { return s.uniform(-512.0, 512.0); }},
      {"every midpoint between two k, 10 ulps around it", 21 * 2 * k_span,
       neighbourhoods([=](std::int64_t j) { return (j - k_span + 0.5) / c::inv_ln2_n; }, 10)},
      {"around 2^-54, 512 and their negatives, 10^5 ulps", 4 * 200'001,
       neighbourhoods([](std::int64_t j) { return (j & 1 ? -1.0 : 1.0) * (j & 2 ? 512.0 : 0x1p-54); }, 100'000)},
      {"below 2^-54 (1 + x), random bits", 2'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, 0, c::tiny_top); }},
      {"from 512 on, infinities and NaNs (the library's own paths)", 2'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, any_sign, c::large_top, 0x800); }},
      {"vectors mixing the paths: each lane 1 + x, the library's or the fast path", 4'000'000, mixed_exp_input},
      {"the self-check's inputs", 0, nullptr},
  };
  std::int64_t total = 0;
  for (const input_class& inputs : classes) {
    if (!inputs.next) {
      const std::vector<double> x = exact_math::exp_check_inputs();
      EXPECT_EQ(first_difference([&](check_stream&, std::int64_t i) { return x[i]; },
                                 static_cast<std::int64_t>(x.size()), library_exp, exp_array(), 1),
                "")
          << inputs.what;
      continue;
    }
    const std::int64_t count = inputs.count / scale;
    EXPECT_EQ(first_difference(inputs.next, count, library_exp, exp_array(), 17 + total), "")
        << inputs.what;
    total += count;
  }
  if (scale == 1) {
    EXPECT_GE(total, 100'000'000);
  }
}

TEST_P(VectorMathLanes, LogEqualsTheLibraryOverItsWholeRange) {
  namespace c = exact_math::log_constants;
  const auto near_one_low = std::bit_cast<double>(c::near_one_low);
  const auto near_one_high = std::bit_cast<double>(c::near_one_high);
  const input_class classes[] = {
      {"a polar r^2, uniform in (0, 1)", 35'000'000,
       [](check_stream& s, std::int64_t) { return s.uniform(0x1p-60, 1.0); }},
      {"a polar r^2 from two 31-bit uniforms", 10'000'000,
       [](check_stream& s, std::int64_t) {
         const double w1 = 2.0 * ((s.next() >> 33) * 0x1p-31) - 1.0;
         const double w2 = 2.0 * ((s.next() >> 33) * 0x1p-31) - 1.0;
         const double rsq = w1 * w1 + w2 * w2;
         return rsq < 1.0 && rsq != 0.0 ? rsq : 0.5;
       }},
      {"every positive normal, random bits", 26'000'000,
       [](check_stream& s, std::int64_t) { return random_bits(s, 0, 1, 0x7ff); }},
      {"the window near 1, uniform", 20'000'000,
       [=](check_stream& s, std::int64_t) { return s.uniform(near_one_low, near_one_high); }},
      {"within 2^-20 of 1", 5'000'000,
       [](check_stream& s, std::int64_t) { return 1.0 + s.uniform(-0x1p-20, 0x1p-20); }},
      {"every table boundary at every exponent, 4 ulps around it", 9 * 128 * 2046,
       neighbourhoods([](std::int64_t j) {
         const std::uint64_t index = static_cast<std::uint64_t>(j % 128);
         const std::uint64_t exponent = static_cast<std::uint64_t>(j / 128) + 1;  // biased, 1 to 2046
         return std::bit_cast<double>(((exponent << 52) & 0x7ff0000000000000) | (index << 45) |
                                      (c::table_offset & 0x000fffffffffffff)) ;
       }, 4)},
      {"the ends of the window near 1 and 1 itself, 10^5 ulps", 3 * 200'001,
       neighbourhoods([=](std::int64_t j) { return j == 0 ? near_one_low : j == 1 ? near_one_high : 1.0; },
                      100'000)},
      {"zero, negatives, subnormals, infinities and NaNs (the library's own paths)", 2'000'000,
       [](check_stream& s, std::int64_t i) {
         return i % 2 ? random_bits(s, any_sign, 0, 1) : -random_bits(s, 0, 0, 0x800);
       }},
      {"vectors mixing the paths: each lane near 1, the library's or the usual path", 4'000'000, mixed_log_input},
      {"the self-check's inputs", 0, nullptr},
  };
  std::int64_t total = 0;
  for (const input_class& inputs : classes) {
    if (!inputs.next) {
      const std::vector<double> x = exact_math::log_check_inputs();
      EXPECT_EQ(first_difference([&](check_stream&, std::int64_t i) { return x[i]; },
                                 static_cast<std::int64_t>(x.size()), library_log, log_array(), 1),
                "")
          << inputs.what;
      continue;
    }
    const std::int64_t count = inputs.count / scale;
    EXPECT_EQ(first_difference(inputs.next, count, library_log, log_array(), 31 + total), "")
        << inputs.what;
    total += count;
  }
  if (scale == 1) {
    EXPECT_GE(total, 100'000'000);
  }
}

// Arrays of every length up to three vectors, from every alignment, apart and
// in place: the results are the library's, and nothing past the end changes.
TEST_P(VectorMathLanes, ArraysOfEveryLengthAndOffset) {
  struct function_pair {
    const char* what;
    double (*library)(double);
    vector_function vector;
    double (*input)(check_stream&, std::int64_t);
  };
  const function_pair functions[] = {{"exp", library_exp, exp_array(), mixed_exp_input},
                                     {"log", library_log, log_array(), mixed_log_input}};
  const double untouched = std::bit_cast<double>(0x7ff8dead0000beefull);  // a NaN no function returns
  check_stream s(99);
  for (const function_pair& f : functions) {
    for (std::size_t n = 0; n <= 25; ++n) {
      for (std::size_t offset = 0; offset < 8; ++offset) {
        for (int round = 0; round < 20; ++round) {
          std::vector<double> x(offset + n + 8, untouched), y(x.size(), untouched), expected(x.size(), untouched);
          for (std::size_t i = 0; i < n; ++i) {
            x[offset + i] = f.input(s, 0);
            expected[offset + i] = f.library(x[offset + i]);
          }
          f.vector(x.data() + offset, y.data() + offset, n);
          ASSERT_EQ(std::memcmp(y.data(), expected.data(), y.size() * sizeof(double)), 0)
              << f.what << ", length " << n << ", offset " << offset;
          f.vector(x.data() + offset, x.data() + offset, n);
          ASSERT_EQ(std::memcmp(x.data(), expected.data(), x.size() * sizeof(double)), 0)
              << f.what << " in place, length " << n << ", offset " << offset;
        }
      }
    }
  }
}

TEST_P(VectorMathLanes, SelfCheckPassesWithThisLibrary) {
  EXPECT_TRUE(eight() ? exact_math::avx512_math_agrees_with_library() : exact_math::vector_math_agrees_with_library());
}

// The suite runs as it is, with CASCADE_SCALAR_MATH=1 (no vector path) and
// with CASCADE_VECTOR_LANES=4 (four lanes even where eight would run). Where
// the C library is not a proven one, or the self-check refuses, the path is
// the scalar one whatever the CPU.
TEST(VectorMathChoice, TheEnvironmentTheLibraryAndTheCpuChooseTheLanes) {
  const auto says = [](const char* name, const char* value) {
    const char* set = std::getenv(name);
    return set != nullptr && std::string(set) == value;
  };
  int expected = 8;
  if (says("CASCADE_SCALAR_MATH", "1") || !exact_math::cpu_has_vector_math() || !exact_math::c_library_is_proven() ||
      !exact_math::vector_math_agrees_with_library()) {
    expected = 1;
  } else if (says("CASCADE_VECTOR_LANES", "4") || !exact_math::cpu_has_avx512_math() ||
             !exact_math::avx512_math_agrees_with_library()) {
    expected = 4;
  }
  EXPECT_EQ(exact_math::vector_math_lanes(), expected);
  EXPECT_EQ(exact_math::vector_math_active(), expected > 1);
  const std::string description = exact_math::math_path_description();
  EXPECT_EQ(description.rfind(expected == 1 ? "scalar" : std::to_string(expected) + " lanes", 0), 0u) << description;
}

// This build's own C library is one the vector functions were proven on:
// the differential tests above are that proof.
TEST(VectorMathChoice, ThisCLibraryIsProven) {
  std::string why;
  EXPECT_TRUE(exact_math::c_library_is_proven(&why)) << why;
}

struct environment_case {
  const char* scalar;
  const char* lanes;
  const char* refused;  ///< the variable refused, or null
};

TEST(VectorMathChoice, TheMathVariablesTakeTheirDocumentedValuesOnly) {
  const std::vector<environment_case> cases = {
      {nullptr, nullptr, nullptr}, {"1", "4", nullptr},   {"0", "8", nullptr},
      {"", "", nullptr},  // empty is unset
      {"yes", nullptr, "CASCADE_SCALAR_MATH"},             {"1 ", nullptr, "CASCADE_SCALAR_MATH"},
      {nullptr, "2", "CASCADE_VECTOR_LANES"},              {nullptr, "16", "CASCADE_VECTOR_LANES"},
      {"true", "3", "CASCADE_SCALAR_MATH"},
  };
  const auto set = [](const char* name, const char* value) {
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  };
  const char* scalar_before = std::getenv("CASCADE_SCALAR_MATH");
  const char* lanes_before = std::getenv("CASCADE_VECTOR_LANES");
  const std::string kept_scalar = scalar_before != nullptr ? scalar_before : "";
  const std::string kept_lanes = lanes_before != nullptr ? lanes_before : "";
  for (const auto& c : cases) {
    set("CASCADE_SCALAR_MATH", c.scalar);
    set("CASCADE_VECTOR_LANES", c.lanes);
    const auto problem = exact_math::math_environment_problem();
    if (c.refused == nullptr) {
      EXPECT_FALSE(problem.has_value()) << (c.scalar ? c.scalar : "-") << " " << (c.lanes ? c.lanes : "-");
    } else {
      ASSERT_TRUE(problem.has_value()) << c.refused;
      EXPECT_STREQ(problem->variable, c.refused);
    }
  }
  set("CASCADE_SCALAR_MATH", scalar_before != nullptr ? kept_scalar.c_str() : nullptr);
  set("CASCADE_VECTOR_LANES", lanes_before != nullptr ? kept_lanes.c_str() : nullptr);
}

}  // namespace
